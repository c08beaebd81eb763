// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QUrl>

#include <functional>

class QLabel;

namespace lumitray {

/// The control library's about dialog: product name, version, comment and
/// legal notice from the version block, and links to the maker's web page
/// and mail address, opened with the desktop's URL handler.
class frmAbout final : public QDialog {
    Q_OBJECT

public:
    /// The maker's web address; it ends in a slash.
    static constexpr char MakerUrl[] = "https://www.pemberd.example/";
    static constexpr char MakerMail[] = "lumitray@pemberd.example";

    explicit frmAbout(QWidget* parent = nullptr);

    /// Shows the dialog modally over the active window. Without a widget
    /// application it only writes the version text to standard error.
    static void showModal();
    /// Replaces the URL handler used by the links (for tests); an empty
    /// function goes back to the desktop's.
    static void setUrlOpener(std::function<bool(const QUrl&)> opener);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void openLink(QLabel* label);

    QLabel* m_lblURL = nullptr;
    QLabel* m_lblEmail = nullptr;
};

} // namespace lumitray

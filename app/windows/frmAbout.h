// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

#include <functional>

class QLabel;

namespace tessaly {

class UserMessages;

/// The about box: the program's icon, title and version, the maker's web
/// address (when there is one), and a button that starts the desktop's
/// system-information program. UI thread only.
class frmAbout final : public QWidget {
    Q_OBJECT

public:
    /// `messages` must outlive the box. `startSysInfo` starts the
    /// system-information program and tells whether it did.
    explicit frmAbout(UserMessages& messages, std::function<bool()> startSysInfo, QWidget* parent = nullptr);
    ~frmAbout() override;

    /// The web address shown in lblDescription; empty, with the label
    /// hidden, while the project has none.
    static const QString& MakerAddress();

    /// cmdSysInfo: starts the program, or says that there is none.
    void sysInfo();

    /// Wide enough for every text and for the caption on a title bar with
    /// its icon and buttons.
    QSize sizeHint() const override;

private:
    void closeBox();

    UserMessages& m_messages;
    std::function<bool()> m_startSysInfo;
};

} // namespace tessaly

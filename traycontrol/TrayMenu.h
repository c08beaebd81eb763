// SPDX-License-Identifier: MIT
#pragma once

#include <QMenu>
#include <QPointer>

namespace lumitray {

/// The menu a tray host draws for one icon: it shows the actions of the
/// program's own menu (its source), kept in step as actions are added to or
/// removed from the source, so that choosing an entry triggers the
/// program's action. It belongs to its tray icon and must not be deleted
/// before it, whatever becomes of the source: Qt's D-Bus tray keeps a plain
/// pointer to the menu it exports. UI thread only.
class TrayMenu final : public QMenu {
    Q_OBJECT

public:
    /// Shows the actions of `source` (none while it is null or gone).
    explicit TrayMenu(QMenu* source);
    ~TrayMenu() override;

    /// Follows `source` from now on, replacing the one it followed.
    void setSource(QMenu* source);
    QMenu* source() const { return qobject_cast<QMenu*>(m_source.data()); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow();

    // Held as an object: a menu being destroyed is only a QWidget by the
    // time its last events reach the filter.
    QPointer<QObject> m_source;
};

} // namespace lumitray

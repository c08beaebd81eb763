// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QObject>
#include <QString>

#include <memory>

class QMenu;

namespace lumitray {

/// The tray icon control for a program that links the library: one icon in
/// the notification area with its tool tip and balloon, reached through
/// typed properties and methods, its events as signals. The control loads
/// as a run-time control does, so it can be shown at once; destroying it
/// removes the icon. Hosts that reach the control by dispatch identifier or
/// keep its properties in a bag use `Lumitray` through the class factory
/// instead. UI thread only; a QApplication must exist before `show`.
class TrayIcon final : public QObject {
    Q_OBJECT

public:
    /// The symbol a balloon shows.
    enum class BalloonIcon { None = 0, Information = 1, Warning = 2, Error = 3 };

    /// `name` is the host's name for the control; the icon's identifier in
    /// the notification area is made from it.
    explicit TrayIcon(const QString& name, QObject* parent = nullptr);
    ~TrayIcon() override;

    /// The first image of the icon file (.ico) in `data`, at 32 by 32
    /// pixels; a null image when `data` is no icon file (a bitmap included).
    static QImage iconFromData(const QByteArray& data);

    /// The picture in the notification area (the library's own icon until
    /// one is set). A null image puts the library's own icon back.
    QImage icon() const;
    void setIcon(const QImage& image);
    QString toolTipText() const;
    void setToolTipText(const QString& text);
    /// Whether assignments (balloon texts included) show the balloon.
    bool balloon() const;
    void setBalloon(bool on);
    QString balloonTitle() const;
    void setBalloonTitle(const QString& title);
    QString balloonText() const;
    void setBalloonText(const QString& text);
    BalloonIcon balloonIcon() const;
    void setBalloonIcon(BalloonIcon icon);
    bool balloonSound() const;
    void setBalloonSound(bool on);
    /// Seconds a balloon stays, 3 to 10 (other values are clamped).
    int balloonTimeOut() const;
    void setBalloonTimeOut(int seconds);
    /// Whether every assignment reaches the notification area at once
    /// (otherwise at the next `refresh` or `show`).
    bool autoRefresh() const;
    void setAutoRefresh(bool on);

    /// Adds the icon to the notification area.
    void show();
    /// Sends the current properties to the notification area.
    void refresh();
    /// Removes the icon from the notification area.
    void vanish();
    /// Offers `menu` to tray hosts that draw an icon's menu themselves;
    /// elsewhere a right click raises `mouseDown` and the program shows it.
    /// `menu` stays the caller's and may go away first; nullptr withdraws it.
    void setMenu(QMenu* menu);

signals:
    void mouseMoved();
    void mouseDown(Qt::MouseButton button);
    void mouseUp(Qt::MouseButton button);
    void doubleClicked(Qt::MouseButton button);
    void balloonShown();
    void balloonClicked();
    void balloonClosed();

private:
    struct Host;
    std::unique_ptr<Host> m_host;
};

} // namespace lumitray

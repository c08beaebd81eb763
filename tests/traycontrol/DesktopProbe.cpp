// SPDX-License-Identifier: MIT
// A host program for the desktop test: it places one control the way the
// resident program does (factory, loaded properties, late-bound calls, a
// tray menu offered to the notification area and popped up for a right
// click) and reports what happens on standard output, one line each:
//   ICON x y w h          the icon is docked in a tray at that place
//   BALLOON x y w h       Qt's own balloon is on screen at that place
//   SCREENSHOT path       the screen was saved to path
//   EVENT name [button]   the control raised an event
//   ACTION text [on|off]  an entry of the tray menu was chosen
//   MENUS n               n menus are on screen (answers "menus")
// It reads commands from standard input: "balloon", "screenshot", "menus",
// "quit".
#include "traycontrol/ClassFactory.h"
#include "traycontrol/Lumitray.h"
#include "traycontrol/MemoryPropertyBag.h"
#include "traycontrol/NotificationArea.h"
#include "traycontrol/QtNotificationArea.h"
#include "traycontrol/TypeInfo.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

using namespace lumitray;

namespace {

class ProbeSite final : public ControlSite {
public:
    bool userMode() const override { return true; }
    QString extenderName() const override { return QStringLiteral("Lumitray1"); }
    std::int32_t extenderIndex(std::int32_t*) const override { return ErrorNotAnArray; }
};

class PrintingSink final : public EventSink {
public:
    void invoke(DispId id, std::span<Variant> arguments) override
    {
        const char* name = Events()[static_cast<std::size_t>(id - 1)].name;
        if (arguments.empty())
            std::printf("EVENT %s\n", name);
        else
            std::printf("EVENT %s %d\n", name, arguments[0].rawNumber());
        std::fflush(stdout);
        // The resident program's answer to a right click.
        if (id == EventIds::MouseDown && !arguments.empty() && arguments[0].rawNumber() == 2 && menu)
            menu->popup(QCursor::pos());
    }
    QMenu* menu = nullptr;
};

void Say(const QString& line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QString Geometry(const QRect& r)
{
    return QStringLiteral("%1 %2 %3 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

/// The menus on screen.
int VisibleMenus()
{
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += widget->isVisible() && qobject_cast<QMenu*>(widget) ? 1 : 0;
    return count;
}

/// Qt's balloon window while it is on screen.
QWidget* VisibleBalloon()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && qstrcmp(widget->metaObject()->className(), "QBalloonTip") == 0)
            return widget;
    }
    return nullptr;
}

HResult Put(Lumitray& control, DispId id, Variant value, DispatchKind kind = DispatchKind::PropertyPut)
{
    return control.invoke(id, kind, std::span<Variant>(&value, 1), nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Tessaly"));
    const QString screenshot = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("tray.png");

    auto desktop = std::make_unique<QtNotificationArea>();
    QtNotificationArea* area = desktop.get();
    SetNotificationArea(std::move(desktop));

    // The resident program's tray menu.
    QMenu menu;
    QAction* check = menu.addAction(QStringLiteral("購読"));
    check->setCheckable(true);
    check->setChecked(true);
    menu.addSeparator();
    menu.addAction(QStringLiteral("開く"));
    menu.addAction(QStringLiteral("終了する"));
    for (QAction* action : menu.actions()) {
        QObject::connect(action, &QAction::triggered, [action] {
            const char* state = !action->isCheckable() ? "" : action->isChecked() ? " on" : " off";
            Say(QStringLiteral("ACTION ") + action->text() + QLatin1String(state));
        });
    }

    ProbeSite site;
    PrintingSink sink;
    sink.menu = &menu;
    std::unique_ptr<Lumitray> control;
    if (CreateControl(QStringLiteral("LumitrayControl.Lumitray"), &site, &control) != S_OK)
        return 1;
    control->readProperties(MemoryPropertyBag());
    control->advise(&sink);
    SetNotifyIconMenu(control->window(), control->iconId(), &menu);
    Put(*control, DispIds::BalloonSound, Variant::fromBooleanValue(False));
    Put(*control, DispIds::AutoRefresh, Variant::fromBooleanValue(True));
    // Nothing assigned by reference gives the library's own icon.
    if (Put(*control, DispIds::Icon, Variant(), DispatchKind::PropertyPutRef) != S_OK)
        return 1;
    Put(*control, DispIds::ToolTipText, Variant(QStringLiteral("Tessaly - 監視中")));
    control->invoke(DispIds::Show, DispatchKind::Method, {}, nullptr);

    // Report the icon once the tray has docked it.
    QTimer iconWatch;
    iconWatch.setInterval(50);
    QObject::connect(&iconWatch, &QTimer::timeout, [&] {
        QSystemTrayIcon* tray = area->trayIcon(control->window(), control->iconId());
        if (tray && tray->geometry().isValid() && !tray->geometry().isEmpty()) {
            iconWatch.stop();
            Say(QStringLiteral("ICON ") + Geometry(tray->geometry()));
        }
    });
    iconWatch.start();
    Say(QStringLiteral("PROTOCOL %1").arg(static_cast<int>(area->protocol())));

    const auto takeScreenshot = [&] {
        // A close-up of a docked icon as the X server holds it. The icon
        // window may have a depth of its own, so it is read directly rather
        // than through the root window.
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qstrcmp(widget->metaObject()->className(), "QSystemTrayIconSys") != 0)
                continue;
            const QPixmap icon = QGuiApplication::primaryScreen()->grabWindow(widget->winId());
            QString path = screenshot;
            path.replace(QStringLiteral(".png"), QStringLiteral("-icon.png"));
            icon.scaled(icon.size() * 4).save(path, "PNG");
        }
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
        if (shot.save(screenshot, "PNG"))
            Say(QStringLiteral("SCREENSHOT ") + screenshot);
    };
    QTimer balloonWatch;
    balloonWatch.setInterval(50);
    QObject::connect(&balloonWatch, &QTimer::timeout, [&] {
        if (QWidget* balloon = VisibleBalloon()) {
            balloonWatch.stop();
            // Let the balloon paint before the screen is taken.
            QTimer::singleShot(300, [&, balloon] {
                takeScreenshot();
                Say(QStringLiteral("BALLOON ") + Geometry(balloon->frameGeometry()));
            });
        }
    });

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer - 1);
        if (n <= 0) {
            input.setEnabled(false);
            return;
        }
        const QStringList commands = QString::fromUtf8(buffer, static_cast<int>(n)).split(QLatin1Char('\n'));
        for (const QString& command : commands) {
            if (command == QLatin1String("balloon")) {
                Put(*control, DispIds::BalloonTimeOut, Variant(10));
                Put(*control, DispIds::BalloonIcon, Variant(BalloonIcon_Information));
                Put(*control, DispIds::BalloonTitle, Variant(QStringLiteral("Tessaly 更新通知")));
                Put(*control, DispIds::Balloon, Variant::fromBooleanValue(True));
                Put(*control, DispIds::BalloonText, Variant(QStringLiteral("議事録フォルダ: 3件 ｾﾞﾝｶｸ無し")));
                balloonWatch.start();
            } else if (command == QLatin1String("menus")) {
                Say(QStringLiteral("MENUS %1").arg(VisibleMenus()));
            } else if (command == QLatin1String("screenshot")) {
                takeScreenshot();
            } else if (command == QLatin1String("quit")) {
                control.reset();
                SetNotificationArea(nullptr);
                app.quit();
            }
        }
    });
    return app.exec();
}

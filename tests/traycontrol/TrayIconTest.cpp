// SPDX-License-Identifier: MIT
// The typed front as a program uses it, with the shell calls recorded.
#include "TestDoubles.h"

#include "traycontrol/IconTable.h"
#include "traycontrol/TrayIcon.h"

#include <QBuffer>
#include <QFile>

#include <gtest/gtest.h>

using namespace lumitray;
using namespace lumitray::test;

namespace {

QByteArray LibraryIconFile()
{
    QFile file(QStringLiteral(":/lumitray/icon/101.ico"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(TrayIconTest, TypedPropertiesReachTheShellAndOnlyIconFilesAreIcons)
{
    const QImage icon = TrayIcon::iconFromData(LibraryIconFile());
    ASSERT_EQ(icon.size(), QSize(32, 32));
    QImage bitmap(32, 32, QImage::Format_ARGB32);
    bitmap.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && bitmap.save(&buffer, "PNG"));
    EXPECT_TRUE(TrayIcon::iconFromData(png).isNull());
    EXPECT_TRUE(TrayIcon::iconFromData(QByteArray()).isNull());

    ShellRecorder shell;
    {
        TrayIcon tray(QStringLiteral("Tray1"));
        tray.setIcon(bitmap);
        tray.setToolTipText(QStringLiteral("監視中"));
        tray.setBalloon(true);
        tray.setBalloonSound(false);
        tray.setBalloonTitle(QStringLiteral("題"));
        tray.setBalloonText(QStringLiteral("本文"));
        tray.setBalloonIcon(TrayIcon::BalloonIcon::Warning);
        tray.setBalloonTimeOut(60);
        EXPECT_TRUE(shell.calls.empty()); // nothing before `show` without auto-refresh
        tray.show();
        ASSERT_EQ(shell.calls.size(), 1U);
        const TrayIconRequest& add = shell.calls[0].request;
        EXPECT_EQ(shell.calls[0].operation, NIM_ADD);
        EXPECT_EQ(IconTable::instance().image(add.icon), bitmap);
        EXPECT_EQ(add.tip, QStringLiteral("監視中"));
        EXPECT_EQ(add.infoTitle, QStringLiteral("題"));
        EXPECT_EQ(add.info, QStringLiteral("本文"));
        EXPECT_EQ(add.infoFlags, 2U | NIIF_NOSOUND);
        EXPECT_EQ(tray.balloonTimeOut(), 10);
        // A null image puts the library's own icon back.
        tray.setAutoRefresh(true);
        tray.setIcon(QImage());
        EXPECT_EQ(tray.icon(), icon);
        EXPECT_EQ(IconTable::instance().image(shell.calls.back().request.icon), icon);
    }
    EXPECT_EQ(shell.calls.back().operation, NIM_DELETE);
}

TEST(TrayIconTest, CallbacksArriveAsSignalsWithQtButtons)
{
    ShellRecorder shell;
    TrayIcon tray(QStringLiteral("Tray1"));
    tray.show();
    QStringList seen;
    const auto button = [&](const char* name) {
        return [&seen, name](Qt::MouseButton b) { seen << name + QString::number(b); };
    };
    QObject::connect(&tray, &TrayIcon::mouseDown, button("down"));
    QObject::connect(&tray, &TrayIcon::mouseUp, button("up"));
    QObject::connect(&tray, &TrayIcon::doubleClicked, button("double"));
    QObject::connect(&tray, &TrayIcon::mouseMoved, [&] { seen << "move"; });
    QObject::connect(&tray, &TrayIcon::balloonShown, [&] { seen << "shown"; });
    QObject::connect(&tray, &TrayIcon::balloonClicked, [&] { seen << "clicked"; });
    QObject::connect(&tray, &TrayIcon::balloonClosed, [&] { seen << "closed"; });
    const TrayIconRequest& icon = shell.calls.front().request;
    for (std::intptr_t code : {WM_MOUSEMOVE, WM_RBUTTONDOWN, WM_RBUTTONUP, WM_LBUTTONDBLCLK, WM_MBUTTONDOWN,
                               NIN_BALLOONSHOW, NIN_BALLOONUSERCLICK, NIN_BALLOONTIMEOUT})
        WindowTable::instance().send(icon.window, icon.callbackMessage, static_cast<std::uint32_t>(icon.id), code);
    EXPECT_EQ(seen, QStringList({"move", "down2", "up2", "double1", "down4", "shown", "clicked", "closed"}));
}

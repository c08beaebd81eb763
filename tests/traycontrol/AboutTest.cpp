// SPDX-License-Identifier: MIT
// The control's about dialog.
#include "TestDoubles.h"

#include "traycontrol/Lumitray.h"
#include "traycontrol/frmAbout.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

using namespace lumitray;
using namespace lumitray::test;

namespace {

void Mouse(QWidget* widget, QEvent::Type type)
{
    const QPointF at(2, 2);
    QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

TEST(AboutBox, LinksTurnRedWhilePressedAndOpenWithTheUrlHandler)
{
    std::vector<QUrl> opened;
    frmAbout::setUrlOpener([&](const QUrl& url) {
        opened.push_back(url);
        return false; // no handler: nothing is reported
    });
    frmAbout dialog;
    dialog.show();
    auto* web = dialog.findChild<QLabel*>(QStringLiteral("lblURL"));
    auto* mail = dialog.findChild<QLabel*>(QStringLiteral("lblEmail"));
    ASSERT_TRUE(web && mail);
    EXPECT_TRUE(web->text().endsWith(QLatin1Char('/')));
    EXPECT_EQ(web->cursor().shape(), Qt::PointingHandCursor);
    Mouse(web, QEvent::MouseButtonPress);
    EXPECT_EQ(web->palette().color(QPalette::WindowText), QColor(Qt::red));
    Mouse(web, QEvent::MouseButtonRelease);
    EXPECT_EQ(web->palette().color(QPalette::WindowText), QColor(Qt::blue));
    Mouse(mail, QEvent::MouseButtonPress);
    Mouse(mail, QEvent::MouseButtonRelease);
    frmAbout::setUrlOpener({});

    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], QUrl(web->text() + QStringLiteral("cgi-bin/access.cgi?soft=Lumitray")));
    EXPECT_EQ(opened[1], QUrl(QStringLiteral("mailto:") + mail->text()));
}

TEST(AboutBox, TheAboutMemberShowsTheDialogModallyUntilOk)
{
    TestSite site;
    Lumitray control(&site);
    QString title;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_TRUE(modal);
        title = modal->windowTitle();
        modal->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    });
    EXPECT_EQ(control.invoke(-552, DispatchKind::Method, {}, nullptr), S_OK);
    EXPECT_EQ(title, QStringLiteral("Lumitray - バージョン情報"));
}

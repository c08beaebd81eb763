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

QString TextOf(const QWidget& dialog, const char* name)
{
    const auto* label = dialog.findChild<QLabel*>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

void Mouse(QWidget* widget, QEvent::Type type)
{
    const QPointF at(2, 2);
    QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

TEST(AboutBox, ShowsNameVersionCommentAndLinks)
{
    frmAbout dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Lumitray - バージョン情報"));
    EXPECT_EQ(TextOf(dialog, "lblTitle_0"), QStringLiteral("Lumitray"));
    EXPECT_EQ(TextOf(dialog, "lblTitle_1"), QStringLiteral("Lumitray"));
    EXPECT_EQ(TextOf(dialog, "lblVersion"), QStringLiteral("Ver.1.0.0 "));
    EXPECT_EQ(TextOf(dialog, "lblComment"), QStringLiteral("通知領域にアイコンを表示させるActiveXコントロールです。"));
    EXPECT_FALSE(TextOf(dialog, "lblCopyright").isEmpty());
    EXPECT_EQ(TextOf(dialog, "Label1_0"), QStringLiteral("公開HP"));
    EXPECT_EQ(TextOf(dialog, "Label1_1"), QStringLiteral("作者へメール"));
    EXPECT_TRUE(TextOf(dialog, "lblURL").endsWith(QLatin1Char('/')));
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("lblURL"))->toolTip(), QStringLiteral("最新版のチェックはこちら。"));
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("lblEmail"))->toolTip(),
              QStringLiteral("ご意見ご感想をお聞かせ下さい。"));
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("cmdOK"));
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_EQ(ok->toolTip(), QStringLiteral("この画面を閉じます。"));
    EXPECT_FALSE(dialog.windowIcon().isNull());
}

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

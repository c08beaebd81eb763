// SPDX-License-Identifier: MIT
// The program's message boxes and Qt's own texts: the keys that answer a
// box, where it opens and how wide, and the Japanese stock buttons.
#include "resident/CheckRunner.h"
#include "resident/OpenDesktop.h"
#include "resident/ProgramVersion.h"
#include "resident/QtText.h"
#include "resident/QtUserMessages.h"
#include "resident/RunNotices.h"

#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace tessaly;

namespace {

/// Runs `answer` on the box the next message opens, while it is open.
void WhenTheBoxOpens(const std::function<void(QMessageBox*)>& answer)
{
    QTimer::singleShot(0, qApp, [answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            qFatal("no message box is open");
        answer(box);
    });
}

} // namespace

class QtMessagesTest final : public QObject {
    Q_OBJECT

private slots:
    void enterTakesTheDefaultAndEscapeSaysNo();
    void boxesOpenOverTheActiveWindowWideEnoughForTheirCaption();
    void stockButtonsSpeakJapanese();
    void runNoticesHoldNothingUpAndTellEachCauseOnce();
    void aSignInToRenewIsToldByItsNoticeElseInAWindow();
};

void QtMessagesTest::enterTakesTheDefaultAndEscapeSaysNo()
{
    QtUserMessages messages;
    WhenTheBoxOpens([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); });
    QVERIFY(messages.AskYesNo("履歴を確認しますか?"));
    WhenTheBoxOpens([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    QVERIFY(!messages.AskYesNo("履歴を確認しますか?"));

    // A message closes on either key.
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        bool open = false;
        WhenTheBoxOpens([&open, key](QMessageBox* box) {
            open = box->isVisible();
            QTest::keyClick(box, key);
        });
        messages.ShowMessage("更新しました");
        QVERIFY(open);
        QVERIFY(!QApplication::activeModalWidget());
    }
}

void QtMessagesTest::boxesOpenOverTheActiveWindowWideEnoughForTheirCaption()
{
    QWidget window;
    window.setGeometry(300, 200, 600, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QApplication::setActiveWindow(&window);
    QVERIFY(QApplication::activeWindow() == &window);

    QtUserMessages messages;
    QWidget* parent = nullptr;
    QRect shown;
    int captionWidth = 0;
    WhenTheBoxOpens([&](QMessageBox* box) {
        parent = box->parentWidget();
        shown = box->geometry();
        captionWidth = box->fontMetrics().horizontalAdvance(Utf8Text(kProgramTitle));
        box->done(QMessageBox::Ok);
    });
    messages.ShowMessage("OK");
    QCOMPARE(parent, &window);
    QVERIFY2((shown.center() - window.geometry().center()).manhattanLength() < 8,
             qPrintable(QStringLiteral("box at %1,%2").arg(shown.x()).arg(shown.y())));
    // A one-word message still leaves room for the caption and the title bar's buttons.
    QVERIFY2(shown.width() >= captionWidth + 120, qPrintable(QString::number(shown.width())));
}

void QtMessagesTest::stockButtonsSpeakJapanese()
{
    const QString file = QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_ja.qm");
    if (!QFile::exists(file))
        QSKIP("Qt's Japanese translation is not installed");
    QVERIFY(InstallQtJapanese(*qApp));
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    for (QMessageBox::StandardButton button : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}) {
        const QString text = box.button(button)->text();
        QVERIFY2(!text.contains(QLatin1String("Yes")) && !text.contains(QLatin1String("No")) &&
                     !text.contains(QLatin1String("Cancel")),
                 qPrintable(text));
    }
}

void QtMessagesTest::runNoticesHoldNothingUpAndTellEachCauseOnce()
{
    // Each run tells what its script says; the runner's own runs drive the notices.
    std::vector<std::vector<std::string>> scripts;
    std::size_t next = 0;
    RunNotices* told = nullptr;
    CheckRunner runner([&] {
        for (const std::string& text : scripts.at(next))
            told->ShowMessage(text);
        ++next;
        return true;
    });
    RunNotices notices(runner);
    told = &notices;
    const auto texts = [&notices] {
        QStringList open;
        for (QMessageBox* box : notices.openWindows())
            open << box->text();
        open.sort();
        return open;
    };
    const std::string down = "ﾒｰﾙ送信で失敗しました(1)。\r\nserver down";
    const std::string folder = "次のﾌｫﾙﾀﾞは読めないため、ﾁｪｯｸから除きました。";
    scripts = {{down}, {down, folder}, {}, {down}};

    // The run ends although nobody answered: the window is not modal.
    QVERIFY(runner.run());
    QCOMPARE(texts(), QStringList{QStringLiteral("ﾒｰﾙ送信で失敗しました(1)。\nserver down")});
    QVERIFY(!notices.openWindows().front()->isModal());
    QVERIFY(!QApplication::activeModalWidget());
    // The same cause again, with its window closed: not told again; a new one is.
    notices.openWindows().front()->close();
    QTRY_VERIFY(notices.openWindows().empty());
    QVERIFY(runner.run());
    QCOMPARE(texts(), QStringList{Utf8Text(folder)});
    // After a run without it, the cause is told once more.
    QVERIFY(runner.run());
    QVERIFY(runner.run());
    QCOMPARE(texts().size(), 2);
    // Questions are never asked; once muted nothing is shown and what was
    // open closes.
    QVERIFY(!notices.AskYesNo("履歴を確認しますか?"));
    notices.mute();
    notices.ShowMessage("after the end");
    QTRY_VERIFY(notices.openWindows().empty());
}

void QtMessagesTest::aSignInToRenewIsToldByItsNoticeElseInAWindow()
{
    CheckRunner runner([] { return true; });
    RunNotices notices(runner);
    std::vector<std::string> balloons;
    bool balloonsOn = true;
    notices.setSignInNotice([&](std::string_view text) {
        if (balloonsOn)
            balloons.emplace_back(text);
        return balloonsOn;
    });
    notices.TellSignInNeeded("サインインが必要です");
    QCOMPARE(balloons, std::vector<std::string>{"サインインが必要です"});
    QVERIFY(notices.openWindows().empty());
    // With balloons off the notice is not lost: it opens a window.
    balloonsOn = false;
    notices.TellSignInNeeded("サインインが必要です");
    QCOMPARE(notices.openWindows().size(), std::size_t{1});
    notices.mute();
}

QTEST_MAIN(QtMessagesTest)
#include "QtMessagesTest.moc"

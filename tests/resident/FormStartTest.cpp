// SPDX-License-Identifier: MIT
// The resident window on the real tray control: start-up, timer, watching
// switch, tray menu and events, password prompt, balloon and end questions.
#include "ResidentHarness.h"

#include "resident/FormMain.h"
#include "resident/ProgramVersion.h"
#include "resident/TrayBalloon.h"
#include "traycontrol/TrayIconRecord.h"
#include "windows/PlaceholderWindow.h"

#include <QAction>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTest>

using namespace tessaly;
using namespace tessaly::test;

namespace {

const QString kWatchingTip = QStringLiteral("Tessaly Ver  1.1.9  購読中…");
const QString kStoppedTip = QStringLiteral("Tessaly Ver  1.1.9  -停止-");
const QString kStartupFailure = QStringLiteral("message: システムファイルが正しくありません。(3)");

FolderSetup WithInterval(const std::string& interval)
{
    FolderSetup setup;
    setup.settings.Conf_Interval = interval;
    return setup;
}

FolderSetup WithPassword(const std::string& password)
{
    FolderSetup setup;
    setup.settings.Conf_Passwd = 1;
    setup.settings.Conf_PasswdTxt = password;
    return setup;
}

QString OpenChildCaption(FormMain* frame)
{
    const QList<QMdiSubWindow*> children = frame->childWindows();
    return children.size() == 1 ? children.front()->widget()->windowTitle() : QString();
}

} // namespace

class FormStartTest final : public QObject {
    Q_OBJECT

private slots:
    void startUpDrivesTheControlInOrder();
    void balloonFollowsConfBalloon_data();
    void balloonFollowsConfBalloon();
    void startUpFailureEndsWithMessage_data();
    void startUpFailureEndsWithMessage();
    void missingDataFilesDoNotStopStartUp();
    void timerChecksWhenCountMatchesInterval_data();
    void timerChecksWhenCountMatchesInterval();
    void emptyIntervalNeverArmsTheTimer();
    void loweringTheIntervalBelowTheCountChecksAtOnce();
    void watchingSwitchStopsAndResumesTheCount();
    void rightButtonOpensTheTrayMenu();
    void leftDoubleClickOpensTheMainWindow();
    void passwordPrompt_data();
    void passwordPrompt();
    void balloonClickAsksBeforeShowingTheHistory();
    void balloonClickHonoursThePasswordLock();
    void endAsksFirst();
    void frameCloseKeepsTheTrayRunning();
    void frameExitEndsWithoutQuestion();
    void hiddenFeedSetsTheBalloon();
    void balloonPortReadsAndWritesTheControl();
};

void FormStartTest::startUpDrivesTheControlInOrder()
{
    FolderSetup setup = WithInterval("5");
    setup.settings.Conf_Balloon = 1;
    // Eleven lines: the load reports the cut, after the icon is up.
    for (int i = 0; i < 11; ++i)
        setup.subscriptionFile += "Row" + std::to_string(i) + ",,/tmp,*.txt,,,,\r\n";
    ResidentHarness h(setup);
    QVERIFY(h.load());

    QCOMPARE(h.log.mid(0, 6),
             QStringList({QStringLiteral("put BalloonSound True"), QStringLiteral("put AutoRefresh True"),
                          QStringLiteral("put Balloon True"), QStringLiteral("putref Icon icon"),
                          QStringLiteral("call Show"), QStringLiteral("put ToolTipText ") + kWatchingTip}));
    QCOMPARE(h.log.size(), 7);
    QVERIFY(h.log[6].startsWith(QStringLiteral("message: ")));
    QCOMPARE(QString::fromStdString(h.data.subscriptions[0].Name), QStringLiteral("Row0"));

    // The icon reached the notification area with its picture; the tool tip
    // followed at once.
    const auto add = std::find_if(h.shell.calls.begin(), h.shell.calls.end(),
                                  [](const ShellCall& call) { return call.operation == lumitray::NIM_ADD; });
    QVERIFY(add != h.shell.calls.end());
    QVERIFY(add->data.icon != 0);
    QCOMPARE(h.shell.calls.back().operation, lumitray::NIM_MODIFY);
    QCOMPARE(h.shell.calls.back().data.tip, kWatchingTip);
    QVERIFY(h.form->watching());
    QVERIFY(h.form->timerRunning());
    QCOMPARE(h.form->timerInterval(), 60000);
    QCOMPARE(h.form->trigger().minuteCount(), 0);
    QCOMPARE(h.runs, 0);
}

void FormStartTest::balloonFollowsConfBalloon_data()
{
    QTest::addColumn<int>("flag");
    QTest::addColumn<QString>("expected");
    QTest::newRow("1") << 1 << QStringLiteral("put Balloon True");
    QTest::newRow("0") << 0 << QStringLiteral("put Balloon False");
    QTest::newRow("-1") << -1 << QStringLiteral("put Balloon False");
    QTest::newRow("2") << 2 << QStringLiteral("put Balloon False");
}

void FormStartTest::balloonFollowsConfBalloon()
{
    QFETCH(int, flag);
    QFETCH(QString, expected);
    FolderSetup setup;
    setup.settings.Conf_Balloon = static_cast<int16_t>(flag);
    ResidentHarness h(setup);
    QVERIFY(h.load());
    QCOMPARE(h.log.value(2), expected);
}

void FormStartTest::startUpFailureEndsWithMessage_data()
{
    QTest::addColumn<QString>("icon");  // "" = no icon file
    QTest::addColumn<bool>("failShow"); // the control refuses Show
    QTest::newRow("icon missing") << QString() << false;
    QTest::newRow("icon is text") << QStringLiteral("not a picture at all") << false;
    QTest::newRow("icon is a bitmap") << QStringLiteral("png") << false;
    QTest::newRow("control refuses Show") << QStringLiteral("shipped") << true;
}

void FormStartTest::startUpFailureEndsWithMessage()
{
    QFETCH(QString, icon);
    QFETCH(bool, failShow);
    FolderSetup setup;
    setup.shippedIcon = icon == QStringLiteral("shipped");
    ResidentHarness h(setup);
    const std::string iconPath = h.folder.file("norvikinfo.ico");
    if (icon == QStringLiteral("png")) {
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(QString::fromStdString(iconPath), "PNG"));
    } else if (!icon.isEmpty() && !setup.shippedIcon) {
        WriteFile(iconPath, icon.toStdString());
    }
    if (failShow)
        h.control->failing = lumitray::DispIds::Show;

    QVERIFY(!h.load());
    QCOMPARE(h.log.last(), kStartupFailure);
    QVERIFY(!h.log.contains(QStringLiteral("putref Icon picture")));
    QVERIFY(!h.form->timerRunning());
}

void FormStartTest::missingDataFilesDoNotStopStartUp()
{
    FolderSetup setup;
    setup.writeSettings = false;
    ResidentHarness h(setup);
    QVERIFY(h.load());
    QVERIFY(!h.log.join('\n').contains(QStringLiteral("message:")));
    QVERIFY(h.form->watching());
}

void FormStartTest::timerChecksWhenCountMatchesInterval_data()
{
    QTest::addColumn<QString>("interval");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<int>("runs");
    QTest::newRow("1 checks every tick") << QStringLiteral("1") << 5 << 5;
    QTest::newRow("3 checks every third") << QStringLiteral("3") << 7 << 2;
    QTest::newRow("0 never") << QStringLiteral("0") << 20 << 0;
    QTest::newRow("05 never") << QStringLiteral("05") << 20 << 0;
    QTest::newRow("blank before 5 never") << QStringLiteral(" 5") << 20 << 0;
    QTest::newRow("text never") << QStringLiteral("five") << 20 << 0;
}

void FormStartTest::timerChecksWhenCountMatchesInterval()
{
    QFETCH(QString, interval);
    QFETCH(int, ticks);
    QFETCH(int, runs);
    ResidentHarness h(WithInterval(interval.toStdString()));
    QVERIFY(h.load());
    QVERIFY(h.form->timerRunning());
    for (int i = 0; i < ticks; ++i)
        h.tickIfRunning();
    QCOMPARE(h.runs, runs);
}

void FormStartTest::emptyIntervalNeverArmsTheTimer()
{
    ResidentHarness h(WithInterval(""));
    QVERIFY(h.load());
    QVERIFY(!h.form->timerRunning());
    QCOMPARE(h.form->timerInterval(), 0);
    // Setting the interval later, or switching watching off and on, does
    // not arm it: the next start-up does.
    h.data.settings.Conf_Interval = "1";
    h.form->menuCheck()->trigger();
    h.form->menuCheck()->trigger();
    QVERIFY(h.form->watching());
    QVERIFY(!h.form->timerRunning());
}

void FormStartTest::loweringTheIntervalBelowTheCountChecksAtOnce()
{
    ResidentHarness h(WithInterval("10"));
    QVERIFY(h.load());
    for (int i = 0; i < 7; ++i)
        h.tickIfRunning();
    QCOMPARE(h.runs, 0);
    h.data.settings.Conf_Interval = "5";
    h.tickIfRunning();
    QCOMPARE(h.runs, 1);
    QCOMPARE(h.form->trigger().minuteCount(), 0);
    for (int i = 0; i < 5; ++i)
        h.tickIfRunning();
    QCOMPARE(h.runs, 2);
}

void FormStartTest::watchingSwitchStopsAndResumesTheCount()
{
    ResidentHarness h(WithInterval("3"));
    QVERIFY(h.load());
    h.tickIfRunning();
    h.tickIfRunning();
    const qsizetype before = h.log.size();

    h.form->menuCheck()->trigger();
    QVERIFY(!h.form->watching());
    QVERIFY(!h.form->timerRunning());
    QCOMPARE(h.logFrom(before),
             QStringList({QStringLiteral("put ToolTipText ") + kStoppedTip, QStringLiteral("put BalloonText ")}));
    QCOMPARE(h.shell.calls.back().data.tip, kStoppedTip);
    for (int i = 0; i < 5; ++i)
        h.tickIfRunning();
    QCOMPARE(h.runs, 0);

    // Switched on again, the count goes on where it stopped.
    h.form->menuCheck()->trigger();
    QVERIFY(h.form->watching());
    QVERIFY(h.form->timerRunning());
    QCOMPARE(h.shell.calls.back().data.tip, kWatchingTip);
    QCOMPARE(h.form->trigger().minuteCount(), 2);
    h.tickIfRunning();
    QCOMPARE(h.runs, 1);
}

void FormStartTest::rightButtonOpensTheTrayMenu()
{
    ResidentHarness h;
    QVERIFY(h.load());
    const QList<QAction*> items = h.form->menu0()->actions();
    QCOMPARE(items.size(), 4);
    QCOMPARE(items[0]->text(), QStringLiteral("購読"));
    QVERIFY(items[0]->isChecked());
    QVERIFY(items[1]->isSeparator());
    QCOMPARE(items[2]->text(), QStringLiteral("開く"));
    QCOMPARE(items[3]->text(), QStringLiteral("終了する"));

    h.shellCallback(lumitray::WM_LBUTTONDOWN);
    h.shellCallback(lumitray::WM_LBUTTONUP);
    QVERIFY(!h.form->menu0()->isVisible());
    h.shellCallback(lumitray::WM_RBUTTONDOWN);
    QVERIFY(h.form->menu0()->isVisible());
    h.form->menu0()->hide();
    QVERIFY(!h.form->mainWindow());
}

void FormStartTest::leftDoubleClickOpensTheMainWindow()
{
    ResidentHarness h;
    QVERIFY(h.load());
    h.shellCallback(lumitray::WM_RBUTTONDBLCLK);
    QVERIFY(!h.form->mainWindow());
    h.shellCallback(lumitray::WM_LBUTTONDBLCLK);
    QVERIFY(h.form->mainWindow());
    QVERIFY(h.form->mainWindow()->isVisible());
    QCOMPARE(h.form->mainWindow()->windowTitle(), QStringLiteral("Tessaly Ver  1.1.9"));
    // Opening again shows the same frame.
    FormMain* first = h.form->mainWindow();
    h.form->menuOpen()->trigger();
    QCOMPARE(h.form->mainWindow(), first);
}

void FormStartTest::passwordPrompt_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("typed"); // "<cancel>" cancels the box
    QTest::addColumn<bool>("opens");
    QTest::newRow("right") << QStringLiteral("Secret") << QStringLiteral("Secret") << true;
    QTest::newRow("letter case counts") << QStringLiteral("Secret") << QStringLiteral("secret") << false;
    QTest::newRow("cancel") << QStringLiteral("Secret") << QStringLiteral("<cancel>") << false;
    QTest::newRow("cancel with empty password") << QString() << QStringLiteral("<cancel>") << true;
    QTest::newRow("japanese") << QStringLiteral("ﾊﾟｽ語") << QStringLiteral("ﾊﾟｽ語") << true;
}

void FormStartTest::passwordPrompt()
{
    QFETCH(QString, password);
    QFETCH(QString, typed);
    QFETCH(bool, opens);
    ResidentHarness h(WithPassword(password.toStdString()));
    QVERIFY(h.load());
    if (typed != QStringLiteral("<cancel>"))
        h.input.answers.push_back(typed);
    const qsizetype before = h.log.size();

    h.form->menuOpen()->trigger();
    QStringList expected{QStringLiteral("input: ﾊﾟｽﾜｰﾄﾞ? [Tessaly]")};
    if (!opens)
        expected << QStringLiteral("message: ﾊﾟｽﾜｰﾄﾞが間違っています");
    QCOMPARE(h.logFrom(before), expected);
    QCOMPARE(h.form->mainWindow() != nullptr, opens);
}

void FormStartTest::balloonClickAsksBeforeShowingTheHistory()
{
    ResidentHarness h;
    QVERIFY(h.load());
    const qsizetype before = h.log.size();
    h.messages.answers = {false, true};

    h.shellCallback(lumitray::NIN_BALLOONUSERCLICK);
    QCOMPARE(h.logFrom(before), QStringList({QStringLiteral("question: 履歴を確認しますか?")}));
    QVERIFY(!h.form->mainWindow());

    h.shellCallback(lumitray::NIN_BALLOONUSERCLICK);
    QVERIFY(h.form->mainWindow());
    QCOMPARE(OpenChildCaption(h.form->mainWindow()), PlaceholderWindow::Caption(ChildWindow::FormList));

    // With another child open, the history list replaces it.
    h.form->mainWindow()->showChild(ChildWindow::FormParam);
    h.shellCallback(lumitray::NIN_BALLOONUSERCLICK);
    QCOMPARE(OpenChildCaption(h.form->mainWindow()), PlaceholderWindow::Caption(ChildWindow::FormList));
}

void FormStartTest::balloonClickHonoursThePasswordLock()
{
    ResidentHarness h(WithPassword("Secret"));
    QVERIFY(h.load());
    h.input.answers = {QStringLiteral("wrong")};
    h.shellCallback(lumitray::NIN_BALLOONUSERCLICK);
    QVERIFY(!h.form->mainWindow());
    QCOMPARE(h.log.last(), QStringLiteral("message: ﾊﾟｽﾜｰﾄﾞが間違っています"));

    h.input.answers = {QStringLiteral("Secret")};
    h.shellCallback(lumitray::NIN_BALLOONUSERCLICK);
    QVERIFY(h.form->mainWindow());
    // The frame is open now: no second prompt.
    const qsizetype before = h.log.size();
    h.shellCallback(lumitray::NIN_BALLOONUSERCLICK);
    QCOMPARE(h.logFrom(before), QStringList({QStringLiteral("question: 履歴を確認しますか?")}));
}

void FormStartTest::endAsksFirst()
{
    ResidentHarness h;
    QVERIFY(h.load());
    h.messages.answers = {false, true};
    h.form->menuEnd()->trigger();
    QCOMPARE(h.ends, 0);
    h.form->menuEnd()->trigger();
    QCOMPARE(h.ends, 1);
    QCOMPARE(h.log.count(QStringLiteral("question: Tessalyを終了しますか?")), 2);
}

void FormStartTest::frameCloseKeepsTheTrayRunning()
{
    ResidentHarness h(WithInterval("1"));
    QVERIFY(h.load());
    h.form->menuOpen()->trigger();
    QPointer<FormMain> frame = h.form->mainWindow();
    QPointer<QMdiSubWindow> child = frame->showChild(ChildWindow::FormConfig);
    frame->findChild<QAction*>(QStringLiteral("MnuClose"))->trigger();
    QTRY_VERIFY(!frame);
    QTRY_VERIFY(!child);
    QVERIFY(!h.form->mainWindow());
    QCOMPARE(h.ends, 0);
    QVERIFY(h.form->timerRunning());
    h.tickIfRunning();
    QCOMPARE(h.runs, 1);
    QCOMPARE(h.shell.calls.back().operation, lumitray::NIM_MODIFY);

    // Opened again, it is a new frame with its caption.
    h.form->menuOpen()->trigger();
    QVERIFY(h.form->mainWindow());
    QCOMPARE(h.form->mainWindow()->windowTitle(), QString::fromStdString(VersionCaption()));
}

void FormStartTest::frameExitEndsWithoutQuestion()
{
    ResidentHarness h;
    QVERIFY(h.load());
    h.form->menuOpen()->trigger();
    const qsizetype before = h.log.size();
    h.form->mainWindow()->findChild<QAction*>(QStringLiteral("MnuEnd"))->trigger();
    QCOMPARE(h.ends, 1);
    QCOMPARE(h.logFrom(before), QStringList());
}

void FormStartTest::hiddenFeedSetsTheBalloon()
{
    FolderSetup setup;
    setup.settings.Conf_Balloon = 1;
    ResidentHarness h(setup);
    QVERIFY(h.load());
    const qsizetype before = h.log.size();
    h.form->setFeedTexts(QStringLiteral("本文です"), QStringLiteral("お知らせ"));
    QCOMPARE(h.logFrom(before),
             QStringList({QStringLiteral("put BalloonText 本文です"), QStringLiteral("put BalloonTitle お知らせ")}));
    QCOMPARE(h.shell.calls.back().data.info, QStringLiteral("本文です"));
    QCOMPARE(h.shell.calls.back().data.infoTitle, QStringLiteral("お知らせ"));
    // Nothing changed, nothing sent.
    h.form->setFeedTexts(QStringLiteral("本文です"), QStringLiteral("お知らせ"));
    QCOMPARE(h.log.size(), before + 2);
}

void FormStartTest::balloonPortReadsAndWritesTheControl()
{
    FolderSetup setup;
    setup.settings.Conf_Balloon = 1;
    ResidentHarness h(setup);
    QVERIFY(h.load());
    TrayBalloon balloon(*h.control);
    balloon.SetBalloonText("");
    balloon.SetBalloonTitle("Tessaly! ﾌｧｲﾙが更新されました");
    balloon.SetBalloonText(balloon.BalloonText() + "報告書 2ﾌｧｲﾙ\r\n");
    balloon.SetBalloonText(balloon.BalloonText() + "議事録 1ﾌｧｲﾙ\r\n");
    QCOMPARE(balloon.BalloonText(), std::string("報告書 2ﾌｧｲﾙ\r\n議事録 1ﾌｧｲﾙ\r\n"));
    const lumitray::TrayIconData& last = h.shell.calls.back().data;
    QCOMPARE(last.infoTitle, QStringLiteral("Tessaly! ﾌｧｲﾙが更新されました"));
    QCOMPARE(last.info, QStringLiteral("報告書 2ﾌｧｲﾙ\r\n議事録 1ﾌｧｲﾙ\r\n"));
    QVERIFY(last.flags & lumitray::NIF_INFO);
}

QTEST_MAIN(FormStartTest)
#include "FormStartTest.moc"

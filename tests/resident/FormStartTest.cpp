// SPDX-License-Identifier: MIT
// The resident window on the real tray control: start-up, timer, watching
// switch, tray menu and events, password prompt, balloon and end questions.
#include "ResidentHarness.h"

#include "PlaceholderWindow.h"
#include "resident/FormMain.h"
#include "resident/ShippedIcon.h"
#include "resident/TrayBalloon.h"
#include "traycontrol/NotificationBus.h"
#include "traycontrol/QtNotificationArea.h"

#include <QAction>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTest>

#include <iostream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessaly;
using namespace tessaly::test;

namespace {

const QString kWatchingTip = QStringLiteral("Tessaly Ver  1.2.0  購読中…");
const QString kStoppedTip = QStringLiteral("Tessaly Ver  1.2.0  -停止-");
const QString kWrongPassword = QStringLiteral("message: ﾊﾟｽﾜｰﾄﾞが間違っています");
const QString kHistoryQuestion = QStringLiteral("question: 履歴を確認しますか?");

FolderSetup With(const std::string& interval = "", const std::string& password = {}, int balloon = 0)
{
    FolderSetup setup;
    setup.settings.Conf_Interval = interval;
    setup.settings.Conf_Passwd = password.empty() ? 0 : 1;
    setup.settings.Conf_PasswdTxt = password;
    setup.settings.Conf_Balloon = static_cast<int16_t>(balloon);
    return setup;
}

/// A notification service that takes every notice and never answers.
class QuietBus final : public lumitray::NotificationBus {
public:
    void notify(const lumitray::BalloonNotice&, std::function<void(quint32)>) override {}
    void close(quint32) override {}
};

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
    void startUpFailureEndsWithMessage_data();
    void startUpFailureEndsWithMessage();
    void savedSettingsArmAndStopTheTimer();
    void firstStartShowsTheEditorAndTheTrayShowsChecks();
    void timerCountsToTheIntervalAndTheSwitchPausesIt();
    void trayMouseEventsOpenMenuAndMainWindow();
    void trayHostsThatDrawTheMenuGetTheTrayMenu();
    void passwordPrompt_data();
    void passwordPrompt();
    void balloonClickAsksAndHonoursThePasswordLock();
    void endAndFrameCommands();
    void balloonTextsReachTheShell();
};

void FormStartTest::startUpDrivesTheControlInOrder()
{
    FolderSetup setup = With("5", {}, 1);
    // Eleven lines: the load reports the cut, after the icon is up.
    setup.subscriptionFile.clear();
    for (int i = 0; i < 11; ++i)
        setup.subscriptionFile += "Row" + std::to_string(i) + ",,/tmp,*.txt,,,,\r\n";
    ResidentHarness h(setup);
    QVERIFY(h.load());
    QCOMPARE(h.log.size(), 2);
    QCOMPARE(h.log[0], QStringLiteral("icon added"));
    QVERIFY(h.log[1].startsWith(QStringLiteral("message: ")));
    QCOMPARE(QString::fromStdString(h.data.subscriptions[0].Name), QStringLiteral("Row0"));
    // The icon reached the notification area with its picture and balloons
    // with sound; every assignment goes there at once, the tool tip first.
    QVERIFY(h.icon.autoRefresh() && h.icon.balloon() && h.icon.balloonSound());
    const auto add = std::find_if(h.shell.calls.begin(), h.shell.calls.end(),
                                  [](const ShellCall& call) { return call.operation == lumitray::NIM_ADD; });
    QVERIFY(add != h.shell.calls.end() && !add->image.isNull());
    QVERIFY((add->data.flags & lumitray::NIF_INFO) && !(add->data.infoFlags & lumitray::NIIF_NOSOUND));
    QCOMPARE(h.shell.calls.back().operation, lumitray::NIM_MODIFY);
    QCOMPARE(h.shell.calls.back().data.tip, kWatchingTip);
    QVERIFY(h.form->watching() && h.form->checks().timerRunning());
    QCOMPARE(h.form->checks().timerInterval(), 60000);
    QCOMPARE(h.runs, 0);

    // Only a balloon flag of 1 turns it on; missing settings do not stop start-up.
    for (int flag : {0, -1, 2}) {
        ResidentHarness off(With("", {}, flag));
        QVERIFY(off.load());
        QVERIFY(!off.icon.balloon());
    }
    FolderSetup bare;
    bare.writeSettings = false;
    ResidentHarness fresh(bare);
    QVERIFY(fresh.load());
    QVERIFY(!fresh.log.join('\n').contains(QStringLiteral("message:")));
    QVERIFY(fresh.form->watching());
}

void FormStartTest::startUpFailureEndsWithMessage_data()
{
    QTest::addColumn<QString>("icon");  // "" = no icon file
    QTest::addColumn<QString>("cause"); // what stderr tells
    QTest::newRow("icon missing") << QString() << QStringLiteral("ファイルまたはフォルダがありません");
    QTest::newRow("icon is empty") << QStringLiteral("empty") << QStringLiteral("the file is empty");
    QTest::newRow("icon is text") << QStringLiteral("not a picture at all") << QStringLiteral("not a picture");
    QTest::newRow("icon is a bitmap") << QStringLiteral("png") << QStringLiteral("not an icon");
    QTest::newRow("icon is a link to an icon") << QStringLiteral("link") << QString();
    QTest::newRow("icon is a FIFO") << QStringLiteral("fifo") << QString();
}

void FormStartTest::startUpFailureEndsWithMessage()
{
    QFETCH(QString, icon);
    QFETCH(QString, cause);
    FolderSetup setup;
    setup.shippedIcon = false;
    ResidentHarness h(setup);
    TempFolder elsewhere;
    const std::string iconPath = h.folder.file("norvikinfo.ico");
    if (icon == QStringLiteral("png")) {
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(QString::fromStdString(iconPath), "PNG"));
    } else if (icon == QStringLiteral("link")) {
        // A good icon, but only through a link: not read through it.
        std::string error;
        QVERIFY(InstallShippedIcon(elsewhere.path(), &error));
        QCOMPARE(::symlink(elsewhere.file("norvikinfo.ico").c_str(), iconPath.c_str()), 0);
    } else if (icon == QStringLiteral("fifo")) {
        QCOMPARE(::mkfifo(iconPath.c_str(), 0600), 0);
    } else if (!icon.isEmpty()) {
        WriteFile(iconPath, icon == QStringLiteral("empty") ? std::string() : icon.toStdString());
    }
    // Opening the FIFO to read it would wait for a writer for ever: the
    // test's time limit fails that.
    std::ostringstream told;
    std::streambuf* const stderrBuffer = std::cerr.rdbuf(told.rdbuf());
    const bool started = h.load();
    std::cerr.rdbuf(stderrBuffer);
    QVERIFY(!started);
    QVERIFY2(told.str().find(iconPath + ": " + cause.toStdString()) != std::string::npos, told.str().c_str());
    QCOMPARE(h.log.last(), QStringLiteral("message: システムファイルが正しくありません。(3)"));
    QVERIFY(!h.log.contains(QStringLiteral("icon added")));
    QVERIFY(!h.form->checks().timerRunning());
}

void FormStartTest::savedSettingsArmAndStopTheTimer()
{
    ResidentHarness h(With(""));
    QVERIFY(h.load());
    QVERIFY(!h.form->checks().timerRunning());
    QCOMPARE(h.form->checks().timerInterval(), 0);
    // Without an interval, switching watching off and on does not arm it.
    h.form->menuCheck()->trigger();
    h.form->menuCheck()->trigger();
    QVERIFY(h.form->watching() && !h.form->checks().timerRunning());
    // An interval saved in the settings window arms the timer at once.
    h.data.settings.Conf_Interval = "2";
    h.windows->context().settingsSaved();
    QVERIFY(h.form->checks().timerRunning());
    QCOMPARE(h.form->checks().timerInterval(), int(ResidentHarness::kMinute.count()));
    h.tickIfRunning();
    h.tickIfRunning();
    QCOMPARE(h.runs, 1);
    // Saving with watching off leaves it off; switched on, the timer runs.
    h.form->menuCheck()->trigger();
    h.windows->context().settingsSaved();
    QVERIFY(!h.form->checks().timerRunning());
    h.form->menuCheck()->trigger();
    QVERIFY(h.form->checks().timerRunning());
    // A cleared interval stops it.
    h.data.settings.Conf_Interval.clear();
    h.windows->context().settingsSaved();
    QVERIFY(!h.form->checks().timerRunning());
    QCOMPARE(h.form->checks().timerInterval(), 0);
    h.tickIfRunning();
    QCOMPARE(h.runs, 1);
    // Balloons follow the saved flag at once, either way.
    for (int flag : {1, 0}) {
        h.data.settings.Conf_Balloon = static_cast<int16_t>(flag);
        h.windows->context().settingsSaved();
        QCOMPARE(bool(h.shell.calls.back().data.flags & lumitray::NIF_INFO), flag == 1);
    }
}

void FormStartTest::firstStartShowsTheEditorAndTheTrayShowsChecks()
{
    const QString nothing = kWatchingTip + QStringLiteral("\n購読が登録されていません");
    FolderSetup setup = With("5");
    setup.subscriptionFile.clear();
    ResidentHarness h(setup);
    QVERIFY(h.load());
    QCOMPARE(OpenChildCaption(h.form->mainWindow()), PlaceholderWindow::Caption(ChildWindow::FormConfig));
    QCOMPARE(h.shell.calls.back().data.tip, nothing);
    h.data.subscriptions[0].Name = "Docs";
    h.form->applySubscriptions();
    QCOMPARE(h.shell.calls.back().data.tip, kWatchingTip);

    // A check in progress shows in the tool tip and in the icon.
    const size_t before = h.shell.calls.size();
    QVERIFY(h.runner.run());
    const std::vector<ShellCall> run(h.shell.calls.begin() + static_cast<std::ptrdiff_t>(before), h.shell.calls.end());
    QCOMPARE(run.size(), size_t(4));
    const QString checkingTip = QStringLiteral("Tessaly Ver  1.2.0  ﾁｪｯｸ中…");
    QCOMPARE(QStringList({run[0].data.tip, run[1].data.tip, run[2].data.tip, run[3].data.tip}),
             QStringList({checkingTip, checkingTip, kWatchingTip, kWatchingTip}));
    QVERIFY(run[1].image != run[0].image);
    QCOMPARE(run[3].image, run[0].image);

    // Behind a password lock the editor waits to be opened.
    FolderSetup locked = With("5", "Secret");
    locked.subscriptionFile.clear();
    ResidentHarness l(locked);
    QVERIFY(l.load());
    QVERIFY(!l.form->mainWindow());
}

void FormStartTest::timerCountsToTheIntervalAndTheSwitchPausesIt()
{
    // Interval parsing is covered by the driver's own test; here the timer drives it.
    ResidentHarness h(With("3"));
    QVERIFY(h.load());
    h.tickIfRunning();
    h.tickIfRunning();
    h.icon.setBalloonText(QStringLiteral("2ﾌｧｲﾙ"));
    h.form->menuCheck()->trigger();
    QVERIFY(!h.form->watching() && !h.form->checks().timerRunning());
    QCOMPARE(h.icon.balloonText(), QString());
    QCOMPARE(h.shell.calls.back().data.tip, kStoppedTip);
    for (int i = 0; i < 5; ++i)
        h.tickIfRunning();
    QCOMPARE(h.runs, 0);
    // Switched on again, the count goes on where it stopped.
    h.form->menuCheck()->trigger();
    QVERIFY(h.form->watching() && h.form->checks().timerRunning());
    QCOMPARE(h.shell.calls.back().data.tip, kWatchingTip);
    QCOMPARE(h.form->checks().minuteCount(), 2);
    for (int i = 0; i < 7; ++i)
        h.tickIfRunning();
    QCOMPARE(h.runs, 3);
}

void FormStartTest::trayMouseEventsOpenMenuAndMainWindow()
{
    ResidentHarness h;
    QVERIFY(h.load());
    QCOMPARE(h.form->menu0()->actions().size(), 4);
    QVERIFY(h.form->menuCheck()->isChecked());
    h.shellCallback(lumitray::WM_LBUTTONDOWN);
    h.shellCallback(lumitray::WM_LBUTTONUP);
    h.shellCallback(lumitray::WM_RBUTTONDBLCLK);
    QVERIFY(!h.form->menu0()->isVisible());
    QVERIFY(!h.form->mainWindow());
    h.shellCallback(lumitray::WM_RBUTTONDOWN);
    QVERIFY(h.form->menu0()->isVisible());
    h.form->menu0()->hide();
    QVERIFY(!h.form->mainWindow());

    h.shellCallback(lumitray::WM_LBUTTONDBLCLK);
    FormMain* first = h.form->mainWindow();
    QVERIFY(first && first->isVisible());
    // Opening again shows the same frame, restored when it was minimised,
    // maximised when it was so before.
    first->showMinimized();
    h.form->menuOpen()->trigger();
    QCOMPARE(h.form->mainWindow(), first);
    QVERIFY(first->isVisible() && !first->isMinimized());
    first->showMaximized();
    first->setWindowState(first->windowState() | Qt::WindowMinimized);
    QVERIFY(first->isMinimized());
    h.shellCallback(lumitray::WM_LBUTTONDBLCLK);
    QCOMPARE(h.form->mainWindow(), first);
    QVERIFY(!first->isMinimized() && first->isMaximized());
}

void FormStartTest::trayHostsThatDrawTheMenuGetTheTrayMenu()
{
    // The real control on a StatusNotifierItem desktop: the host draws the
    // tray menu and its entries work.
    ResidentHarness h(With("5"));
    lumitray::QtNotificationArea::Options options;
    options.protocol = lumitray::TrayProtocol::StatusNotifierItem;
    options.bus = std::make_unique<QuietBus>();
    auto created = std::make_unique<lumitray::QtNotificationArea>(std::move(options));
    lumitray::QtNotificationArea* desktop = created.get();
    h.shell.desktop = std::move(created);
    QVERIFY(h.load());
    const lumitray::TrayIconRequest& icon = h.shell.calls.front().data;
    QSystemTrayIcon* tray = desktop->trayIcon(icon.window, icon.id);
    QVERIFY(tray && tray->contextMenu());
    const QList<QAction*> entries = tray->contextMenu()->actions();
    QStringList texts;
    for (const QAction* entry : entries)
        texts << (entry->isSeparator() ? QStringLiteral("-") : entry->text());
    QCOMPARE(texts, QStringList({"購読", "-", "開く", "終了する"}));
    QVERIFY(entries[0]->isCheckable() && entries[0]->isChecked());

    QVERIFY(h.form->checks().timerRunning());
    entries[0]->trigger();
    QCOMPARE(tray->toolTip(), kStoppedTip);
    QVERIFY(!h.form->checks().timerRunning());
    entries[0]->trigger();
    QCOMPARE(tray->toolTip(), kWatchingTip);
    entries[2]->trigger();
    QVERIFY(h.form->mainWindow() && h.form->mainWindow()->isVisible());
    h.messages.answers = {true};
    entries[3]->trigger();
    QCOMPARE(h.ends, 1);
}

void FormStartTest::passwordPrompt_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("typed"); // "<cancel>" cancels the box
    QTest::addColumn<bool>("opens");
    QTest::newRow("right") << QStringLiteral("Secret") << QStringLiteral("Secret") << true;
    QTest::newRow("letter case counts") << QStringLiteral("Secret") << QStringLiteral("secret") << false;
    QTest::newRow("cancel") << QStringLiteral("Secret") << QStringLiteral("<cancel>") << false;
    QTest::newRow("cancel with empty password") << QString() << QStringLiteral("<cancel>") << false;
    QTest::newRow("japanese") << QStringLiteral("ﾊﾟｽ語") << QStringLiteral("ﾊﾟｽ語") << true;
}

void FormStartTest::passwordPrompt()
{
    QFETCH(QString, password);
    QFETCH(QString, typed);
    QFETCH(bool, opens);
    FolderSetup setup = With();
    setup.settings.Conf_Passwd = 1;
    setup.settings.Conf_PasswdTxt = password.toStdString();
    ResidentHarness h(setup);
    QVERIFY(h.load());
    if (typed != QStringLiteral("<cancel>"))
        h.input.answers.push_back(typed);
    const qsizetype before = h.log.size();
    h.form->menuOpen()->trigger();
    QStringList expected{QStringLiteral("input: ﾊﾟｽﾜｰﾄﾞ? [Tessaly]")};
    // キャンセル gives up without a word.
    if (!opens && typed != QStringLiteral("<cancel>"))
        expected << kWrongPassword;
    QCOMPARE(h.log.mid(before), expected);
    QCOMPARE(h.form->mainWindow() != nullptr, opens);
}

void FormStartTest::balloonClickAsksAndHonoursThePasswordLock()
{
    ResidentHarness h;
    QVERIFY(h.load());
    const qsizetype before = h.log.size();
    h.messages.answers = {false, true};
    h.shellCallback(lumitray::NIN_BALLOONUSERCLICK);
    QCOMPARE(h.log.mid(before), QStringList({kHistoryQuestion}));
    QVERIFY(!h.form->mainWindow());
    h.shellCallback(lumitray::NIN_BALLOONUSERCLICK);
    QCOMPARE(OpenChildCaption(h.form->mainWindow()), PlaceholderWindow::Caption(ChildWindow::FormList));
    // With another child open, the history list replaces it.
    h.form->mainWindow()->showChild(ChildWindow::FormParam);
    h.shellCallback(lumitray::NIN_BALLOONUSERCLICK);
    QCOMPARE(OpenChildCaption(h.form->mainWindow()), PlaceholderWindow::Caption(ChildWindow::FormList));

    ResidentHarness locked(With("", "Secret"));
    QVERIFY(locked.load());
    locked.input.answers = {QStringLiteral("wrong")};
    locked.shellCallback(lumitray::NIN_BALLOONUSERCLICK);
    QVERIFY(!locked.form->mainWindow());
    QCOMPARE(locked.log.last(), kWrongPassword);
    locked.input.answers = {QStringLiteral("Secret")};
    locked.shellCallback(lumitray::NIN_BALLOONUSERCLICK);
    QVERIFY(locked.form->mainWindow());
    // The frame is open now: no second prompt.
    const qsizetype opened = locked.log.size();
    locked.shellCallback(lumitray::NIN_BALLOONUSERCLICK);
    QCOMPARE(locked.log.mid(opened), QStringList({kHistoryQuestion}));
}

void FormStartTest::endAndFrameCommands()
{
    ResidentHarness h(With("1"));
    QVERIFY(h.load());
    // The tray's end asks first.
    h.messages.answers = {false};
    h.form->menuEnd()->trigger();
    QCOMPARE(h.ends, 0);
    QCOMPARE(h.log.last(), QStringLiteral("question: Tessalyを終了しますか?"));

    // Closing the frame keeps the tray running.
    h.form->menuOpen()->trigger();
    QPointer<FormMain> frame = h.form->mainWindow();
    QPointer<QMdiSubWindow> child = frame->showChild(ChildWindow::FormConfig);
    frame->findChild<QAction*>(QStringLiteral("MnuClose"))->trigger();
    QTRY_VERIFY(!frame);
    QTRY_VERIFY(!child);
    QVERIFY(!h.form->mainWindow());
    QCOMPARE(h.ends, 0);
    QVERIFY(h.form->checks().timerRunning());
    h.tickIfRunning();
    QCOMPARE(h.runs, 1);
    QCOMPARE(h.shell.calls.back().operation, lumitray::NIM_MODIFY);

    // Opened again, it is a new frame; its exit ends without a question.
    h.form->menuOpen()->trigger();
    QVERIFY(h.form->mainWindow());
    const qsizetype before = h.log.size();
    h.form->mainWindow()->findChild<QAction*>(QStringLiteral("MnuEnd"))->trigger();
    QCOMPARE(h.ends, 1);
    QCOMPARE(h.log.mid(before), QStringList());
    h.messages.answers = {true};
    h.form->menuEnd()->trigger();
    QCOMPARE(h.ends, 2);
}

void FormStartTest::balloonTextsReachTheShell()
{
    ResidentHarness h(With("", {}, 1));
    QVERIFY(h.load());
    // The feed of another program sets text and title, once per change.
    const size_t before = h.shell.calls.size();
    h.form->setFeedTexts(QStringLiteral("本文です"), QStringLiteral("お知らせ"));
    QCOMPARE(h.shell.calls.size(), before + 2);
    QCOMPARE(h.shell.calls.back().data.info, QStringLiteral("本文です"));
    QCOMPARE(h.shell.calls.back().data.infoTitle, QStringLiteral("お知らせ"));
    h.form->setFeedTexts(QStringLiteral("本文です"), QStringLiteral("お知らせ"));
    QCOMPARE(h.shell.calls.size(), before + 2);

    // The check run's balloon port reads back and appends through the control.
    TrayBalloon balloon(h.icon);
    balloon.SetBalloonText("");
    balloon.SetBalloonTitle("Tessaly! ﾌｧｲﾙが更新されました");
    balloon.SetBalloonText(balloon.BalloonText() + "報告書 2ﾌｧｲﾙ\r\n");
    balloon.SetBalloonText(balloon.BalloonText() + "議事録 1ﾌｧｲﾙ\r\n");
    QCOMPARE(balloon.BalloonText(), std::string("報告書 2ﾌｧｲﾙ\r\n議事録 1ﾌｧｲﾙ\r\n"));
    const lumitray::TrayIconRequest& last = h.shell.calls.back().data;
    QCOMPARE(last.infoTitle, QStringLiteral("Tessaly! ﾌｧｲﾙが更新されました"));
    QCOMPARE(last.info, QStringLiteral("報告書 2ﾌｧｲﾙ\r\n議事録 1ﾌｧｲﾙ\r\n"));
    QVERIFY(last.flags & lumitray::NIF_INFO);
}

QTEST_MAIN(FormStartTest)
#include "FormStartTest.moc"

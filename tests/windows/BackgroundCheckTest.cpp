// SPDX-License-Identifier: MIT
// The desktop program's check run on a thread of its own: the windows stay
// responsive while a mail server never answers, what would conflict with
// the run waits for it, visibly, the run's results reach the program's
// records and the user on the UI thread, and a data folder that turns
// unsafe stops the runs and is told once.
#include "WindowsHarness.h"
#include "support/RecordingMailTransfer.h"

#include "checkrun/CheckRun.h"
#include "common/Balloon.h"
#include "common/DataFolder.h"
#include "common/FileSystem.h"
#include "notify/ComponentMailTransfer.h"
#include "resident/BackgroundCheck.h"
#include "resident/RunNotices.h"
#include "windows/FormConfig.h"

#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>

using namespace tessaly;
using namespace tessaly::test;

namespace {

/// A mail server that takes connections and never says a word, until it is
/// released: then it hangs up on every connection, now and later.
class SilentServer final : public QObject {
public:
    SilentServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                ++connections;
                if (m_released)
                    socket->abort();
                else
                    m_held.push_back(socket);
            }
        });
    }
    void release()
    {
        m_released = true;
        for (QTcpSocket* socket : m_held)
            socket->abort();
        m_held.clear();
    }
    quint16 port() const { return m_server.serverPort(); }
    int held() const { return static_cast<int>(m_held.size()); }

    int connections = 0;

private:
    QTcpServer m_server;
    std::vector<QTcpSocket*> m_held;
    bool m_released = false;
};

/// Notes whether a call arrived on a thread other than the UI thread.
struct ThreadWatch {
    void note() const
    {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            ++offUiThread;
    }
    mutable int offUiThread = 0;
};

struct WatchedBalloon final : Balloon, ThreadWatch {
    std::string BalloonText() const override
    {
        note();
        return text;
    }
    void SetBalloonText(std::string_view value) override
    {
        note();
        text = value;
        if (onText)
            onText();
    }
    void SetBalloonTitle(std::string_view value) override
    {
        note();
        title = value;
    }
    std::string text, title;
    std::function<void()> onText;
};

struct WatchedMessages final : UserMessages, ThreadWatch {
    void ShowMessage(std::string_view text) override
    {
        note();
        messages.emplace_back(text);
    }
    bool AskYesNo(std::string_view question) override
    {
        note();
        messages.emplace_back(question);
        return true;
    }
    bool shown(const std::string& text) const
    {
        return std::find(messages.begin(), messages.end(), text) != messages.end();
    }
    std::vector<std::string> messages;
};

/// A data folder with one subscription over a folder with one document, a
/// background runner over it and the subscription editor.
struct RunFixture {
    explicit RunFixture(MailTransfer& transfer, quint16 port = 25) : mail(transfer)
    {
        const std::string docs = h.folder.file("docs");
        std::filesystem::create_directory(docs);
        std::ofstream(docs + "/report.txt") << "news";
        h.data.settings.Conf_Mail = 1;
        h.data.settings.Conf_SmtpSrv = "127.0.0.1";
        h.data.settings.Conf_SmtpPort = std::to_string(port);
        h.data.settings.Conf_SmtpAddr = "tessaly@example.jp";
        h.data.subscriptions[0] = {"Docs", "", docs, "*.txt", "0", "a@example.jp", ""};
        h.data.subscriptions[1] = {"Other", "", docs, "*.doc", "0", "", ""};
        SaveSubscriptions(h.data.subscriptions, h.folder.path());
    }

    void openEditor()
    {
        editor = std::make_unique<FormConfig>(context, [](QWidget*, const QString&) { return QString(); });
        editor->show();
        QVERIFY(QTest::qWaitForWindowExposed(editor.get()));
    }
    QPushButton* button(const char* name) const { return editor->findChild<QPushButton*>(name); }
    std::string fileText() const
    {
        std::string bytes;
        ReadWholeFile(h.folder.file("subscription.dat"), &bytes, nullptr);
        return bytes;
    }
    bool shownStartingWith(const std::string& start) const
    {
        return std::any_of(messages.messages.begin(), messages.messages.end(),
                           [&start](const std::string& text) { return text.starts_with(start); });
    }

    MailTransfer& mail;
    WindowsHarness h;
    WatchedBalloon balloon;
    WatchedMessages messages;
    std::set<std::string> told;
    std::unique_ptr<CheckRunner> runner = CheckRunner::InBackground(
        [this](RowMask rows) { return MakeBackgroundCheck(h.data, balloon, messages, h.clock, {&told}, &mail, rows); });
    WindowContext context{h.data, messages, *runner, h.clock};
    std::unique_ptr<FormConfig> editor;
};

/// Counts the paint events of a widget.
class PaintCounter final : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
    int paints = 0;
};

constexpr int kRunTimeoutMs = 30000;

} // namespace

class BackgroundCheckTest final : public QObject {
    Q_OBJECT

private slots:
    void windowsStayResponsiveWhileTheMailServerNeverAnswers();
    void lastChecksComeBackAndEditsMadeMeanwhileStay();
    void endingTheProgramWaitsForTheRunInProgress();
    void anUnsafeDataFolderStopsTheRunsAndIsToldOnce();
};

void BackgroundCheckTest::windowsStayResponsiveWhileTheMailServerNeverAnswers()
{
    SilentServer server;
    ComponentMailTransfer component({MAIL_COMPONENT_DIR});
    RunFixture f(component, server.port());
    f.openEditor();

    bool ended = false;
    QVERIFY(f.runner->run([&ended](bool) { ended = true; }));
    QVERIFY(!f.runner->run()); // one run at a time
    QTRY_COMPARE_WITH_TIMEOUT(server.held(), 1, kRunTimeoutMs);

    // The run waits for the server; the event loop goes on: the editor
    // repaints, a menu opens, a timer fires.
    PaintCounter counter(f.editor.get());
    f.editor->update();
    QTRY_VERIFY(counter.paints > 0);
    QMenu menu;
    menu.addAction(QStringLiteral("開く"));
    menu.popup(f.editor->mapToGlobal(QPoint(10, 10)));
    QTRY_VERIFY(menu.isVisible());
    menu.close();
    bool fired = false;
    QTimer::singleShot(0, [&fired] { fired = true; });
    QTRY_VERIFY(fired);

    // 更新 waits for the run, with the window busy and its buttons off;
    // 購読 queues a second run behind it.
    auto* name = f.editor->findChild<QLineEdit*>(QStringLiteral("Text1_3"));
    name->setText(QStringLiteral("Edited"));
    QTest::mouseClick(f.button("Command2"), Qt::LeftButton);
    QVERIFY(!f.button("Command2")->isEnabled());
    QVERIFY(!f.button("Command4")->isEnabled());
    QCOMPARE(f.editor->cursor().shape(), Qt::BusyCursor);
    f.editor->subscribe();
    QVERIFY(!f.messages.shown("更新しました"));
    QVERIFY(f.fileText().find("Edited") == std::string::npos);
    QVERIFY(f.runner->running());
    QVERIFY(!ended);

    // The server hangs up: the run ends with its message (the mail waits in
    // the outbox), the save goes through, then the second run does.
    server.release();
    QTRY_VERIFY_WITH_TIMEOUT(ended, kRunTimeoutMs);
    QVERIFY(f.shownStartingWith("ﾒｰﾙ送信で失敗しました(1)。"));
    QTRY_COMPARE_WITH_TIMEOUT(f.runner->runs(), 2, kRunTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!f.runner->running(), kRunTimeoutMs);
    QTRY_COMPARE(QString::fromStdString(f.messages.messages.back()), QStringLiteral("終了しました"));
    QVERIFY(f.messages.shown("更新しました"));
    QVERIFY(f.fileText().find("Edited") != std::string::npos);
    QVERIFY(f.button("Command2")->isEnabled());
    QVERIFY(f.button("Command4")->isEnabled());
    QCOMPARE(f.editor->cursor().shape(), Qt::ArrowCursor);
    // The second run found nothing new, and the waiting mail waits out its
    // pause: nothing is mailed twice.
    QCOMPARE(server.connections, 1);
    QCOMPARE(f.messages.offUiThread, 0);
    QCOMPARE(f.balloon.offUiThread, 0);
}

void BackgroundCheckTest::lastChecksComeBackAndEditsMadeMeanwhileStay()
{
    RecordingMailTransfer mail;
    std::thread::id mailThread;
    mail.onSend = [&mailThread](const SendMailExArguments&) { mailThread = std::this_thread::get_id(); };
    RunFixture f(mail);
    // The run's first call clears the balloon; the user edits a row in a
    // window meanwhile, without saving.
    f.balloon.onText = [&f] {
        if (f.h.data.subscriptions[1].Name == "Other")
            f.h.data.subscriptions[1].Name = "Edited";
    };

    bool result = false;
    bool ended = false;
    QVERIFY(f.runner->run([&](bool ok) {
        result = ok;
        ended = true;
    }));
    QTRY_VERIFY_WITH_TIMEOUT(ended, kRunTimeoutMs);
    QVERIFY(result);
    QVERIFY(!f.runner->running());

    const std::string stamp = "2026/12/06 14:05:08"; // the second before the walk began
    QCOMPARE(f.h.data.subscriptions[0].LastCheck, stamp);
    QCOMPARE(f.h.data.subscriptions[1].LastCheck, stamp);
    QCOMPARE(f.h.data.subscriptions[1].Name, std::string("Edited"));
    QVERIFY(f.fileText().find("Other") != std::string::npos);
    QVERIFY(f.fileText().find(stamp) != std::string::npos);
    QCOMPARE(f.balloon.title, std::string(kUpdatedBalloonTitle));
    QCOMPARE(mail.sent.size(), size_t(1));
    QVERIFY(mailThread != std::thread::id());
    QVERIFY(mailThread != std::this_thread::get_id());
    QCOMPARE(f.balloon.offUiThread, 0);
    QCOMPARE(f.messages.offUiThread, 0);
}

void BackgroundCheckTest::endingTheProgramWaitsForTheRunInProgress()
{
    SilentServer server;
    ComponentMailTransfer component({MAIL_COMPONENT_DIR});
    RunFixture f(component, server.port());
    bool ended = false;
    QVERIFY(f.runner->run([&ended](bool) { ended = true; }));
    QTRY_COMPARE_WITH_TIMEOUT(server.held(), 1, kRunTimeoutMs);

    // The end comes while the run waits for the server; the server hangs up
    // a little later. The runner goes only once the run has ended, and the
    // run's message still reached the user.
    QTimer::singleShot(100, &server, [&server] { server.release(); });
    f.runner.reset();
    QVERIFY(ended);
    QVERIFY(f.shownStartingWith("ﾒｰﾙ送信で失敗しました(1)。"));
    std::string history;
    QVERIFY(ReadWholeFile(f.h.folder.file("history.dat"), &history, nullptr));
    QVERIFY(history.find("report.txt") != std::string::npos);
    QCOMPARE(f.messages.offUiThread, 0);
}

void BackgroundCheckTest::anUnsafeDataFolderStopsTheRunsAndIsToldOnce()
{
    RecordingMailTransfer mail;
    RunFixture f(mail);
    // The desktop's runner with its notices, as the program has them.
    std::unique_ptr<RunNotices> notices;
    std::unique_ptr<CheckRunner> runner = CheckRunner::InBackground([&](RowMask rows) {
        return MakeBackgroundCheck(f.h.data, f.balloon, *notices, f.h.clock, {&f.told}, &mail, rows);
    });
    notices = std::make_unique<RunNotices>(*runner);
    bool result = false;
    const auto runOnce = [&] {
        bool ended = false;
        QVERIFY(runner->run([&](bool ok) {
            result = ok;
            ended = true;
        }));
        QTRY_VERIFY_WITH_TIMEOUT(ended, kRunTimeoutMs);
    };

    const std::string folder = f.h.folder.path();
    QCOMPARE(::chmod(folder.c_str(), 0777), 0);
    for (int run = 0; run < 3; ++run) {
        runOnce();
        QVERIFY(!result);
    }
    const std::vector<QMessageBox*> open = notices->openWindows();
    QCOMPARE(open.size(), size_t(1));
    QVERIFY(
        open[0]->text().contains(QString::fromStdString(DataFolderRefusal(DataFolderTrust::WritableByOthers, folder))));
    // Read and closed, it is not told again while the folder stays as it is.
    open[0]->close();
    QTRY_VERIFY(notices->openWindows().empty());
    runOnce();
    QVERIFY(notices->openWindows().empty());
    QVERIFY(mail.sent.empty());
    QVERIFY(!PathExists(f.h.folder.file("history.dat")));

    // Mended, the next run goes through.
    QCOMPARE(::chmod(folder.c_str(), 0700), 0);
    runOnce();
    QVERIFY(result);
    QCOMPARE(mail.sent.size(), size_t(1));
    notices->mute();
}

QTEST_MAIN(BackgroundCheckTest)
#include "BackgroundCheckTest.moc"

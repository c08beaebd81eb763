// SPDX-License-Identifier: MIT
// The balloon feed: another program of the user sets the balloon of the
// running program through a local socket.
#include "IdleFeedClients.h"
#include "support/TempFolder.h"

#include "common/BalloonFeedClient.h"
#include "resident/BalloonFeed.h"

#include <QTest>

#include <atomic>
#include <cstring>
#include <functional>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tessaly;
using namespace tessaly::test;

namespace {

/// Runs `work` on a thread while the event loop serves the feed.
template <typename T>
T WhileServing(std::function<T()> work)
{
    std::atomic<bool> done{false};
    T result{};
    std::thread client([&] {
        result = work();
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done.load(); }, 20000))
        qWarning("the client did not finish while the feed was served");
    client.join();
    return result;
}

/// Sends `bytes` and gives the answer.
std::string RawExchange(const std::string& path, const std::string& bytes)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        [[maybe_unused]] ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        char buffer[256];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            reply.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return reply;
}

/// Runs `body` in a forked child as user and group `user`; its result, or
/// -1 when it could not run or died.
int RunAsUser(uid_t user, const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(user, user, user) != 0 || ::setresuid(user, user, user) != 0)
            ::_exit(250);
        ::_exit(body() & 0xff);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

class BalloonFeedTest final : public QObject {
    Q_OBJECT

private slots:
    void refusesMalformedMessages_data();
    void refusesMalformedMessages();
    void takesOverTheSocketOfAnEndedRunAndKeepsItFromASecondCopy();
    void showRequestIsAnsweredThenHandled();
    void idleClientsNeverKeepABalloonOut();
    void squattedSocketFolderIsRefusedByBothEnds();
};

void BalloonFeedTest::refusesMalformedMessages_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("three parts") << QByteArray("\1a\0b\0c\0", 7) << QByteArray("expected");
    QTest::newRow("not UTF-8") << QByteArray("\1\xfe\xff\0x\0", 6) << QByteArray("the texts are not UTF-8");
    QTest::newRow("no kind") << QByteArray("title\0text\0", 11) << QByteArray("unknown request");
    QTest::newRow("unknown kind") << QByteArray("\7", 1) << QByteArray("unknown request");
    QTest::newRow("show with a text") << QByteArray("\2\0x\0", 4) << QByteArray("a request for the main window");
    // Headless, without a window to show.
    QTest::newRow("show unhandled") << QByteArray("\2\0\0", 3) << QByteArray("the program runs without a desktop");
    QTest::newRow("too long") << QByteArray(int(kBalloonFeedLimit) + 10, 'x') << QByteArray("the texts are too long");
}

void BalloonFeedTest::refusesMalformedMessages()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, reply);
    TempFolder folder;
    int calls = 0;
    BalloonFeed feed(folder.path(), [&](const QString&, const QString&) { ++calls; });
    const std::string path = *BalloonFeedSocketPath(folder.path(), false, nullptr);
    const std::string answer = WhileServing<std::string>([&] { return RawExchange(path, message.toStdString()); });
    QVERIFY2(QByteArray::fromStdString(answer).startsWith(reply), answer.c_str());
    QCOMPARE(calls, 0);
}

void BalloonFeedTest::takesOverTheSocketOfAnEndedRunAndKeepsItFromASecondCopy()
{
    TempFolder folder;
    const std::string path = *BalloonFeedSocketPath(folder.path(), true, nullptr);
    // A program killed by SIGKILL leaves its socket behind, with nobody on it.
    const int left = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    QCOMPARE(::bind(left, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(left);
    QStringList received;
    {
        BalloonFeed feed(folder.path(), [&](const QString& title, const QString& text) { received << title << text; });
        BalloonFeed second(folder.path(), [&](const QString&, const QString&) { received << "second copy"; });
        QVERIFY(feed.listening());
        QVERIFY(!second.listening());
        std::string error;
        QVERIFY2(WhileServing<bool>(
                     [&] { return SendBalloonFeed(folder.path(), "お知らせ", "1行目\r\n2行目\r\n", &error); }),
                 error.c_str());
        QCOMPARE(received, QStringList({"お知らせ", "1行目\r\n2行目\r\n"}));
    }
    // Closed, the feed leaves nothing behind.
    struct stat st {};
    QCOMPARE(::lstat(path.c_str(), &st), -1);
}

void BalloonFeedTest::showRequestIsAnsweredThenHandled()
{
    TempFolder folder;
    int shows = 0;
    BalloonFeed feed(folder.path(), [](const QString&, const QString&) {});
    feed.setShowWindow([&] { ++shows; });
    std::string error;
    QVERIFY2(WhileServing<bool>([&] { return RequestMainWindow(folder.path(), &error); }), error.c_str());
    QTRY_COMPARE(shows, 1);
}

void BalloonFeedTest::idleClientsNeverKeepABalloonOut()
{
    TempFolder folder;
    QStringList received;
    BalloonFeed feed(folder.path(), [&](const QString& title, const QString&) { received << title; });
    // Ten, then more than the feed serves at once: none sends a thing.
    for (size_t count : {size_t(10), kBalloonFeedMaxClients + 10}) {
        IdleFeedClients idle(*BalloonFeedSocketPath(folder.path(), false, nullptr), count);
        QCOMPARE(idle.connected(), count);
        std::string error;
        QVERIFY2(WhileServing<bool>([&] { return SendBalloonFeed(folder.path(), "T", "x", &error); }), error.c_str());
        // Those that made room were dropped before the balloon was answered.
        QVERIFY(idle.hungUp() + kBalloonFeedMaxClients >= count + 1);
        QVERIFY(WhileServing<bool>([&] { return idle.allHungUp(std::chrono::seconds(15)); }));
    }
    QCOMPARE(received, QStringList({"T", "T"}));
}

void BalloonFeedTest::squattedSocketFolderIsRefusedByBothEnds()
{
    if (::geteuid() != 0)
        QSKIP("making another user's folder needs root");
    // The folder is /tmp/tessaly-UID of a user of the test's own, so that
    // no real one is touched.
    const uid_t user = 40000 + static_cast<uid_t>(::getpid() % 20000);
    const std::string base = "/tmp/tessaly-" + std::to_string(user);
    TempFolder data;
    ::chmod(data.path().c_str(), 0711);
    const auto cleanUp = [&] {
        ::unlink(base.c_str());
        ::rmdir(base.c_str());
    };
    cleanUp();
    // Another user's, open to others, or a link: none is used by either end.
    const std::function<void()> squats[] = {
        [&] { ::mkdir(base.c_str(), 0700); },
        [&] {
            ::mkdir(base.c_str(), 0777);
            ::chmod(base.c_str(), 0777);
            ::chown(base.c_str(), user, user);
        },
        [&] { ::symlink(data.path().c_str(), base.c_str()); },
    };
    for (const auto& squat : squats) {
        squat();
        const int status = RunAsUser(user, [&] {
            ::unsetenv("XDG_RUNTIME_DIR");
            std::string clientError, serverError;
            const bool client = BalloonFeedSocketPath(data.path(), false, &clientError).has_value();
            const bool server = BalloonFeedSocketPath(data.path(), true, &serverError).has_value();
            const bool explained =
                clientError.find(base) != std::string::npos && clientError.find("it is not used") != std::string::npos;
            return !client && !server && explained && clientError == serverError ? 0 : 1;
        });
        cleanUp();
        QCOMPARE(status, 0);
    }
}

QTEST_GUILESS_MAIN(BalloonFeedTest)
#include "BalloonFeedTest.moc"

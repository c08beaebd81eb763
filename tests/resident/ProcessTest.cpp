// SPDX-License-Identifier: MIT
// The tessaly executable as a user starts it: headless, falling back to
// headless without a display, ending on SIGTERM and SIGINT, the shipped
// icon, wrong usage.
#include "support/TempFolder.h"

#include "common/BalloonFeedClient.h"
#include "common/FileSystem.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <tuple>
#include <vector>

extern char** environ;

using namespace tessaly;
using namespace tessaly::test;

namespace {

constexpr auto kBound = std::chrono::seconds(30);

/// One run of TESSALY_PATH (or `program`) with its standard output and
/// error captured and `input` as its standard input; `env` entries replace
/// (or, when empty, remove) variables of the test's.
class Tessaly final {
public:
    Tessaly(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {},
            const std::string& program = TESSALY_PATH, const std::string& input = {})
    {
        std::vector<std::string> environment;
        for (char** e = environ; *e; ++e)
            if (const std::string entry = *e; !env.contains(entry.substr(0, entry.find('='))))
                environment.push_back(entry);
        for (const auto& [name, value] : env)
            if (!value.empty())
                environment.push_back(std::string(name).append("=").append(value));
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), args.begin(), args.end());
        int out[2], err[2], in[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        // Signals the test runner may ignore (SIGHUP under nohup) act as usual.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGHUP);
        sigaddset(&defaults, SIGINT);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        if (::posix_spawn(&m_pid, argv[0].c_str(), &actions, &attributes, Pointers(argv).data(),
                          Pointers(environment).data()) != 0)
            m_pid = -1;
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        // Small inputs fit the pipe; the end of input follows at once.
        [[maybe_unused]] const ssize_t written = ::write(in[1], input.data(), input.size());
        ::close(in[1]);
        m_fds[0] = out[0];
        m_fds[1] = err[0];
    }
    ~Tessaly()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::close(m_fds[0]);
        ::close(m_fds[1]);
    }

    /// Waits (bounded) until `text` shows `count` times on standard output
    /// (stream 0) or error (1); false when the program ended first.
    bool waitForCount(int stream, const std::string& text, size_t count)
    {
        const auto end = std::chrono::steady_clock::now() + kBound;
        while (std::chrono::steady_clock::now() < end) {
            if (Count(m_text[stream], text) >= count)
                return true;
            if (!readSome(200) && ended())
                return Count(m_text[stream], text) >= count;
        }
        return false;
    }
    bool waitForError(const std::string& text) { return waitForCount(1, text, 1); }
    static size_t Count(const std::string& text, const std::string& part)
    {
        size_t count = 0;
        for (size_t at = text.find(part); !part.empty() && at != std::string::npos;
             at = text.find(part, at + part.size()))
            ++count;
        return count;
    }
    void signal(int number) { ::kill(m_pid, number); }
    /// Waits (bounded) for the end: the exit status, -1 when it did not end normally.
    int exitStatus()
    {
        const auto end = std::chrono::steady_clock::now() + kBound;
        while (!ended() && std::chrono::steady_clock::now() < end)
            readSome(100);
        while (readSome(0)) {
        }
        return ended() && WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
    }
    const std::string& output() const { return m_text[0]; }
    const std::string& error() const { return m_text[1]; }

private:
    /// True once the program has ended; its status is kept for exitStatus.
    bool ended()
    {
        if (m_pid > 0 && ::waitpid(m_pid, &m_status, WNOHANG) == m_pid)
            m_pid = -1;
        return m_pid <= 0;
    }
    static std::vector<char*> Pointers(std::vector<std::string>& texts)
    {
        std::vector<char*> pointers;
        pointers.reserve(texts.size() + 1);
        for (std::string& text : texts)
            pointers.push_back(text.data());
        pointers.push_back(nullptr);
        return pointers;
    }
    bool readSome(int timeoutMs)
    {
        pollfd fds[2] = {{m_fds[0], POLLIN, 0}, {m_fds[1], POLLIN, 0}};
        if (::poll(fds, 2, timeoutMs) <= 0)
            return false;
        bool any = false;
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            const ssize_t n = (fds[i].revents & (POLLIN | POLLHUP)) ? ::read(fds[i].fd, buffer, sizeof buffer) : 0;
            if (n > 0) {
                m_text[i].append(buffer, static_cast<size_t>(n));
                any = true;
            }
        }
        return any;
    }

    pid_t m_pid = -1;
    int m_status = -1;
    int m_fds[2] = {-1, -1};
    std::string m_text[2];
};

/// Starts headless in `folder`, waits until it runs, then ends it with SIGTERM.
void RunHeadlessOnce(const std::string& folder)
{
    Tessaly tessaly({"--headless", "--dir", folder});
    ASSERT_TRUE(tessaly.waitForError("running headless")) << tessaly.error();
    tessaly.signal(SIGTERM);
    EXPECT_EQ(tessaly.exitStatus(), 0);
}

/// A finished run of tessalyctl.
struct CtlRun {
    int status;
    std::string out;
    std::string err;
};

CtlRun RunCtl(const std::vector<std::string>& args, const std::string& input = {})
{
    Tessaly ctl(args, {}, TESSALYCTL_PATH, input);
    const int status = ctl.exitStatus();
    return {status, ctl.output(), ctl.error()};
}

/// Runs tessalyctl on the data folder `folder`, one command after another.
::testing::AssertionResult CtlSucceeds(const std::string& folder, const std::vector<std::vector<std::string>>& commands)
{
    for (std::vector<std::string> args : commands) {
        args.insert(args.begin(), {"--dir", folder});
        if (const CtlRun run = RunCtl(args); run.status != 0)
            return ::testing::AssertionFailure() << args[2] << " " << args.back() << ": " << run.err;
    }
    return ::testing::AssertionSuccess();
}

/// Waits (bounded) until the program of `folder` takes a balloon feed, as
/// it does once its start-up is through.
bool FeedTaken(const std::string& folder, std::string* error = nullptr)
{
    for (const auto end = std::chrono::steady_clock::now() + kBound; std::chrono::steady_clock::now() < end;
         ::usleep(100 * 1000))
        if (SendBalloonFeed(folder, "お知らせ", "本文", error))
            return true;
    return false;
}

constexpr auto npos = std::string::npos;

/// No display of any kind.
const std::map<std::string, std::string> kNoDisplay{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}};

/// True once nothing is left at the balloon feed's socket of `folder`.
bool FeedSocketGone(const std::string& folder)
{
    struct stat st {};
    return ::lstat(BalloonFeedSocketPath(folder, false, nullptr).value_or("").c_str(), &st) != 0;
}

TEST(TessalyProcess, HeadlessTakesTheBalloonFeedAndEndsCleanlyOnSigtermSigintAndSighup)
{
    // Asked for, or without a display to open (none set, or one that is not there).
    const std::tuple<bool, const char*, int> cases[] = {{true, nullptr, SIGTERM},
                                                        {true, nullptr, SIGINT},
                                                        {true, nullptr, SIGHUP},
                                                        {false, "", SIGTERM},
                                                        {false, ":97", SIGTERM}};
    for (const auto& [asked, display, signal] : cases) {
        SCOPED_TRACE(std::string(asked ? "--headless" : "DISPLAY=") + (display ? display : "") + ", signal " +
                     std::to_string(signal));
        TempFolder folder;
        auto env = kNoDisplay;
        env["DISPLAY"] = display ? display : "";
        Tessaly tessaly(asked ? std::vector<std::string>{"--headless", "--dir", folder.path()}
                              : std::vector<std::string>{"--dir", folder.path()},
                        asked ? std::map<std::string, std::string>{} : env);
        ASSERT_TRUE(tessaly.waitForError("running headless on " + folder.path())) << tessaly.error();
        EXPECT_EQ(tessaly.error().find("no display can be opened") != npos, !asked) << tessaly.error();
        // The same messages as the desktop's feed; there is no window to show.
        std::string error;
        EXPECT_TRUE(SendBalloonFeed(folder.path(), "お知らせ", "本文", &error)) << error;
        EXPECT_TRUE(tessaly.waitForCount(0, "お知らせ\n本文\n", 1)) << tessaly.output();
        EXPECT_FALSE(RequestMainWindow(folder.path(), &error));
        EXPECT_NE(error.find("no window"), npos) << error;
        tessaly.signal(signal);
        EXPECT_EQ(tessaly.exitStatus(), 0) << tessaly.error();
        EXPECT_NE(tessaly.error().find("tessaly: stopped"), npos);
        EXPECT_TRUE(FeedSocketGone(folder.path()));
    }
}

TEST(TessalyProcess, TrayModeTakesTheBalloonFeedShowsItsWindowToASecondStartAndEndsOnSigterm)
{
    TempFolder folder;
    const std::map<std::string, std::string> env{{"QT_QPA_PLATFORM", "offscreen"}, {"TESSALY_TEST_TRACE", "1"}};
    Tessaly tessaly({"--dir", folder.path()}, env);
    std::string error;
    ASSERT_TRUE(FeedTaken(folder.path(), &error)) << error;
    // A second desktop start asks the first to show its window, and ends.
    Tessaly second({"--dir", folder.path()}, env);
    EXPECT_EQ(second.exitStatus(), 0) << second.error();
#ifdef TESSALY_TEST_HOOKS
    EXPECT_TRUE(tessaly.waitForError("tessaly-trace: main window shown")) << tessaly.error();
#endif
    tessaly.signal(SIGTERM);
    EXPECT_EQ(tessaly.exitStatus(), 0) << tessaly.error();
    EXPECT_EQ(tessaly.error().find("running headless"), std::string::npos);
    // Ended, the program no longer answers and leaves no socket behind.
    EXPECT_FALSE(SendBalloonFeed(folder.path(), "t", "x", &error));
    EXPECT_TRUE(FeedSocketGone(folder.path()));
}

TEST(TessalyProcess, NewDataFolderGetsTheShippedIconAndAnOldOneKeepsItsOwn)
{
    TempFolder fresh;
    RunHeadlessOnce(fresh.path());
    const std::string icon = ReadFile(fresh.file("norvikinfo.ico"));
    ASSERT_GE(icon.size(), 6u);
    EXPECT_EQ(icon.substr(0, 4), std::string("\0\0\1\0", 4)); // an icon directory

    TempFolder old;
    WriteFile(old.file("norvikinfo.ico"), "the user's own file");
    RunHeadlessOnce(old.path());
    EXPECT_EQ(ReadFile(old.file("norvikinfo.ico")), "the user's own file");
}

TEST(TessalyProcess, WrongUsageAndUnusableFolder)
{
    Tessaly usage({"--frobnicate"});
    EXPECT_EQ(usage.exitStatus(), 2);
    EXPECT_NE(usage.error().find("usage: tessaly"), std::string::npos);

    Tessaly version({"--version"});
    EXPECT_EQ(version.exitStatus(), 0);
    EXPECT_EQ(version.output(), "Tessaly Ver  1.2.0\n");

    TempFolder folder;
    WriteFile(folder.file("plain"), "a file, not a folder");
    Tessaly unusable({"--headless", "--dir", folder.file("plain") + "/data"});
    EXPECT_EQ(unusable.exitStatus(), 1);
    EXPECT_NE(unusable.error().find("tessaly: "), std::string::npos);
}

// The tests below that shorten the minute or read the trace need a program
// built with the test hooks (scripts/test.sh builds one).
#ifdef TESSALY_TEST_HOOKS
#define REQUIRE_TEST_HOOKS()
#else
#define REQUIRE_TEST_HOOKS() GTEST_SKIP() << "the program was built without TESSALY_TEST_HOOKS"
#endif

TEST(TessalyProcess, HeadlessCheckRunPrintsTheBalloonAndKeepsEditsMadeMeanwhile)
{
    REQUIRE_TEST_HOOKS();
    TempFolder folder;
    TempFolder documents;
    WriteFile(folder.file("subscription.dat"), "Docs,," + documents.path() + ",*.txt,0,,,\r\n");
    WriteFile(documents.file("report.txt"), "news");
    ASSERT_TRUE(CtlSucceeds(folder.path(), {{"settings", "set", "Conf_Interval", ""}}));

    Tessaly tessaly({"--headless", "--dir", folder.path()}, {{"TESSALY_TEST_MINUTE_MS", "200"}});
    ASSERT_TRUE(tessaly.waitForError("no check interval is set")) << tessaly.error();
    // The interval goes in with the companion while the program runs, as a
    // script would set it, and is taken in at once.
    ASSERT_TRUE(CtlSucceeds(folder.path(), {{"settings", "set", "Conf_Interval", "1"}}));
    ASSERT_TRUE(tessaly.waitForError("settings taken in (Conf_Interval 1)")) << tessaly.error();
    EXPECT_TRUE(tessaly.waitForCount(0, "Tessaly! ﾌｧｲﾙが更新されました\nDocs 1ﾌｧｲﾙ\n", 1)) << tessaly.error();
    // A subscription added with the companion while the program runs is
    // checked by its next run and never undone by it.
    TempFolder more;
    WriteFile(more.file("added.txt"), "more news");
    ASSERT_TRUE(CtlSucceeds(folder.path(), {{"subs", "set", "2", "Folder", more.path()},
                                            {"subs", "set", "2", "FileName", "*.txt"},
                                            {"subs", "set", "2", "Name", "Added"}}));
    EXPECT_TRUE(tessaly.waitForCount(0, "\nAdded 1ﾌｧｲﾙ\n", 1)) << tessaly.output() << tessaly.error();
    tessaly.signal(SIGTERM);
    EXPECT_EQ(tessaly.exitStatus(), 0);
    EXPECT_EQ(Tessaly::Count(tessaly.error(), "ﾁｪｯｸを中断しました"), 0u) << tessaly.error(); // no run stopped
    const std::string saved = ReadFile(folder.file("subscription.dat"));
    EXPECT_NE(saved.find("\r\nAdded,," + more.path() + ",*.txt,0,,20"), std::string::npos) << saved;
}

TEST(TessalyProcess, UntrustedDataFoldersAreRefusedByBothPrograms)
{
    TempFolder folder;
    ASSERT_EQ(::chmod(folder.path().c_str(), 0770), 0);
    Tessaly writable({"--headless", "--dir", folder.path()});
    EXPECT_EQ(writable.exitStatus(), 1);
    EXPECT_NE(
        writable.error().find("データフォルダ " + folder.path() + " は他のユーザーが書き込めるため使用できません。"),
        npos)
        << writable.error();
    const CtlRun ctl = RunCtl({"--dir", folder.path(), "settings", "show"});
    EXPECT_EQ(ctl.status, 1);
    EXPECT_NE(ctl.err.find("tessalyctl: the data folder " + folder.path() + " can be written by other users"), npos);
    // Refused before anything was read or written there.
    EXPECT_FALSE(PathExists(folder.file("sysconfig.dat")));
    EXPECT_FALSE(PathExists(folder.file("norvikinfo.ico")));
}

TEST(TessalyProcess, ADataFolderSpoiledWhileRunningStopsItsRunsUntilMended)
{
    REQUIRE_TEST_HOOKS();
    TempFolder folder;
    TempFolder documents;
    WriteFile(folder.file("subscription.dat"), "Docs,," + documents.path() + ",*.txt,0,to@example.com,,\r\n");
    WriteFile(documents.file("first.txt"), "news");
    // Mail on, to a port where nobody answers: each notice waits in the outbox.
    ASSERT_TRUE(CtlSucceeds(folder.path(), {{"settings", "set", "Conf_Interval", "1"},
                                            {"settings", "set", "Conf_Mail", "1"},
                                            {"settings", "set", "Conf_SmtpSrv", "127.0.0.1"},
                                            {"settings", "set", "Conf_SmtpPort", "9"},
                                            {"settings", "set", "Conf_SmtpAddr", "from@example.com"}}));
    Tessaly tessaly({"--headless", "--dir", folder.path()},
                    {{"TESSALY_TEST_MINUTE_MS", "200"}, {"TESSALY_TEST_TRACE", "1"}});
    ASSERT_TRUE(tessaly.waitForCount(0, "\nDocs 1ﾌｧｲﾙ\n", 1)) << tessaly.error();
    ASSERT_TRUE(tessaly.waitForError("1 mail(s) wait in the outbox")) << tessaly.error();
    const std::string history = ReadFile(folder.file("history.dat"));

    // Made writable by others; a folder given away is refused the same way.
    ASSERT_EQ(::chmod(folder.path().c_str(), 0777), 0);
    WriteFile(documents.file("second.txt"), "more news");
    // A run under way may have a save refused; the next ones stop at once.
    const std::string stopped =
        "ﾁｪｯｸを中断しました。 / データフォルダ " + folder.path() + " は他のユーザーが書き込めるため使用できません。";
    ASSERT_TRUE(tessaly.waitForError(stopped)) << tessaly.error();
    // Three more runs stop without a word, recording and mailing nothing.
    const size_t ended = Tessaly::Count(tessaly.error(), "tessaly-trace: check ended");
    ASSERT_TRUE(tessaly.waitForCount(1, "tessaly-trace: check ended", ended + 3)) << tessaly.error();
    EXPECT_EQ(Tessaly::Count(tessaly.error(), stopped), 1u) << tessaly.error();
    EXPECT_EQ(ReadFile(folder.file("history.dat")), history);
    EXPECT_EQ(Tessaly::Count(tessaly.output(), "\nDocs 1ﾌｧｲﾙ\n"), 1u) << tessaly.output();
    EXPECT_EQ(RunCtl({"--dir", folder.path(), "outbox"}).status, 1); // refused while unsafe

    // Mended, the next run takes the new document in and mails it.
    ASSERT_EQ(::chmod(folder.path().c_str(), 0700), 0);
    EXPECT_TRUE(tessaly.waitForCount(0, "\nDocs 1ﾌｧｲﾙ\n", 2)) << tessaly.output() << tessaly.error();
    EXPECT_TRUE(tessaly.waitForError("2 mail(s) wait in the outbox")) << tessaly.error();
    EXPECT_NE(ReadFile(folder.file("history.dat")).find("second.txt"), npos);
    EXPECT_EQ(Tessaly::Count(tessaly.error(), stopped), 1u);
    tessaly.signal(SIGTERM);
    EXPECT_EQ(tessaly.exitStatus(), 0);
}

TEST(TessalyProcess, FifosAndLinksUnderDataFileNamesGiveErrorsAndNeverBlock)
{
    // The reader of each name: the tessalyctl command, whether the program
    // reads it at start-up, and what their error says.
    struct Name {
        const char* name;
        std::vector<std::string> command;
        bool readAtStart;
        std::string error;
    };
    const Name names[] = {{"sysconfig.dat", {"settings", "show"}, true, "sysconfig.dat"},
                          {"subscription.dat", {"subs", "show"}, true, "購読ﾌｧｲﾙ読込みでエラーが発生しました / "},
                          {"history.dat", {"history"}, false, "history.dat"},
                          {"history.hst", {"history", "--json"}, false, "history.hst"}};
    for (const Name& each : names) {
        for (bool fifo : {true, false}) {
            SCOPED_TRACE(std::string(each.name) + (fifo ? " as a FIFO" : " as a link"));
            TempFolder folder;
            TempFolder elsewhere;
            const std::string path = folder.file(each.name);
            WriteFile(elsewhere.file("target"), "read through the link\r\n");
            ASSERT_EQ(fifo ? ::mkfifo(path.c_str(), 0600) : ::symlink(elsewhere.file("target").c_str(), path.c_str()),
                      0);
            // Every run is bounded: a reader that waited would show as status -1.
            std::vector<std::string> args{"--dir", folder.path()};
            args.insert(args.end(), each.command.begin(), each.command.end());
            const CtlRun ctl = RunCtl(args);
            EXPECT_EQ(ctl.status, 1) << ctl.err;
            EXPECT_NE(ctl.err.find(each.error), npos) << ctl.err;
            EXPECT_EQ(ctl.out.find("read through"), npos);
            if (each.readAtStart) {
                Tessaly tessaly({"--headless", "--dir", folder.path()});
                EXPECT_TRUE(tessaly.waitForError("running headless")) << tessaly.error();
                tessaly.signal(SIGTERM);
                EXPECT_EQ(tessaly.exitStatus(), 0);
                EXPECT_NE(tessaly.error().find(each.error), npos) << tessaly.error();
            }
            // The name still holds what was planted: nothing replaced it.
            struct stat st {};
            ASSERT_EQ(::lstat(path.c_str(), &st), 0);
            EXPECT_TRUE(fifo ? S_ISFIFO(st.st_mode) : S_ISLNK(st.st_mode));
            EXPECT_EQ(ReadFile(elsewhere.file("target")), "read through the link\r\n");
        }
    }
}

TEST(TessalyProcess, SettingsSetTakesTheValueFromStandardInput)
{
    TempFolder folder;
    EXPECT_EQ(RunCtl({"--dir", folder.path(), "settings", "set", "Conf_PopPasswd", "-"}, "ひみつ pass\n").status, 0);
    const CtlRun show = RunCtl({"--dir", folder.path(), "settings", "show", "--json"});
    EXPECT_NE(show.out.find("\"Conf_PopPasswd\": \"ひみつ pass\""), npos) << show.out;
}

TEST(TessalyProcess, OneCopyPerDataFolderHeadless)
{
    REQUIRE_TEST_HOOKS();
    TempFolder folder;
    Tessaly first({"--headless", "--dir", folder.path()});
    ASSERT_TRUE(first.waitForError("running headless")) << first.error();
    Tessaly second({"--headless", "--dir", folder.path()});
    EXPECT_EQ(second.exitStatus(), 1);
    EXPECT_NE(second.error().find("データフォルダ " + folder.path() + " では Tessaly がすでに実行中です。"), npos)
        << second.error();
    // A desktop start (at login, while the user service runs) tells so in
    // passing and ends as a success: a message box would hold it until the
    // bound. No notification service answers on a bus that is not there.
    Tessaly desktop({"--dir", folder.path()}, {{"QT_QPA_PLATFORM", "offscreen"},
                                               {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + folder.file("no-bus")}});
    EXPECT_EQ(desktop.exitStatus(), 0) << desktop.error();
    EXPECT_NE(desktop.error().find("tessaly: Tessaly はデータフォルダ " + folder.path() +
                                   " で、デスクトップなしで(サービスとして)すでに実行中です。"),
              npos)
        << desktop.error();
    struct stat st {};
    ASSERT_EQ(::stat(folder.file("tessaly.instance.lock").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    first.signal(SIGTERM);
    EXPECT_EQ(first.exitStatus(), 0);
    // Once the first has ended, the folder is free again.
    RunHeadlessOnce(folder.path());
}

} // namespace

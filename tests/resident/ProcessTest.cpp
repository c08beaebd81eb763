// SPDX-License-Identifier: MIT
// The tessaly executable as a user starts it: headless, falling back to
// headless without a display, ending on SIGTERM and SIGINT, the shipped
// icon, wrong usage.
#include "support/TempFolder.h"

#include "common/BalloonFeedClient.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

extern char** environ;

using namespace tessaly;
using namespace tessaly::test;

namespace {

constexpr auto kBound = std::chrono::seconds(30);

/// One run of TESSALY_PATH with its standard output and error captured;
/// `env` entries replace (or, when empty, remove) variables of the test's.
class Tessaly final {
public:
    Tessaly(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {})
    {
        std::vector<std::string> environment;
        for (char** e = environ; *e; ++e)
            if (const std::string entry = *e; !env.contains(entry.substr(0, entry.find('='))))
                environment.push_back(entry);
        for (const auto& [name, value] : env)
            if (!value.empty())
                environment.push_back(name + "=" + value);
        std::vector<std::string> argv{TESSALY_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        if (::posix_spawn(&m_pid, argv[0].c_str(), &actions, nullptr, Pointers(argv).data(),
                          Pointers(environment).data()) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
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

    /// Waits (bounded) until `output` shows on standard output (1) or
    /// `error` on standard error (2); 0 when neither came before the end.
    int waitForEither(const std::string& output, const std::string& error)
    {
        const auto end = std::chrono::steady_clock::now() + kBound;
        while (std::chrono::steady_clock::now() < end) {
            if (!output.empty() && m_text[0].find(output) != std::string::npos)
                return 1;
            if (!error.empty() && m_text[1].find(error) != std::string::npos)
                return 2;
            if (!readSome(200) && ::waitpid(m_pid, nullptr, WNOHANG) != 0)
                return 0;
        }
        return 0;
    }
    bool waitForError(const std::string& text) { return waitForEither({}, text) == 2; }
    void signal(int number) { ::kill(m_pid, number); }
    /// Waits (bounded) for the end: the exit status, -1 when it did not end normally.
    int exitStatus()
    {
        const auto end = std::chrono::steady_clock::now() + kBound;
        int status = 0;
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end)
                return -1;
            readSome(100);
        }
        while (readSome(0)) {
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    const std::string& output() const { return m_text[0]; }
    const std::string& error() const { return m_text[1]; }

private:
    static std::vector<char*> Pointers(std::vector<std::string>& texts)
    {
        std::vector<char*> pointers;
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

/// No display of any kind.
const std::map<std::string, std::string> kNoDisplay{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}};

TEST(TessalyProcess, HeadlessEndsCleanlyOnSigtermAndSigint)
{
    for (int signal : {SIGTERM, SIGINT}) {
        TempFolder folder;
        Tessaly tessaly({"--headless", "--dir", folder.path()});
        ASSERT_TRUE(tessaly.waitForError("running headless on " + folder.path())) << tessaly.error();
        tessaly.signal(signal);
        EXPECT_EQ(tessaly.exitStatus(), 0) << tessaly.error();
        EXPECT_NE(tessaly.error().find("tessaly: stopped"), std::string::npos);
    }
}

TEST(TessalyProcess, WithoutADisplayRunsHeadless)
{
    for (const char* display : {"", ":97"}) {
        TempFolder folder;
        auto env = kNoDisplay;
        env["DISPLAY"] = display;
        Tessaly tessaly({"--dir", folder.path()}, env);
        ASSERT_TRUE(tessaly.waitForError("running headless")) << display << ": " << tessaly.error();
        EXPECT_NE(tessaly.error().find("no display can be opened"), std::string::npos);
        tessaly.signal(SIGTERM);
        EXPECT_EQ(tessaly.exitStatus(), 0);
    }
}

TEST(TessalyProcess, TrayModeTakesTheBalloonFeedAndEndsCleanlyOnSigterm)
{
    TempFolder folder;
    Tessaly tessaly({"--dir", folder.path()}, {{"QT_QPA_PLATFORM", "offscreen"}});
    // The feed answers once start-up is through.
    std::string error;
    const auto end = std::chrono::steady_clock::now() + kBound;
    bool sent = false;
    while (!(sent = SendBalloonFeed(folder.path(), "お知らせ", "本文", &error)) &&
           std::chrono::steady_clock::now() < end)
        ::usleep(100 * 1000);
    EXPECT_TRUE(sent) << error;
    EXPECT_TRUE(SendBalloonFeed(folder.path(), "お知らせ", "もう一度", &error)) << error;
    tessaly.signal(SIGTERM);
    EXPECT_EQ(tessaly.exitStatus(), 0) << tessaly.error();
    EXPECT_EQ(tessaly.error().find("running headless"), std::string::npos);
    // Ended, the program no longer answers.
    EXPECT_FALSE(SendBalloonFeed(folder.path(), "t", "x", &error));
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
    EXPECT_EQ(version.output(), "Tessaly Ver  1.1.9\n");

    TempFolder folder;
    WriteFile(folder.file("plain"), "a file, not a folder");
    Tessaly unusable({"--headless", "--dir", folder.file("plain") + "/data"});
    EXPECT_EQ(unusable.exitStatus(), 1);
    EXPECT_NE(unusable.error().find("tessaly: "), std::string::npos);
}

TEST(TessalyProcess, HeadlessCheckRunPrintsTheBalloon)
{
    TempFolder folder;
    TempFolder documents;
    WriteFile(folder.file("subscription.dat"), "Docs,," + documents.path() + ",*.txt,0,,,\r\n");
    WriteFile(documents.file("report.txt"), "news");
    // The interval goes in with the companion, as a script would set it.
    const std::string ctl =
        std::string(TESSALYCTL_PATH) + " --dir '" + folder.path() + "' settings set Conf_Interval 1";
    ASSERT_EQ(std::system(ctl.c_str()), 0);

    Tessaly tessaly({"--headless", "--dir", folder.path()}, {{"TESSALY_TEST_MINUTE_MS", "200"}});
    // A run that stops says so on stderr; waiting for that too ends the test early.
    const int seen = tessaly.waitForEither("Tessaly! ﾌｧｲﾙが更新されました\nDocs 1ﾌｧｲﾙ\n", "ﾁｪｯｸを中断しました");
    tessaly.signal(SIGTERM);
    EXPECT_EQ(tessaly.exitStatus(), 0);
    EXPECT_EQ(seen, 1) << tessaly.output() << tessaly.error();
}

} // namespace

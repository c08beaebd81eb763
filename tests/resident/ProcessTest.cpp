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

/// One run of the program with its standard output and error captured.
class Tessaly final {
public:
    /// Starts TESSALY_PATH with `args`; `env` entries replace (or, when
    /// empty, remove) variables of the test's environment.
    Tessaly(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {})
    {
        std::vector<std::string> environment;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (!env.contains(entry.substr(0, entry.find('='))))
                environment.push_back(entry);
        }
        for (const auto& [name, value] : env)
            if (!value.empty())
                environment.push_back(name + "=" + value);
        std::vector<std::string> argv{TESSALY_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        m_pid = Spawn(argv, environment);
    }
    ~Tessaly()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::close(m_out);
        ::close(m_err);
    }

    /// Reads until `text` shows on standard error (or output); false when
    /// the program ended or the bound passed first.
    bool waitForError(const std::string& text) { return waitFor(m_err, m_errText, text); }
    bool waitForOutput(const std::string& text) { return waitFor(m_out, m_outText, text); }
    /// Waits until either text shows on either stream; 1 for the first, 2
    /// for the second, 0 when none came.
    int waitForEither(const std::string& output, const std::string& error);

    void signal(int number) { ::kill(m_pid, number); }
    /// Waits for the end (bounded) and gives the exit status, -1 when it
    /// did not end normally.
    int exitStatus();
    const std::string& error() const { return m_errText; }
    const std::string& output() const { return m_outText; }

private:
    pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment);
    bool readSome(int timeoutMs);
    bool waitFor(int fd, std::string& text, const std::string& wanted);

    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    std::string m_outText;
    std::string m_errText;
};

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

pid_t Tessaly::Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment)
{
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    std::vector<std::string> args = argv, env = environment;
    pid_t pid = -1;
    if (::posix_spawn(&pid, args[0].c_str(), &actions, nullptr, Pointers(args).data(), Pointers(env).data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    m_out = out[0];
    m_err = err[0];
    return pid;
}

bool Tessaly::readSome(int timeoutMs)
{
    pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) <= 0)
        return false;
    bool any = false;
    char buffer[4096];
    for (int i = 0; i < 2; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP)))
            continue;
        const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
            (i == 0 ? m_outText : m_errText).append(buffer, static_cast<size_t>(n));
            any = true;
        }
    }
    return any;
}

bool Tessaly::waitFor(int, std::string& text, const std::string& wanted)
{
    const auto end = std::chrono::steady_clock::now() + kBound;
    while (text.find(wanted) == std::string::npos) {
        if (std::chrono::steady_clock::now() > end || (!readSome(200) && ::waitpid(m_pid, nullptr, WNOHANG) != 0))
            return text.find(wanted) != std::string::npos;
    }
    return true;
}

int Tessaly::waitForEither(const std::string& output, const std::string& error)
{
    const auto end = std::chrono::steady_clock::now() + kBound;
    while (std::chrono::steady_clock::now() < end) {
        if (m_outText.find(output) != std::string::npos)
            return 1;
        if (m_errText.find(error) != std::string::npos)
            return 2;
        readSome(200);
    }
    return 0;
}

int Tessaly::exitStatus()
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
    {
        Tessaly tessaly({"--headless", "--dir", fresh.path()});
        ASSERT_TRUE(tessaly.waitForError("running headless"));
        tessaly.signal(SIGTERM);
        EXPECT_EQ(tessaly.exitStatus(), 0);
    }
    const std::string icon = ReadFile(fresh.file("norvikinfo.ico"));
    ASSERT_GE(icon.size(), 6u);
    EXPECT_EQ(icon.substr(0, 4), std::string("\0\0\1\0", 4)); // an icon directory

    TempFolder old;
    WriteFile(old.file("norvikinfo.ico"), "the user's own file");
    Tessaly tessaly({"--headless", "--dir", old.path()});
    ASSERT_TRUE(tessaly.waitForError("running headless"));
    tessaly.signal(SIGTERM);
    EXPECT_EQ(tessaly.exitStatus(), 0);
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
    const int seen =
        tessaly.waitForEither("Tessaly! ﾌｧｲﾙが更新されました\nDocs 1ﾌｧｲﾙ\n", "this build has no check run");
    tessaly.signal(SIGTERM);
    EXPECT_EQ(tessaly.exitStatus(), 0);
    if (seen == 2)
        GTEST_SKIP() << "this build has no check run yet";
    EXPECT_EQ(seen, 1) << tessaly.output() << tessaly.error();
}

} // namespace

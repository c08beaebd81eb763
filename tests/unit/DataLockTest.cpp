// SPDX-License-Identifier: MIT
// One writer at a time on a data folder: the lock, concurrent tessalyctl
// processes killed at random, and the order in which a check reaches the
// disk.
#include "cli/Ctl.h"
#include "common/DataFolderLock.h"
#include "common/FileSystem.h"
#include "settings/BasicSettings.h"
#include "support/ChildProcess.h"
#include "support/PermissionBits.h"
#include "support/RecordingMessages.h"
#include "support/TempFolder.h"
#include "watch/SubscriptionTable.h"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessaly {
namespace {

int Ctl(const std::string& folder, std::vector<std::string> args, std::string* err = nullptr)
{
    args.insert(args.begin(), {"--dir", folder});
    std::ostringstream out;
    std::ostringstream errors;
    const int status = RunCtl(args, out, errors);
    if (err)
        *err = errors.str();
    return status;
}

/// Starts `args` with standard output going nowhere.
pid_t Spawn(const std::vector<std::string>& args)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int nowhere = ::open("/dev/null", O_WRONLY);
        ::dup2(nowhere, STDOUT_FILENO);
        std::vector<char*> argv;
        argv.reserve(args.size() + 1);
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

TEST(DataFolderLock, OneHolderAtATimeAndTheWaitIsBounded)
{
    test::TempFolder temp;
    std::string error;
    DataFolderLock first = DataFolderLock::Acquire(temp.path(), 0, &error);
    ASSERT_TRUE(first.held()) << error;
    struct stat st {};
    ASSERT_EQ(::stat(temp.file("tessaly.lock").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Another holder, here and in another process, waits and gives up.
    EXPECT_FALSE(DataFolderLock::Acquire(temp.path(), 0.1, &error).held());
    EXPECT_EQ(error, kDataFolderBusy);
    EXPECT_EQ(test::RunInChild([&] { return DataFolderLock::Acquire(temp.path(), 0.1).held() ? 1 : 0; }), 0);
    // A holder that ends without letting go releases it all the same.
    first.release();
    EXPECT_EQ(test::RunInChild([&] {
                  DataFolderLock lock = DataFolderLock::Acquire(temp.path(), 0);
                  ::kill(::getpid(), SIGKILL);
                  return lock.held() ? 0 : 1;
              }),
              -1);
    EXPECT_TRUE(DataFolderLock::Acquire(temp.path(), 1).held());
    // A link in the lock file's place is never followed.
    test::TempFolder other;
    ASSERT_EQ(::unlink(temp.file("tessaly.lock").c_str()), 0);
    ASSERT_EQ(::symlink(other.file("elsewhere").c_str(), temp.file("tessaly.lock").c_str()), 0);
    EXPECT_FALSE(DataFolderLock::Acquire(temp.path(), 0, &error).held());
    EXPECT_FALSE(PathExists(other.file("elsewhere")));
}

TEST(DataFolderLock, ConcurrentWritersKilledAtRandomNeverTearAFile)
{
    test::TempFolder temp;
    const std::string ctl = TESSALYCTL_PATH;
    ASSERT_EQ(Ctl(temp.path(), {"settings", "set", "Conf_SmtpSrv", "start"}), kCtlOk);
    ASSERT_EQ(Ctl(temp.path(), {"subs", "set", "1", "Name", "start"}), kCtlOk);
    std::mt19937 random(12345);
    int failedWithoutKill = 0;
    for (int round = 0; round < 300; ++round) {
        const std::string n = std::to_string(round);
        std::vector<pid_t> writers = {
            Spawn({ctl, "--dir", temp.path(), "settings", "set", "Conf_SmtpSrv", "host" + n}),
            Spawn({ctl, "--dir", temp.path(), "settings", "set", "Conf_SmtpPort", std::to_string(round + 1)}),
            Spawn({ctl, "--dir", temp.path(), "subs", "set", "1", "Name", "name" + n}),
            Spawn({ctl, "--dir", temp.path(), "subs", "set", "2", "Keyword", "kw" + n})};
        const bool kill = round % 2 == 1;
        if (kill) {
            ::usleep(static_cast<useconds_t>(random() % 4000));
            ::kill(writers[random() % writers.size()], SIGKILL);
        }
        for (pid_t writer : writers) {
            int status = 0;
            ASSERT_EQ(::waitpid(writer, &status, 0), writer);
            if (!kill && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
                ++failedWithoutKill;
        }
        BasicSettings settings;
        std::string error;
        ASSERT_TRUE(LoadBasicSettings(settings, temp.path(), &error)) << "round " << round << ": " << error;
        SubscriptionTable table;
        test::RecordingMessages messages;
        SubscriptionLoad outcome;
        LoadSubscriptions(table, temp.path(), messages, &outcome);
        ASSERT_EQ(outcome, SubscriptionLoad::Complete) << "round " << round;
    }
    EXPECT_EQ(failedWithoutKill, 0);
}

TEST(DataFolderLock, TheFirstSettingsFileNeverReplacesAValueSavedBesideIt)
{
    // On 500 new folders, ten at a time, a reader writes the first settings
    // file while a writer saves its value: the value must be there after.
    const std::string ctl = TESSALYCTL_PATH;
    constexpr int kFolders = 10;
    int lost = 0;
    for (int round = 0; round < 500 / kFolders; ++round) {
        std::array<test::TempFolder, kFolders> folders;
        std::vector<pid_t> processes;
        for (int i = 0; i < kFolders; ++i) {
            const std::string& folder = folders[i].path();
            // Sending reads the settings as the program does (settings show
            // writes nothing).
            processes.push_back(Spawn({ctl, "--dir", folder, "outbox", "retry"}));
            processes.push_back(
                Spawn({ctl, "--dir", folder, "settings", "set", "Conf_SmtpSrv", "host" + std::to_string(i)}));
        }
        for (pid_t process : processes) {
            int status = 0;
            ASSERT_EQ(::waitpid(process, &status, 0), process);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round;
        }
        for (int i = 0; i < kFolders; ++i) {
            BasicSettings settings;
            ASSERT_TRUE(LoadBasicSettings(settings, folders[i].path()));
            lost += settings.Conf_SmtpSrv == "host" + std::to_string(i) ? 0 : 1;
        }
    }
    EXPECT_EQ(lost, 0);
}

/// Row 1 watches "docs" in `temp`, which holds one new document.
void WatchOneDocument(const test::TempFolder& temp)
{
    const std::string docs = temp.file("docs");
    ASSERT_EQ(::mkdir(docs.c_str(), 0700), 0);
    test::WriteFile(docs + "/a.doc", "a");
    ASSERT_EQ(Ctl(temp.path(), {"subs", "set", "1", "Folder", docs}), kCtlOk);
    ASSERT_EQ(Ctl(temp.path(), {"subs", "set", "1", "Name", "docs"}), kCtlOk);
}

TEST(CheckUnderLock, AnUnreadableSubscriptionFileStopsTheCheckAndIsKept)
{
    test::TempFolder temp;
    WatchOneDocument(temp);
    const std::string before = test::ReadFile(temp.file("subscription.dat"));
    ASSERT_EQ(::chmod(temp.file("subscription.dat").c_str(), 0), 0);
    std::string err;
    {
        test::PermissionBitsApply permissions;
        if (!permissions.active())
            GTEST_SKIP() << "cannot make permission bits apply";
        EXPECT_EQ(Ctl(temp.path(), {"check"}, &err), kCtlFailed);
    }
    EXPECT_EQ(err, "購読ﾌｧｲﾙ読込みでエラーが発生しました / アクセスが拒否されました\n");
    ::chmod(temp.file("subscription.dat").c_str(), 0600);
    EXPECT_EQ(test::ReadFile(temp.file("subscription.dat")), before);
    EXPECT_FALSE(PathExists(temp.file("history.dat"))); // nothing was walked
}

TEST(CheckUnderLock, TheHistoryReachesTheDiskBeforeTheNewLastCheck)
{
    if (std::system("strace -V >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace is not installed";
    test::TempFolder temp;
    WatchOneDocument(temp);
    const std::string trace = temp.file("trace");
    const std::string command = "strace -f -qq -o '" + trace + "' -e trace=openat,fsync,rename,renameat,renameat2 " +
                                TESSALYCTL_PATH + " --dir '" + temp.path() + "' check >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        GTEST_SKIP() << "strace cannot trace here";
    // Each line: "<pid> <call>(<arguments>) = <result>". Follows which
    // descriptors name history.dat, and where it is synced and the
    // subscription file replaced (relative to the data folder's handle).
    std::ifstream lines(trace);
    std::map<std::string, std::string> openFiles;
    int index = 0;
    int historySynced = -1;
    int tableReplaced = -1;
    for (std::string line; std::getline(lines, line); ++index) {
        const size_t equals = line.rfind("= ");
        if (equals == std::string::npos)
            continue;
        const std::string result = line.substr(equals + 2);
        const size_t quote = line.find('"');
        const std::string path =
            quote == std::string::npos ? std::string() : line.substr(quote + 1, line.find('"', quote + 1) - quote - 1);
        if (line.find(" openat(") != std::string::npos) {
            openFiles[result] = path;
        } else if (size_t call = line.find(" fsync("); call != std::string::npos && result == "0") {
            const std::string fd = line.substr(call + 7, line.find(')', call) - call - 7);
            if (historySynced < 0 && (openFiles[fd] == "history.dat" || openFiles[fd].ends_with("/history.dat")))
                historySynced = index;
        } else if (line.find(" rename") != std::string::npos && result == "0" &&
                   path.find("subscription.dat.tmp-") != std::string::npos) {
            tableReplaced = index;
        }
    }
    ASSERT_GE(historySynced, 0) << test::ReadFile(trace);
    ASSERT_GE(tableReplaced, 0) << test::ReadFile(trace);
    EXPECT_LT(historySynced, tableReplaced);
}

} // namespace
} // namespace tessaly

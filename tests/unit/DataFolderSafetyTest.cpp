// SPDX-License-Identifier: MIT
// What the data folder must be before it is used and at every lock and
// save, what may stand under a data file's name, and values for tessalyctl taken from standard input.
#include "cli/Ctl.h"
#include "common/AtomicFile.h"
#include "common/DataFolder.h"
#include "common/DataFolderLock.h"
#include "common/FileSystem.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
namespace {

TEST(DataFolderTrust, OnlyAPrivateFolderOfTheUserIsTrusted)
{
    test::TempFolder temp;
    const std::string folder = temp.path();
    EXPECT_EQ(CheckDataFolderTrust(folder), DataFolderTrust::Trusted); // mkdtemp: 0700
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    EXPECT_EQ(CheckDataFolderTrust(folder), DataFolderTrust::Trusted); // others may read, not write
    for (mode_t mode : {0770, 0702, 0777}) {
        ASSERT_EQ(::chmod(folder.c_str(), mode), 0);
        EXPECT_EQ(CheckDataFolderTrust(folder), DataFolderTrust::WritableByOthers) << std::oct << mode;
    }
    ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
    test::WriteFile(temp.file("plain"), "x");
    EXPECT_EQ(CheckDataFolderTrust(temp.file("plain")), DataFolderTrust::NotAFolder);
    EXPECT_EQ(CheckDataFolderTrust(temp.file("missing")), DataFolderTrust::NotAFolder);
    // A link in the folder's place is not the folder; a data folder given
    // as a link is resolved to the folder it leads to, once, at start.
    ASSERT_EQ(::symlink(folder.c_str(), temp.file("link").c_str()), 0);
    EXPECT_EQ(CheckDataFolderTrust(temp.file("link")), DataFolderTrust::NotAFolder);
    DataFolderInputs given;
    given.explicitFolder = temp.file("link");
    std::string error;
    EXPECT_EQ(ResolveDataFolder(given, &error), folder) << error;

    EXPECT_EQ(DataFolderRefusal(DataFolderTrust::WritableByOthers, "/d"),
              "データフォルダ /d は他のユーザーが書き込めるため使用できません。");
    EXPECT_EQ(DataFolderRefusal(DataFolderTrust::Trusted, "/d"), "");
    EXPECT_NE(DataFolderRefusalReason(DataFolderTrust::OwnedByAnother, "/d").find("/d belongs to another user"),
              std::string::npos);
}

TEST(DataFolderTrust, AFolderOfAnotherUserIsNotTrusted)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a folder away needs root";
    test::TempFolder temp;
    ASSERT_EQ(::mkdir(temp.file("theirs").c_str(), 0700), 0);
    ASSERT_EQ(::chown(temp.file("theirs").c_str(), 65534, 65534), 0);
    EXPECT_EQ(CheckDataFolderTrust(temp.file("theirs")), DataFolderTrust::OwnedByAnother);
    // Seen from another user, our own folder is the foreign one.
    ASSERT_EQ(::chmod(temp.path().c_str(), 0711), 0);
    EXPECT_EQ(test::RunInChild([&] { return static_cast<int>(CheckDataFolderTrust(temp.path())); }, 0, true),
              static_cast<int>(DataFolderTrust::OwnedByAnother));
    // What another user put there while the folder was open to them keeps
    // it refused once its mode is mended.
    for (const char* name : {"subscription.dat", "outbox"}) {
        test::TempFolder data;
        if (std::string_view(name) == "outbox")
            ASSERT_EQ(::mkdir(data.file(name).c_str(), 0700), 0);
        else
            test::WriteFile(data.file(name), "planted");
        ASSERT_EQ(::chown(data.file(name).c_str(), 65534, 65534), 0);
        EXPECT_EQ(CheckDataFolderTrust(data.path()), DataFolderTrust::HoldsForeignFile) << name;
        std::string error;
        EXPECT_FALSE(DataFolderLock::Acquire(data.path(), 0, &error).held()) << name;
        EXPECT_EQ(error, DataFolderRefusal(DataFolderTrust::HoldsForeignFile, data.path()));
    }
}

/// A way a data folder stops being the user's own while it is in use, and
/// how it is mended.
struct Spoiling {
    const char* what;
    std::function<int(const char*)> spoil;
    std::function<int(const char*)> mend;
    DataFolderTrust found;
};

TEST(DataFolderTrust, EveryLockAndEverySaveChecksTheFolderAgain)
{
    const Spoiling cases[] = {
        {"made writable by all", [](const char* f) { return ::chmod(f, 0777); },
         [](const char* f) { return ::chmod(f, 0700); }, DataFolderTrust::WritableByOthers},
        {"given to another user", [](const char* f) { return ::chown(f, 65534, 65534); },
         [](const char* f) { return ::chown(f, ::geteuid(), ::getegid()); }, DataFolderTrust::OwnedByAnother},
    };
    for (const Spoiling& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.found == DataFolderTrust::OwnedByAnother && ::geteuid() != 0)
            continue; // giving a folder away needs root
        test::TempFolder temp;
        const std::string folder = temp.path();
        ASSERT_EQ(::mkdir(temp.file("outbox").c_str(), 0700), 0);
        std::string error;
        DataFolderLock lock = DataFolderLock::Acquire(folder, 0, &error);
        ASSERT_TRUE(lock.held()) << error;
        ASSERT_EQ(c.spoil(folder.c_str()), 0);
        // Saves under the lock taken before: a whole file, an appended one,
        // one in a folder of its own below. None is written.
        EXPECT_FALSE(WriteFileAtomically(temp.file("subscription.dat"), "planted", &error));
        EXPECT_EQ(error, DataFolderRefusal(c.found, folder));
        EXPECT_LT(OpenDataFileForWriting(temp.file("history.dat"), &error, O_WRONLY | O_APPEND | O_CREAT), 0);
        EXPECT_FALSE(WriteFileAtomically(temp.file("outbox/notice"), "planted", &error));
        for (const char* name : {"subscription.dat", "history.dat", "outbox/notice"})
            EXPECT_FALSE(PathExists(temp.file(name))) << name;
        lock.release();
        // The next lock (each run, each save) is refused with the message of the start.
        lock = DataFolderLock::Acquire(folder, 0, &error);
        EXPECT_FALSE(lock.held());
        EXPECT_EQ(lock.trust(), c.found);
        EXPECT_EQ(error, DataFolderRefusal(c.found, folder));
        // Mended, the folder is used again.
        ASSERT_EQ(c.mend(folder.c_str()), 0);
        lock = DataFolderLock::Acquire(folder, 0, &error);
        ASSERT_TRUE(lock.held()) << error;
        EXPECT_TRUE(WriteFileAtomically(temp.file("subscription.dat"), "mended", &error)) << error;
        EXPECT_EQ(test::ReadFile(temp.file("subscription.dat")), "mended");
    }
}

TEST(DataFolderTrust, SavesUnderALockGoToTheFolderThatWasChecked)
{
    test::TempFolder temp;
    const std::string folder = temp.file("data");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    std::string error;
    DataFolderLock lock = DataFolderLock::Acquire(folder, 0, &error);
    ASSERT_TRUE(lock.held()) << error;
    // The folder moved away and one open to all put under its name: what is
    // saved meanwhile lands in the folder that was checked.
    ASSERT_EQ(::rename(folder.c_str(), temp.file("moved").c_str()), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    EXPECT_TRUE(WriteFileAtomically(JoinPath(folder, "subscription.dat"), "kept", &error)) << error;
    const int fd = OpenDataFileForWriting(JoinPath(folder, "history.dat"), &error, O_WRONLY | O_APPEND | O_CREAT);
    EXPECT_GE(fd, 0) << error;
    ::close(fd);
    EXPECT_EQ(test::ReadFile(temp.file("moved/subscription.dat")), "kept");
    EXPECT_TRUE(PathExists(temp.file("moved/history.dat")));
    EXPECT_FALSE(PathExists(JoinPath(folder, "subscription.dat")));
    EXPECT_FALSE(PathExists(JoinPath(folder, "history.dat")));
    lock.release();
    // A link put in the folder's place is not followed.
    ASSERT_EQ(::rmdir(folder.c_str()), 0);
    ASSERT_EQ(::symlink(temp.file("moved").c_str(), folder.c_str()), 0);
    lock = DataFolderLock::Acquire(folder, 0, &error);
    EXPECT_FALSE(lock.held());
    EXPECT_EQ(lock.trust(), DataFolderTrust::NotAFolder);
}

/// What stands under a data file's name in the tests below.
enum class Planted { Fifo, LinkToFile, LinkToFifo, Folder };

void Plant(const test::TempFolder& temp, const std::string& name, Planted kind)
{
    const std::string path = temp.file(name);
    switch (kind) {
    case Planted::Fifo: ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); break;
    case Planted::LinkToFile:
        test::WriteFile(temp.file("target"), "read through the link");
        ASSERT_EQ(::symlink(temp.file("target").c_str(), path.c_str()), 0);
        break;
    case Planted::LinkToFifo:
        ASSERT_EQ(::mkfifo(temp.file("fifo").c_str(), 0600), 0);
        ASSERT_EQ(::symlink(temp.file("fifo").c_str(), path.c_str()), 0);
        break;
    case Planted::Folder: ASSERT_EQ(::mkdir(path.c_str(), 0700), 0); break;
    }
}

TEST(RegularFileReads, AnythingButARegularFileIsRefusedWithoutWaiting)
{
    for (Planted kind : {Planted::Fifo, Planted::LinkToFile, Planted::LinkToFifo, Planted::Folder}) {
        test::TempFolder temp;
        Plant(temp, "history.hst", kind);
        const std::string path = temp.file("history.hst");
        // A folder passes for no file; anything else is there to be refused.
        EXPECT_EQ(FileHasContent(path), kind != Planted::Folder);
        // In a child that an alarm ends, so that a read that waits fails
        // the test instead of holding it.
        const int status = test::RunInChild([&] {
            ::alarm(10);
            std::string contents = "old";
            std::string error;
            const bool read = ReadWholeFile(path, &contents, &error);
            std::string ignored;
            const bool checked = IsRegularOrMissing(path, &ignored);
            return read || checked || error.empty() || !contents.empty() ? 1 : 0;
        });
        EXPECT_EQ(status, 0) << static_cast<int>(kind);
    }
    test::TempFolder temp;
    std::string contents, error;
    EXPECT_TRUE(IsRegularOrMissing(temp.file("history.hst"), &error));
    test::WriteFile(temp.file("history.hst"), "line\r\n");
    EXPECT_TRUE(IsRegularOrMissing(temp.file("history.hst"), &error));
    ASSERT_TRUE(ReadWholeFile(temp.file("history.hst"), &contents, &error)) << error;
    EXPECT_EQ(contents, "line\r\n");
    // A file past the reader's limit is refused, not read.
    EXPECT_TRUE(ReadWholeFile(temp.file("history.hst"), &contents, &error, 6));
    EXPECT_FALSE(ReadWholeFile(temp.file("history.hst"), &contents, &error, 5));
    EXPECT_TRUE(contents.empty() && !error.empty());
    test::WriteFile(temp.file("empty"), "");
    EXPECT_FALSE(FileHasContent(temp.file("empty")));
}

class CtlInput : public ::testing::Test {
protected:
    int set(const std::string& key, const std::string& input)
    {
        std::istringstream in(input);
        std::ostringstream out;
        err.str({});
        return RunCtl({"--dir", temp.path(), "settings", "set", key, "-"}, out, err, &in);
    }
    std::string shown()
    {
        std::ostringstream out, ignored;
        RunCtl({"--dir", temp.path(), "settings", "show", "--json"}, out, ignored);
        return out.str();
    }

    test::TempFolder temp;
    std::ostringstream err;
};

TEST_F(CtlInput, DashTakesOneLineOfStandardInput)
{
    EXPECT_EQ(set("Conf_PopPasswd", "s3cret pass\nsecond line\n"), kCtlOk) << err.str();
    EXPECT_NE(shown().find("\"Conf_PopPasswd\": \"s3cret pass\""), std::string::npos);
    EXPECT_EQ(set("Conf_zipPasswd", "-\r\n"), kCtlOk); // "-" itself comes through the input
    EXPECT_NE(shown().find("\"Conf_zipPasswd\": \"-\""), std::string::npos);
    EXPECT_EQ(set("Conf_SmtpAuthPasswd", "no line end"), kCtlOk);
    EXPECT_NE(shown().find("\"Conf_SmtpAuthPasswd\": \"no line end\""), std::string::npos);
    EXPECT_EQ(set("Conf_PopPasswd", "\n"), kCtlOk); // an empty line clears
    EXPECT_NE(shown().find("\"Conf_PopPasswd\": \"\""), std::string::npos);
    EXPECT_EQ(set("Conf_Mail", "1\n"), kCtlOk);
    EXPECT_NE(shown().find("\"Conf_Mail\": 1"), std::string::npos);
}

TEST_F(CtlInput, NoInputOrABadValueChangesNothing)
{
    ASSERT_EQ(set("Conf_PopPasswd", "kept\n"), kCtlOk);
    const std::string before = test::ReadFile(temp.file("sysconfig.dat"));
    EXPECT_EQ(set("Conf_PopPasswd", ""), kCtlUsage);
    EXPECT_NE(err.str().find("no value on standard input"), std::string::npos);
    EXPECT_EQ(set("Conf_Mail", "yes\n"), kCtlUsage);
    EXPECT_EQ(test::ReadFile(temp.file("sysconfig.dat")), before);
}

} // namespace
} // namespace tessaly

// SPDX-License-Identifier: MIT
// Whole-file saves under the failures users meet: a file-size limit, a full
// disk, a temporary name that is taken. The previous file must survive.
#include "settings/BasicSettings.h"
#include "support/ChildProcess.h"
#include "support/PermissionBits.h"
#include "support/Printers.h"
#include "support/RecordingMessages.h"
#include "support/TempFolder.h"
#include "watch/SubscriptionTable.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/mount.h>
#include <sys/stat.h>

namespace tessaly {
namespace {

BasicSettings SomeSettings(const std::string& server)
{
    BasicSettings settings;
    settings.Conf_Mail = 1;
    settings.Conf_SmtpSrv = server;
    return settings;
}

SubscriptionTable SomeTable(const std::string& name)
{
    SubscriptionTable table;
    for (Subscription& row : table)
        row = {name, "kw", "/srv/folder", "*.doc", "1", "a@example.jp", "2026/12/06 14:05:09"};
    return table;
}

/// In a child limited to `limit` bytes per file: 0 when both saves fail with a cause.
int SaveBothInChild(const std::string& folder, off_t limit)
{
    return test::RunInChild(
        [&] {
            std::string settingsError, tableError;
            bool settingsSaved = SaveBasicSettings(SomeSettings("new"), folder, &settingsError);
            bool tableSaved = SaveSubscriptions(SomeTable("new"), folder, &tableError);
            return !settingsSaved && !tableSaved && !settingsError.empty() && !tableError.empty() ? 0 : 1;
        },
        limit);
}

void ExpectOldFilesIntact(const std::string& folder)
{
    BasicSettings settings;
    EXPECT_TRUE(LoadBasicSettings(settings, folder));
    EXPECT_EQ(settings, SomeSettings("old"));
    test::RecordingMessages quiet;
    SubscriptionTable table;
    SubscriptionLoad outcome;
    EXPECT_TRUE(LoadSubscriptions(table, folder, quiet, &outcome));
    EXPECT_EQ(outcome, SubscriptionLoad::Complete);
    EXPECT_EQ(table, SomeTable("old"));
    // No temporary file is left behind.
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
}

void SaveOld(const std::string& folder)
{
    std::string error;
    ASSERT_TRUE(SaveBasicSettings(SomeSettings("old"), folder, &error)) << error;
    ASSERT_TRUE(SaveSubscriptions(SomeTable("old"), folder, &error)) << error;
}

TEST(SaveFailure, FileSizeLimitKeepsThePreviousFiles)
{
    test::TempFolder temp;
    SaveOld(temp.path());
    EXPECT_EQ(SaveBothInChild(temp.path(), 400), 0); // less than either file needs
    ExpectOldFilesIntact(temp.path());
}

TEST(SaveFailure, AFolderThatTakesNoNewFileKeepsThePreviousFilesAndOldTemporaryNamesDoNotMatter)
{
    test::TempFolder temp;
    SaveOld(temp.path());
    // Names an interrupted save of an older version left behind are no obstacle.
    ASSERT_EQ(::mkdir(temp.file("sysconfig.dat.tmp").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(temp.file("subscription.dat.tmp").c_str(), 0700), 0);
    std::string error;
    EXPECT_TRUE(SaveBasicSettings(SomeSettings("old"), temp.path(), &error)) << error;
    EXPECT_TRUE(SaveSubscriptions(SomeTable("old"), temp.path(), &error)) << error;
    ::rmdir(temp.file("sysconfig.dat.tmp").c_str());
    ::rmdir(temp.file("subscription.dat.tmp").c_str());

    ASSERT_EQ(::chmod(temp.path().c_str(), 0500), 0);
    {
        test::PermissionBitsApply permissions;
        if (!permissions.active())
            GTEST_SKIP() << "cannot make permission bits apply";
        EXPECT_FALSE(SaveBasicSettings(SomeSettings("new"), temp.path(), &error));
        EXPECT_NE(error.find("sysconfig.dat.tmp-XXXXXX を作成できません"), std::string::npos) << error;
        EXPECT_FALSE(SaveSubscriptions(SomeTable("new"), temp.path(), &error));
    }
    ::chmod(temp.path().c_str(), 0700);
    ExpectOldFilesIntact(temp.path());
}

TEST(SaveFailure, FullDiskKeepsThePreviousFiles)
{
    test::TempFolder temp;
    const std::string mountPoint = temp.file("small");
    ASSERT_EQ(::mkdir(mountPoint.c_str(), 0700), 0);
    if (::mount("tessaly-test", mountPoint.c_str(), "tmpfs", 0, "size=16k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    struct Unmount {
        const std::string& path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{mountPoint};
    SaveOld(mountPoint);
    // Fill the rest of the file system.
    const std::string filler(4096, 'x');
    FILE* file = std::fopen((mountPoint + "/filler").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    while (std::fwrite(filler.data(), 1, filler.size(), file) == filler.size() && std::fflush(file) == 0) {
    }
    std::fclose(file);
    std::string error;
    EXPECT_FALSE(SaveBasicSettings(SomeSettings("new"), mountPoint, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(SaveSubscriptions(SomeTable("new"), mountPoint, &error));
    ExpectOldFilesIntact(mountPoint);
}

} // namespace
} // namespace tessaly

// SPDX-License-Identifier: MIT
// The history list's file work: the merge of history.dat into history.hst,
// the rewrite that keeps the unread rows and the delete of a full clear.
#include "watch/HistoryMerge.h"
#include "common/PathField.h"
#include "support/PermissionBits.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

namespace tessaly {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Two lines in code page 932 ("購読" is \x8d\x77\x93\xc7), one of them with
// an extra comma in its file name and an escaped folder (a comma, CR LF and
// a byte that is no UTF-8).
const std::string kOld = "26\x94N12\x8c\x8e"
                         "05_09:30:00,\x8dw\x93\xc7,/srv/a,x.txt,26\x94N12\x8c\x8e"
                         "05_09:00:00,\r\n";
const std::string kNew = "26\x94N12\x8c\x8e"
                         "06_14:05:09,Docs," +
                         EncodePathField("/srv/b,\r\n\xff") +
                         ",y,z.txt,26\x94N12\x8c\x8e"
                         "06_14:00:00,\r\n";

struct MergeCase {
    const char* name;
    std::string history; ///< "-" for no file
    std::string expected;
};

class MergeHistoryTest : public testing::TestWithParam<MergeCase> {};

TEST_P(MergeHistoryTest, AppendsTheInboxByteForByteAndRemovesIt)
{
    TempFolder temp;
    const MergeCase& c = GetParam();
    if (c.history != "-")
        WriteFile(temp.file("history.hst"), c.history);
    WriteFile(temp.file("history.dat"), kNew);
    std::string error;
    ASSERT_TRUE(MergeHistory(temp.file("history.hst"), temp.file("history.dat"), &error)) << error;
    EXPECT_EQ(ReadFile(temp.file("history.hst")), c.expected);
    EXPECT_FALSE(Exists(temp.file("history.dat")));
    for (const auto& entry : std::filesystem::directory_iterator(temp.path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
}

INSTANTIATE_TEST_SUITE_P(Histories, MergeHistoryTest,
                         testing::Values(MergeCase{"NoHistory", "-", kNew}, MergeCase{"EmptyHistory", "", kNew},
                                         MergeCase{"OlderLines", kOld, kOld + kNew},
                                         // A last line without its line end must not run into the first new one.
                                         MergeCase{"LastLineUnterminated", kOld.substr(0, kOld.size() - 2),
                                                   kOld + kNew}),
                         [](const testing::TestParamInfo<MergeCase>& info) { return std::string(info.param.name); });

TEST(MergeHistory, FailureLeavesBothFilesAsTheyWere)
{
    TempFolder temp;
    WriteFile(temp.file("history.hst"), kOld);
    WriteFile(temp.file("history.dat"), kNew);
    // The new history file cannot be made: the folder takes no new file.
    ASSERT_EQ(::chmod(temp.path().c_str(), 0500), 0);
    std::string error;
    {
        tessaly::test::PermissionBitsApply permissions;
        if (!permissions.active())
            GTEST_SKIP() << "cannot make permission bits apply";
        EXPECT_FALSE(MergeHistory(temp.file("history.hst"), temp.file("history.dat"), &error));
    }
    ::chmod(temp.path().c_str(), 0700);
    EXPECT_NE(error.find("history.hst.tmp-"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(temp.file("history.hst")), kOld);
    EXPECT_EQ(ReadFile(temp.file("history.dat")), kNew);
}

TEST(MergeHistory, UnreadableInboxFailsAndKeepsTheHistory)
{
    TempFolder temp;
    WriteFile(temp.file("history.hst"), kOld);
    ASSERT_EQ(::mkdir(temp.file("history.dat").c_str(), 0700), 0);
    EXPECT_FALSE(MergeHistory(temp.file("history.hst"), temp.file("history.dat")));
    EXPECT_EQ(ReadFile(temp.file("history.hst")), kOld);
}

TEST(RewriteHistory, WritesTheRowsInTheirOrderWithFiveCellsEach)
{
    TempFolder temp;
    WriteFile(temp.file("history.hst"), kOld + kNew);
    const std::vector<HistoryCells> rows{{"b", "Docs", "/srv", "y", "t2"}, {"a", "", "", "", ""}};
    std::string error;
    ASSERT_TRUE(RewriteHistory(temp.file("history.hst"), rows, &error)) << error;
    EXPECT_EQ(ReadFile(temp.file("history.hst")), "b,Docs,/srv,y,t2,\r\na,,,,,\r\n");
}

TEST(RewriteHistory, ManyRowsAreAllWritten)
{
    TempFolder temp;
    const std::vector<HistoryCells> rows(20000, HistoryCells{"26年", "s", "/f", "n", "t"});
    ASSERT_TRUE(RewriteHistory(temp.file("history.hst"), rows));
    EXPECT_EQ(ReadFile(temp.file("history.hst")).size(), rows.size() * std::string("26年,s,/f,n,t,\r\n").size());
}

TEST(RewriteHistory, FailureKeepsTheOldFile)
{
    TempFolder temp;
    WriteFile(temp.file("history.hst"), kOld);
    ASSERT_EQ(::chmod(temp.path().c_str(), 0500), 0);
    const std::vector<HistoryCells> rows{{"a", "b", "c", "d", "e"}};
    std::string error;
    {
        tessaly::test::PermissionBitsApply permissions;
        if (!permissions.active())
            GTEST_SKIP() << "cannot make permission bits apply";
        EXPECT_FALSE(RewriteHistory(temp.file("history.hst"), rows, &error));
    }
    ::chmod(temp.path().c_str(), 0700);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFile(temp.file("history.hst")), kOld);
}

TEST(RemoveHistory, DeletesAndToleratesAMissingFileButReportsOtherFailures)
{
    TempFolder temp;
    WriteFile(temp.file("history.hst"), kOld);
    EXPECT_TRUE(RemoveHistory(temp.file("history.hst")));
    EXPECT_FALSE(Exists(temp.file("history.hst")));
    EXPECT_TRUE(RemoveHistory(temp.file("history.hst")));
    ASSERT_EQ(::mkdir(temp.file("history.hst").c_str(), 0700), 0);
    std::string error;
    EXPECT_FALSE(RemoveHistory(temp.file("history.hst"), &error));
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace tessaly

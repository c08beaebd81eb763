// SPDX-License-Identifier: MIT
#include "watch/SubscriptionTable.h"
#include "common/Cp932.h"
#include "support/ChildProcess.h"
#include "support/Printers.h"
#include "support/RecordingMessages.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
namespace {

const std::string kTooManyLines = "購読設定ﾌｧｲﾙは最大10行です。\r\n以降は切り捨てられます。";
const std::string kTooManyColumns = "購読設定ﾌｧｲﾙは7列です。\r\n以降は切り捨てられます。";

class SubscriptionFile : public ::testing::Test {
protected:
    std::string path() const { return m_temp.file("subscription.dat"); }
    void writeUtf8(const std::string& text) { test::WriteFile(path(), Utf8ToCp932(text)); }
    bool load(SubscriptionLoad* outcome = nullptr)
    {
        return LoadSubscriptions(m_table, m_temp.path(), m_messages, outcome);
    }

    test::TempFolder m_temp;
    SubscriptionTable m_table;
    test::RecordingMessages m_messages;
};

TEST_F(SubscriptionFile, SavesTenLinesOfSevenCommaTerminatedCells)
{
    m_table[0] = {
        "日報", "会議 議事録", "/srv/共有", "*.doc*", "1", "a@example.jp;b@example.jp", "2026/12/06 14:05:09"};
    ASSERT_TRUE(SaveSubscriptions(m_table, m_temp.path()));
    std::string expected = "日報,会議 議事録,/srv/共有,*.doc*,1,a@example.jp;b@example.jp,2026/12/06 14:05:09,\r\n";
    for (int i = 0; i < 9; ++i)
        expected += ",,,,,,,\r\n";
    EXPECT_EQ(test::ReadFile(path()), Utf8ToCp932(expected));
}

TEST_F(SubscriptionFile, ReadsBackEveryCellOfASavedTable)
{
    for (size_t row = 0; row < m_table.size(); ++row) {
        for (int column = 0; column < Subscription::kColumns; ++column)
            m_table[row].cell(column) = row % 3 == 1 ? "" : "ｾﾙ " + std::to_string(row) + "-" + std::to_string(column);
    }
    const SubscriptionTable saved = m_table;
    ASSERT_TRUE(SaveSubscriptions(m_table, m_temp.path()));
    m_table = SubscriptionTable{};
    SubscriptionLoad outcome;
    EXPECT_TRUE(load(&outcome));
    EXPECT_EQ(outcome, SubscriptionLoad::Complete);
    EXPECT_EQ(m_table, saved);
    EXPECT_TRUE(m_messages.messages.empty());
}

TEST_F(SubscriptionFile, AnyFolderComesBackExactlyWhileWindowsFilesStayAsTheyAre)
{
    // A file as a Windows installation writes it is read and written back
    // byte for byte.
    std::string windows = Utf8ToCp932("日報,,C:\\共有\\文書,*.*,1,,2026/12/06 14:05:09,\r\n");
    for (int i = 0; i < 9; ++i)
        windows += ",,,,,,,\r\n";
    test::WriteFile(path(), windows);
    ASSERT_TRUE(load());
    EXPECT_EQ(m_table[0].Folder, "C:\\共有\\文書");
    ASSERT_TRUE(SaveSubscriptions(m_table, m_temp.path()));
    EXPECT_EQ(test::ReadFile(path()), windows);

    const std::string folders[] = {"/home/u/Résumés", "/srv/〜,\r\n\t|", "/data/\xFF\xFE", "|x"};
    for (size_t row = 0; row < std::size(folders); ++row)
        m_table[row].Folder = folders[row];
    const SubscriptionTable saved = m_table;
    ASSERT_TRUE(SaveSubscriptions(m_table, m_temp.path()));
    m_table = SubscriptionTable{};
    SubscriptionLoad outcome;
    ASSERT_TRUE(load(&outcome));
    EXPECT_EQ(outcome, SubscriptionLoad::Complete);
    EXPECT_EQ(m_table, saved);
}

TEST_F(SubscriptionFile, ASaveThatWouldChangeACellWritesNothing)
{
    ASSERT_TRUE(SaveSubscriptions(m_table, m_temp.path()));
    const std::string before = test::ReadFile(path());
    const std::pair<int, std::string> cells[] = {{0, "Café"}, {1, "a,b"}, {3, "*.😀"}, {5, "x@例.한국"}, {6, "\n"}};
    for (const auto& [column, text] : cells) {
        SubscriptionTable table;
        table[4].cell(column) = text;
        std::string error;
        EXPECT_FALSE(SaveSubscriptions(table, m_temp.path(), &error)) << text;
        EXPECT_NE(error.find("購読5"), std::string::npos) << error;
        EXPECT_EQ(test::ReadFile(path()), before);
    }
}

TEST_F(SubscriptionFile, MissingEmptyOrFolderFileLeavesTheTableAlone)
{
    m_table[2].Name = "kept";
    SubscriptionLoad outcome;
    EXPECT_FALSE(load(&outcome));
    EXPECT_EQ(outcome, SubscriptionLoad::NoFile);
    test::WriteFile(path(), "");
    EXPECT_FALSE(load());
    EXPECT_EQ(m_table[2].Name, "kept");
    EXPECT_TRUE(m_messages.messages.empty());
    ASSERT_EQ(::unlink(path().c_str()), 0);
    ASSERT_EQ(::mkdir(path().c_str(), 0700), 0); // a folder counts as no file
    EXPECT_FALSE(load(&outcome));
    EXPECT_EQ(outcome, SubscriptionLoad::NoFile);
}

TEST_F(SubscriptionFile, CellsTheFileDoesNotReachKeepTheirContent)
{
    for (Subscription& row : m_table)
        row = {"old", "old", "old", "old", "old", "old", "old"};
    // Three cells with two commas, an empty line, and a third line.
    writeUtf8("a,b,c\r\n\r\nx,,y,\r\n");
    EXPECT_TRUE(load());
    EXPECT_EQ(m_table[0], (Subscription{"a", "b", "old", "old", "old", "old", "old"}));
    EXPECT_EQ(m_table[1], (Subscription{"old", "old", "old", "old", "old", "old", "old"}));
    EXPECT_EQ(m_table[2], (Subscription{"x", "", "y", "old", "old", "old", "old"}));
    EXPECT_EQ(m_table[3].Name, "old");
    EXPECT_EQ(m_table[9].Name, "old");
}

TEST_F(SubscriptionFile, AnEighthCellIsCutWithOneMessagePerLine)
{
    writeUtf8("1,2,3,4,5,6,7,8,9,\r\na,b,c,d,e,f,g,h,\r\nok,,,,,,,\r\n");
    SubscriptionLoad outcome;
    EXPECT_TRUE(load(&outcome));
    EXPECT_EQ(outcome, SubscriptionLoad::Cut);
    EXPECT_EQ(m_table[0], (Subscription{"1", "2", "3", "4", "5", "6", "7"}));
    EXPECT_EQ(m_table[1].LastCheck, "g");
    EXPECT_EQ(m_table[2].Name, "ok");
    EXPECT_EQ(m_messages.messages, (std::vector<std::string>{kTooManyColumns, kTooManyColumns}));
}

TEST_F(SubscriptionFile, LinesBeyondTheTenthAreCutWithOneMessage)
{
    std::string text;
    for (int i = 1; i <= 12; ++i)
        text += "row" + std::to_string(i) + ",,,,,,,\r\n";
    writeUtf8(text);
    SubscriptionLoad outcome;
    EXPECT_TRUE(load(&outcome));
    EXPECT_EQ(outcome, SubscriptionLoad::Cut);
    EXPECT_EQ(m_table[9].Name, "row10");
    EXPECT_EQ(m_messages.messages, std::vector<std::string>{kTooManyLines});
}

TEST_F(SubscriptionFile, AcceptsEveryLineEnding)
{
    writeUtf8("cr,\rlf,\nlast,");
    EXPECT_TRUE(load());
    EXPECT_EQ(m_table[0].Name, "cr");
    EXPECT_EQ(m_table[1].Name, "lf");
    EXPECT_EQ(m_table[2].Name, "last");
}

TEST_F(SubscriptionFile, AFileThatCannotBeReadIsReportedWithItsCause)
{
    writeUtf8("name,,,,,,,\r\n");
    ASSERT_EQ(::chmod(m_temp.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(path().c_str(), 0), 0);
    // The child is an ordinary user, for whom the permission bits count.
    int result = test::RunInChild(
        [&] {
            SubscriptionLoad outcome;
            bool loaded = load(&outcome);
            const std::string expected = "購読ﾌｧｲﾙ読込みでエラーが発生しました\r\nアクセスが拒否されました";
            return !loaded && outcome == SubscriptionLoad::Failed && m_messages.messages.size() == 1 &&
                           m_messages.messages[0] == expected
                       ? 0
                       : 1;
        },
        0, true);
    EXPECT_EQ(result, 0);
}

} // namespace
} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "watch/HistoryFile.h"
#include "common/Cp932.h"
#include "common/PathParts.h"
#include "support/ChildProcess.h"
#include "support/FixedClock.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace tessaly {
namespace {

AutomationDate At(int y, int mo, int d, int h, int mi, int s)
{
    return ToAutomationDate({y, mo, d, h, mi, s});
}

UpdateRecord Record(std::string name, std::string path, AutomationDate created, AutomationDate written)
{
    return UpdateRecord{std::move(name), std::move(path), created, written};
}

TEST(HistoryLine, HoldsFiveCommaTerminatedFields)
{
    UpdateRecord record = Record("日報", "/srv/共有/plan.doc", At(2026, 12, 1, 8, 0, 0), At(2026, 12, 5, 9, 30, 0));
    EXPECT_EQ(HistoryLine(record, At(2026, 12, 6, 14, 5, 9)),
              Utf8ToCp932("26年12月06_14:05:09,日報,/srv/共有,plan.doc,26年12月05_09:30:00,"));
}

TEST(HistoryLine, FileTimeIsTheLaterOfCreatedAndWritten)
{
    const AutomationDate earlier = At(2026, 1, 1, 0, 0, 0), later = At(2026, 2, 2, 0, 0, 0);
    using Times = std::pair<AutomationDate, AutomationDate>;
    for (auto [created, written] : {Times{later, earlier}, Times{earlier, later}, Times{later, later}})
        EXPECT_EQ(ParseHistoryLine(HistoryLine(Record("s", "/a/b", created, written), later)).fileTime,
                  "26年02月02_00:00:00");
}

TEST(HistoryLine, FileInTheRootHasAnEmptyFolderCell)
{
    EXPECT_EQ(FolderOf("/plan.doc"), "");
    EXPECT_EQ(FileNameOf("/plan.doc"), "plan.doc");
    EXPECT_EQ(FolderOf("/a/b\\c.doc"), "/a");
    EXPECT_EQ(FileNameOf("/a/b\\c.doc"), "b\\c.doc");
    EXPECT_EQ(FileNameOf("plain"), "plain");
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(FolderOf("plain"), std::string(cwd) == "/" ? "" : cwd);
}

TEST(HistoryEntry, SplitsAtEveryComma)
{
    HistoryEntry entry = ParseHistoryLine(Utf8ToCp932("26年12月06_14:05:09,購読,/srv/a,b.doc,26年12月05_09:30:00,"));
    EXPECT_EQ(entry, (HistoryEntry{"26年12月06_14:05:09", "購読", "/srv/a", "b.doc", "26年12月05_09:30:00"}));
    // A comma inside a name of an old line shifts the cells; parts beyond
    // the fifth are dropped.
    EXPECT_EQ(ParseHistoryLine(Utf8ToCp932("t,名前,/a,b,c.doc,time,")),
              (HistoryEntry{"t", "名前", "/a", "b", "c.doc"}));
    // Fewer than five parts leave the missing cells empty.
    EXPECT_EQ(ParseHistoryLine("t,s"), (HistoryEntry{"t", "s", "", "", ""}));
    EXPECT_EQ(ParseHistoryLine(""), HistoryEntry{});
}

class HistoryInbox : public ::testing::Test {
protected:
    std::string path() const { return m_temp.file("history.dat"); }
    test::TempFolder m_temp;
    test::FixedClock m_clock{At(2026, 12, 6, 14, 5, 9)};
};

TEST_F(HistoryInbox, AppendsOneShiftJisLinePerRecordAndKeepsEveryNameExactly)
{
    const AutomationDate t = At(2026, 12, 5, 9, 30, 0);
    ASSERT_TRUE(WriteHistory(m_temp.path(), Record("購読", "/srv/a/x.doc", t, t), m_clock));
    ASSERT_TRUE(WriteHistory(m_temp.path(), Record("購読", "/srv/a/y,z.doc", t, t), m_clock));
    // A name Shift-JIS holds is written as a Windows installation writes it; one
    // with a comma is escaped, so the line keeps its five cells.
    EXPECT_EQ(test::ReadFile(path()),
              Utf8ToCp932("26年12月06_14:05:09,購読,/srv/a,x.doc,26年12月05_09:30:00,\r\n"
                          "26年12月06_14:05:09,購読,/srv/a,|y%2Cz.doc,26年12月05_09:30:00,\r\n"));
    const std::string names[] = {"ü.doc",       "😀.doc",      "〜.txt",        "カ\u3099.doc",
                                 "bad\xFF.doc", "a\r\nb.doc", "tab\there.doc", "?.doc"};
    for (const std::string& name : names)
        ASSERT_TRUE(WriteHistory(m_temp.path(), Record("購読", "/srv/R\xC3\xA9sum\xC3\xA9s/" + name, t, t), m_clock));
    std::vector<std::string> lines;
    std::string error;
    ASSERT_TRUE(ReadHistoryLines(path(), &lines, &error));
    ASSERT_EQ(lines.size(), 2u + std::size(names));
    EXPECT_EQ(ParseHistoryLine(lines[1]).file, "y,z.doc");
    for (size_t i = 0; i < std::size(names); ++i) {
        const HistoryEntry entry = ParseHistoryLine(lines[2 + i]);
        EXPECT_EQ(entry.folder, "/srv/Résumés");
        EXPECT_EQ(entry.file, names[i]);
        EXPECT_EQ(entry.fileTime, "26年12月05_09:30:00");
    }
}

TEST_F(HistoryInbox, AFailedWriteReportsAndLeavesNoHalfLine)
{
    const AutomationDate t = At(2026, 12, 5, 9, 30, 0);
    ASSERT_TRUE(WriteHistory(m_temp.path(), Record("s", "/srv/a.doc", t, t), m_clock));
    const std::string before = test::ReadFile(path());
    // Room for only part of the next line.
    int result = test::RunInChild(
        [&] {
            std::string error;
            bool ok = WriteHistory(m_temp.path(), Record("s", "/srv/b.doc", t, t), m_clock, &error);
            return !ok && error.find("大きすぎます") != std::string::npos ? 0 : 1;
        },
        static_cast<off_t>(before.size() + 10));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(test::ReadFile(path()), before);
}

TEST_F(HistoryInbox, ReadingAMissingFileGivesNoLines)
{
    std::vector<std::string> lines{"stale"};
    std::string error;
    EXPECT_TRUE(ReadHistoryLines(path(), &lines, &error));
    EXPECT_TRUE(lines.empty());
}

} // namespace
} // namespace tessaly

// SPDX-License-Identifier: MIT
// The record of what a row has seen, as a file: read back as written, and
// never trusted when damaged.
#include "support/TempFolder.h"

#include "watch/SeenRecord.h"

#include <gtest/gtest.h>

#include <functional>
#include <unistd.h>

namespace tessaly {
namespace {

using Entries = std::vector<SeenEntry>;

class SeenRecordFile : public ::testing::Test {
protected:
    std::string path() const { return m_temp.file("seen01.dat"); }
    void write()
    {
        SeenRecordWriter writer(path(), 7);
        ASSERT_TRUE(writer.add("/srv/docs", {{1, 10}, {2, 20}}));
        ASSERT_TRUE(writer.add("/srv/docs/sub", {{3, 30}}));
        std::string error;
        ASSERT_TRUE(writer.commit(&error)) << error;
    }
    test::TempFolder m_temp;
};

TEST_F(SeenRecordFile, ReadsBackEveryFolderAndKnowsItsOwnSettings)
{
    write();
    SeenRecord record(path(), 7);
    ASSERT_EQ(record.state(), SeenRecord::State::Ready);
    ASSERT_EQ(record.folders(), 2u);
    const std::optional<size_t> sub = record.find(SeenHash("/srv/docs/sub"));
    ASSERT_TRUE(sub);
    Entries entries;
    std::string folder;
    ASSERT_TRUE(record.entries(*sub, &entries));
    ASSERT_TRUE(record.folderPath(*sub, &folder));
    EXPECT_EQ(entries, (Entries{{3, 30}}));
    EXPECT_EQ(folder, "/srv/docs/sub");
    EXPECT_FALSE(record.find(SeenHash("/srv/other")));
    EXPECT_EQ(SeenRecord(path(), 8).state(), SeenRecord::State::Stale);
    EXPECT_EQ(SeenRecord(m_temp.file("none.dat"), 7).state(), SeenRecord::State::Missing);
}

TEST_F(SeenRecordFile, DamageIsFoundAndNeverReadAsDocuments)
{
    const std::pair<const char*, std::function<void(std::string&)>> damages[] = {
        {"cut", [](std::string& bytes) { bytes.resize(bytes.size() - 1); }},
        {"empty", [](std::string& bytes) { bytes.clear(); }},
        {"trailer", [](std::string& bytes) { bytes[bytes.size() - 40] ^= 1; }},
        {"index", [](std::string& bytes) { bytes[bytes.size() - 64 - 20] ^= 1; }},
        {"longer", [](std::string& bytes) { bytes.insert(0, "x"); }},
    };
    for (const auto& [what, damage] : damages) {
        write();
        std::string bytes = test::ReadFile(path());
        damage(bytes);
        test::WriteFile(path(), bytes);
        SeenRecord record(path(), 7);
        EXPECT_EQ(record.state(), SeenRecord::State::Damaged) << what;
        EXPECT_EQ(record.folders(), 0u) << what;
    }
    // A damaged folder is found when it is read.
    write();
    std::string bytes = test::ReadFile(path());
    bytes[12] ^= 1; // inside the first folder's entries
    test::WriteFile(path(), bytes);
    SeenRecord record(path(), 7);
    ASSERT_EQ(record.state(), SeenRecord::State::Ready);
    Entries entries;
    EXPECT_FALSE(record.entries(*record.find(SeenHash("/srv/docs")), &entries));
    // A link in its place is never followed; the damaged file moves aside.
    ASSERT_EQ(::unlink(path().c_str()), 0);
    ASSERT_EQ(::symlink("/etc/passwd", path().c_str()), 0);
    SeenRecord link(path(), 7);
    EXPECT_EQ(link.state(), SeenRecord::State::Damaged);
    std::string error;
    EXPECT_TRUE(link.setAside(&error)) << error;
    EXPECT_EQ(SeenRecord(path(), 7).state(), SeenRecord::State::Missing);
}

} // namespace
} // namespace tessaly

// SPDX-License-Identifier: MIT
// The scrambled record file, byte for byte.
#include "settings/GsxSeq.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tessaly {
namespace {

/// Row r, position p holds 3 + r * 16 + p % 16: easy to read in a dump.
GsxSeq::KeyTable PlainTable()
{
    GsxSeq::KeyTable table{};
    for (size_t r = 0; r < 8; ++r) {
        for (size_t p = 0; p < 128; ++p)
            table[r][p] = static_cast<uint8_t>(3 + r * 16 + p % 16);
    }
    return table;
}

std::string Header(const GsxSeq::KeyTable& table)
{
    std::string bytes = "GSXVBSEQV1.0\x02";
    for (const auto& row : table)
        bytes.append(reinterpret_cast<const char*>(row.data()), row.size());
    return bytes;
}

std::string Record(int row, std::string_view plainBytes, const GsxSeq::KeyTable& table)
{
    std::string bytes = {0x04, static_cast<char>(row), static_cast<char>(plainBytes.size() / 256),
                         static_cast<char>(plainBytes.size() % 256)};
    return bytes + GsxSeq::ScrambleBytes(plainBytes, row, table);
}

std::string WriteRecords(const std::string& path, const std::vector<std::string>& texts,
                         const GsxSeq::KeyTable* table = nullptr)
{
    GsxSeq seq;
    if (table)
        seq.setKeyTable(*table);
    else
        seq.MakeKeyTable();
    EXPECT_TRUE(seq.CreateSeqFile(path)) << seq.error();
    for (const std::string& text : texts)
        EXPECT_TRUE(seq.PutSeqString(text)) << seq.error();
    EXPECT_TRUE(seq.CloseSeqFile()) << seq.error();
    return test::ReadFile(path);
}

std::vector<std::string> ReadRecords(const std::string& path)
{
    GsxSeq seq;
    EXPECT_EQ(seq.OpenSeqFile(path), GsxSeq::kOpened);
    std::vector<std::string> texts;
    std::string text;
    int status;
    while ((status = seq.GetSeqString(&text)) == GsxSeq::kRecord)
        texts.push_back(text);
    EXPECT_EQ(status, GsxSeq::kEnd) << seq.error();
    return texts;
}

class GsxSeqFile : public ::testing::Test {
protected:
    test::TempFolder m_temp;
    std::string m_path = m_temp.file("records.dat");
};

TEST_F(GsxSeqFile, WritesHeaderKeyTableRecordsAndEndTag)
{
    const GsxSeq::KeyTable table = PlainTable();
    std::string bytes = WriteRecords(m_path, {"A", ""}, &table);
    ASSERT_EQ(bytes.size(), 1037u + 5 + 1 + 1);
    EXPECT_EQ(bytes.substr(0, 1037), Header(table));
    const int row = static_cast<unsigned char>(bytes[1038]);
    ASSERT_LE(row, 7);
    EXPECT_EQ(bytes.substr(1037, 5), Record(row, "A", table));
    EXPECT_EQ(bytes[1041], static_cast<char>('A' ^ table[static_cast<size_t>(row)][0]));
    EXPECT_EQ(bytes[1042], '\x03');
    EXPECT_EQ(bytes[1043], '\x06');
    EXPECT_EQ(ReadRecords(m_path), (std::vector<std::string>{"A", ""}));
    struct stat st {};
    ASSERT_EQ(::stat(m_path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u); // owner read-write only
    EXPECT_EQ(WriteRecords(m_path, {"x"}).size(), 1043u);
}

TEST_F(GsxSeqFile, LongRecordsWrapTheKeyPositionAndCountBytes)
{
    const GsxSeq::KeyTable table = PlainTable();
    std::string text(200, 'k');
    std::string bytes = WriteRecords(m_path, {text, "購読ﾌｧｲﾙ"}, &table);
    EXPECT_EQ(bytes[1039], '\x00');
    EXPECT_EQ(bytes[1040], '\xC8');
    const auto row = static_cast<size_t>(static_cast<unsigned char>(bytes[1038]));
    EXPECT_EQ(static_cast<uint8_t>(bytes[1041 + 128]), 'k' ^ table[row][0]);
    EXPECT_EQ(static_cast<uint8_t>(bytes[1041 + 199]), 'k' ^ table[row][71]);
    // Two full-width characters and four half-width ones: 8 bytes.
    const size_t second = 1041 + 200;
    EXPECT_EQ(bytes[second + 2], '\x00');
    EXPECT_EQ(bytes[second + 3], '\x08');
    EXPECT_EQ(ReadRecords(m_path), (std::vector<std::string>{text, "購読ﾌｧｲﾙ"}));
}

TEST_F(GsxSeqFile, EachFileGetsAFreshKeyTableAndRandomRows)
{
    std::vector<std::string> texts(40, "Conf_SmtpSrv       =mail.example.jp");
    std::string first = WriteRecords(m_path, texts);
    std::string second = WriteRecords(m_temp.file("other.dat"), texts);
    EXPECT_NE(first.substr(13, 1024), second.substr(13, 1024));
    EXPECT_NE(first.substr(1037), second.substr(1037));
    EXPECT_EQ(ReadRecords(m_path), texts);
    EXPECT_EQ(ReadRecords(m_temp.file("other.dat")), texts);
    // Key bytes stay within 3..253.
    for (size_t i = 13; i < 1037; ++i) {
        auto key = static_cast<unsigned char>(first[i]);
        EXPECT_TRUE(key >= 3 && key <= 253) << i;
    }
}

TEST_F(GsxSeqFile, OpenReportsMissingShortAndForeignFiles)
{
    GsxSeq seq;
    EXPECT_EQ(seq.OpenSeqFile(m_temp.file("none.dat")), GsxSeq::kNoFile);
    test::WriteFile(m_path, "GSXVBSEQV1.");
    EXPECT_EQ(seq.OpenSeqFile(m_path), GsxSeq::kBadMagic);
    test::WriteFile(m_path, std::string("gsxvbseqv1.0\x02") + std::string(1024, 'k') + "\x06");
    EXPECT_EQ(seq.OpenSeqFile(m_path), GsxSeq::kBadMagic);
    const GsxSeq::KeyTable before = seq.keyTable();
    test::WriteFile(m_path, std::string("GSXVBSEQV1.0\x01") + std::string(1024, 'k') + "\x06");
    EXPECT_EQ(seq.OpenSeqFile(m_path), GsxSeq::kBadFormat);
    EXPECT_EQ(seq.keyTable(), before);
}

TEST_F(GsxSeqFile, ReadReportsUnknownTagsAndBadRowsAndGoesOn)
{
    const GsxSeq::KeyTable table = PlainTable();
    test::WriteFile(m_path, Header(table) + "\x07" + "\x04\x09" + Record(2, "ok", table) + "\x06");
    GsxSeq seq;
    ASSERT_EQ(seq.OpenSeqFile(m_path), GsxSeq::kOpened);
    EXPECT_EQ(seq.keyTable(), table);
    std::string text = "untouched";
    EXPECT_EQ(seq.GetSeqString(&text), GsxSeq::kUnknownTag);
    EXPECT_EQ(seq.GetSeqString(&text), GsxSeq::kBadRow);
    EXPECT_EQ(text, "untouched");
    EXPECT_EQ(seq.GetSeqString(&text), GsxSeq::kRecord);
    EXPECT_EQ(text, "ok");
    EXPECT_EQ(seq.GetSeqString(&text), GsxSeq::kEnd);
    EXPECT_EQ(text, "ok");
}

TEST_F(GsxSeqFile, DamagedLengthsFailInsteadOfReadingOn)
{
    const GsxSeq::KeyTable table = PlainTable();
    for (std::string record : {std::string("\x04\x01\x00\x00", 4), std::string("\x04\x01\x80\x01x", 5)}) {
        test::WriteFile(m_path, Header(table) + record + "\x06");
        GsxSeq seq;
        ASSERT_EQ(seq.OpenSeqFile(m_path), GsxSeq::kOpened);
        std::string text;
        EXPECT_EQ(seq.GetSeqString(&text), GsxSeq::kFailed);
        EXPECT_FALSE(seq.error().empty());
    }
}

TEST_F(GsxSeqFile, EveryTruncationEndsTheReadCleanly)
{
    std::string whole = WriteRecords(m_path, {"Conf_Mail          =1", "", "購読"});
    for (size_t length = 0; length < whole.size(); ++length) {
        SCOPED_TRACE(length);
        test::WriteFile(m_path, whole.substr(0, length));
        GsxSeq seq;
        int opened = seq.OpenSeqFile(m_path);
        if (length < 12) {
            EXPECT_EQ(opened, GsxSeq::kBadMagic);
            continue;
        }
        if (length < 1037) {
            EXPECT_TRUE(opened == GsxSeq::kBadFormat || opened == GsxSeq::kFailed);
            continue;
        }
        ASSERT_EQ(opened, GsxSeq::kOpened);
        std::string text;
        int status = GsxSeq::kRecord;
        for (int guard = 0; guard < 10 && status == GsxSeq::kRecord; ++guard)
            status = seq.GetSeqString(&text);
        EXPECT_EQ(status, GsxSeq::kFailed);
    }
}

TEST_F(GsxSeqFile, TooLongRecordFailsAndLeavesTheOldFile)
{
    WriteRecords(m_path, {"old"});
    GsxSeq seq;
    seq.MakeKeyTable();
    ASSERT_TRUE(seq.CreateSeqFile(m_path));
    EXPECT_TRUE(seq.PutSeqString(std::string(32767, 'a')));
    std::string fullWidth;
    for (int i = 0; i < 16384; ++i)
        fullWidth += "あ"; // 32768 bytes in the file
    EXPECT_FALSE(seq.PutSeqString(fullWidth));
    EXPECT_FALSE(seq.CloseSeqFile());
    EXPECT_EQ(ReadRecords(m_path), std::vector<std::string>{"old"});
    struct stat st {};
    EXPECT_NE(::stat((m_path + ".tmp").c_str(), &st), 0) << "temporary file left behind";
}

} // namespace
} // namespace tessaly

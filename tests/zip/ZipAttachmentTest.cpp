// SPDX-License-Identifier: MIT
// MakeZipAttachment with the real component: one archive per document in
// the data folder, named after it whatever its name, measured, never a
// stale one passed on, and failures of the document told apart from a
// component that cannot be used.
#include "notify/ZipAttachment.h"
#include "ZipTools.h"
#include "common/PathField.h"
#include "notify/ComponentZipArchiver.h"
#include "notify/CreateZip.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace tessaly {
namespace {

using test::WriteFile;

class ZipAttachmentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(m_temp.file("data"));
        std::filesystem::create_directories(m_temp.file("docs"));
    }

    test::TempFolder m_temp;
    ComponentZipArchiver m_archiver;
    ZipAttachment m_attachment;
    std::string m_error;
};

TEST_F(ZipAttachmentTest, PacksTheDocumentIntoAMeasuredArchiveNamedAfterIt)
{
    const std::string content = test::SomeBytes(40000, 7);
    WriteFile(m_temp.file("docs/見積.ZIP"), content);
    WriteFile(m_temp.file("data/見積.ZIP.zip"), "left from an earlier run");
    ASSERT_TRUE(MakeZipAttachment(m_temp.file("docs/見積.ZIP"), "ABCDEFGHIJ", m_temp.file("data"), m_archiver,
                                  &m_attachment, &m_error))
        << m_error;

    EXPECT_EQ(m_attachment.archivePath, m_temp.file("data/見積.ZIP.zip"));
    EXPECT_EQ(m_attachment.resultText, kZipOk);
    struct stat st {};
    ASSERT_EQ(::stat(m_attachment.archivePath.c_str(), &st), 0);
    EXPECT_EQ(m_attachment.archiveSize, st.st_size);
    std::string output;
    ASSERT_EQ(test::RunTool({"unzip", "-P", "ABCDEFGHIJ", "-d", m_temp.file("out"), m_attachment.archivePath}, &output),
              0)
        << output;
    EXPECT_EQ(test::ReadTree(m_temp.file("out")), (std::map<std::string, std::string>{{"見積.ZIP", content}}));
}

TEST_F(ZipAttachmentTest, DocumentsOfAnyNameOpenWithUnzipAnd7zUnderTheirOwnName)
{
    const std::string names[] = {
        "caf\u00e9.doc",        "wave\u301c.doc", "emoji \U0001F600.doc", "\u30ab\u3099\u30bf\u30ed\u30b0.pdf",
        "bad\xff\xfe byte.doc", "tab\there.doc",  "line\nbreak.doc",      "comma, \"quote\" 100%.doc",
    };
    const std::string sevenZip = test::SevenZipCommand();
    ASSERT_FALSE(sevenZip.empty()) << "7-Zip is missing: scripts/install-deps.sh test-zip";
    int n = 0;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::string content = test::SomeBytes(3000, static_cast<uint32_t>(++n));
        WriteFile(m_temp.file("docs/" + name), content);
        ASSERT_TRUE(MakeZipAttachment(m_temp.file("docs/" + name), "pass word", m_temp.file("data"), m_archiver,
                                      &m_attachment, &m_error, ArchiveNameFor(name)))
            << m_error;
        EXPECT_EQ(m_attachment.archivePath, m_temp.file("data/" + ArchiveNameFor(name)));
        const std::map<std::string, std::string> expected{{name, content}};
        const std::string out = m_temp.file("out" + std::to_string(n));
        std::string output;
        // unzip drops control characters from names unless told otherwise (-^).
        ASSERT_EQ(test::RunTool({"unzip", "-^", "-P", "pass word", "-d", out + "u", m_attachment.archivePath}, &output),
                  0)
            << output;
        EXPECT_EQ(test::ReadTree(out + "u"), expected);
        ASSERT_EQ(
            test::RunTool({sevenZip, "x", "-y", "-ppass word", "-o" + out + "7", m_attachment.archivePath}, &output), 0)
            << output;
        EXPECT_EQ(test::ReadTree(out + "7"), expected);
    }
}

TEST(ArchiveNameFor, AnyDocumentNameGivesAUsableFileName)
{
    const std::string longName = std::string(300, 'a');
    std::string longKana = "x";
    for (int i = 0; i < 90; ++i)
        longKana += "\u30ab";
    const struct {
        std::string name;
        int copy;
        std::string archive;
    } cases[] = {
        {"a.doc", 1, "a.doc.zip"},
        {"a.doc", 2, "a.doc(2).zip"},
        {"a.doc", 12, "a.doc(12).zip"},
        {"a.doc", 0, "a.doc.zip"},
        {"a\tb.doc", 1, "a_b.doc.zip"},
        {"\r\n\x01\x7f.doc", 1, "____.doc.zip"},
        {"caf\u00e9 \u301c\U0001F600\u30ab\u3099.doc", 1, "caf\u00e9 \u301c\U0001F600\u30ab\u3099.doc.zip"},
        {"bad\xff\xc3.doc", 1, "bad__.doc.zip"},
        {"\xed\xa0\x80\xc0\xaf\xf4\x90\x80\x80", 1, "_________.zip"}, // surrogate, overlong, beyond U+10FFFF
        {"a/b", 1, "a_b.zip"},
        {"\"q\" 100%, x", 3, "\"q\" 100%, x(3).zip"},
        {"", 1, "_.zip"},
        {"", 2, "_(2).zip"},
        {longName, 1, std::string(251, 'a') + ".zip"},
        {longName, 10, std::string(247, 'a') + "(10).zip"},
        // 1 + 90 * 3 bytes: cut after 83 characters, never inside one.
        {longKana, 1, longKana.substr(0, 1 + 83 * 3) + ".zip"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ArchiveNameFor(c.name, c.copy), c.archive) << c.name << " (" << c.copy << ")";
        EXPECT_LE(ArchiveNameFor(c.name, c.copy).size(), 255u);
    }
}

/// A component that is always packing for another caller.
class BusyArchiver final : public ZipArchiver {
public:
    bool isInstalled() const override { return true; }
    std::optional<bool> isRunning() override { return true; }
    std::optional<int32_t> zip(std::string_view, std::string*) override { return 0; }
};

TEST_F(ZipAttachmentTest, FailuresTellTheDocumentApartFromTheComponent)
{
    WriteFile(m_temp.file("docs/a.doc"), "new");
    WriteFile(m_temp.file("data/a.doc.zip"), "stale archive");
    ComponentZipArchiver missing({m_temp.file("docs")});
    EXPECT_FALSE(
        MakeZipAttachment(m_temp.file("docs/a.doc"), "pw", m_temp.file("data"), missing, &m_attachment, &m_error));
    EXPECT_TRUE(m_attachment.componentUnavailable);
    EXPECT_EQ(m_error, kZipNotInstalled);
    EXPECT_EQ(m_attachment.resultText, kZipNotInstalled);
    BusyArchiver busy;
    EXPECT_FALSE(
        MakeZipAttachment(m_temp.file("docs/a.doc"), "pw", m_temp.file("data"), busy, &m_attachment, &m_error));
    EXPECT_TRUE(m_attachment.componentUnavailable);
    EXPECT_EQ(m_error, kZipBusy);

    // A link in the watched folder to a file only the user may read.
    WriteFile(m_temp.file("private.key"), "secret");
    ASSERT_EQ(::symlink(m_temp.file("private.key").c_str(), m_temp.file("docs/link.doc").c_str()), 0);
    const struct {
        std::string document, dataFolder, named;
    } documentFaults[] = {
        {m_temp.file("docs/gone\xff.doc"), m_temp.file("data"), m_temp.file("docs/gone\uFFFD.doc")},
        {m_temp.file("docs/link.doc"), m_temp.file("data"), "シンボリックリンクは書庫に入れません"},
        {m_temp.file("docs"), m_temp.file("data"), m_temp.file("docs")},
        {m_temp.file("docs/a.doc"), m_temp.file("no/such/folder"), "no/such/folder"},
    };
    for (const auto& fault : documentFaults) {
        m_attachment.componentUnavailable = true;
        EXPECT_FALSE(MakeZipAttachment(fault.document, "pw", fault.dataFolder, m_archiver, &m_attachment, &m_error))
            << fault.document;
        EXPECT_FALSE(m_attachment.componentUnavailable) << m_error;
        EXPECT_EQ(m_error.rfind("文書を書庫に入れられません: " + ValidUtf8(fault.document), 0), 0u) << m_error;
        EXPECT_NE(m_error.find(fault.named), std::string::npos) << m_error;
        EXPECT_EQ(m_error.find('\r'), std::string::npos) << m_error;
    }
    EXPECT_FALSE(std::filesystem::exists(m_temp.file("data/gone_.doc.zip")));
    EXPECT_FALSE(std::filesystem::exists(m_temp.file("data/link.doc.zip")));
}

TEST_F(ZipAttachmentTest, AnArchiveNameTakenByALinkGetsAFreshPrivateArchive)
{
    WriteFile(m_temp.file("docs/a.doc"), "new");
    WriteFile(m_temp.file("elsewhere"), "not an archive");
    ASSERT_EQ(::symlink(m_temp.file("elsewhere").c_str(), m_temp.file("data/a.doc.zip").c_str()), 0);
    ASSERT_TRUE(
        MakeZipAttachment(m_temp.file("docs/a.doc"), "", m_temp.file("data"), m_archiver, &m_attachment, &m_error))
        << m_error;
    EXPECT_EQ(test::ReadFile(m_temp.file("elsewhere")), "not an archive");
    struct stat st {};
    ASSERT_EQ(::lstat(m_attachment.archivePath.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    std::string output;
    ASSERT_EQ(test::RunTool({"unzip", "-d", m_temp.file("out"), m_attachment.archivePath}, &output), 0) << output;
    EXPECT_EQ(test::ReadTree(m_temp.file("out")), (std::map<std::string, std::string>{{"a.doc", "new"}}));
}

} // namespace
} // namespace tessaly

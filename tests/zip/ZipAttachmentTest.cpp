// SPDX-License-Identifier: MIT
// MakeZipAttachment with the real component: one archive per document in
// the data folder, measured, and never a stale one passed on.
#include "notify/ZipAttachment.h"
#include "ZipTools.h"
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

TEST_F(ZipAttachmentTest, AMissingDocumentFailsWithoutAnArchive)
{
    EXPECT_FALSE(MakeZipAttachment(m_temp.file("docs/gone.doc"), "pw", m_temp.file("data"), m_archiver, &m_attachment,
                                   &m_error));
    EXPECT_NE(m_error.find("gone.doc"), std::string::npos) << m_error;
    EXPECT_FALSE(std::filesystem::exists(m_temp.file("data/gone.doc.zip")));
}

TEST_F(ZipAttachmentTest, AnArchiveLeftFromAnEarlierRunIsNeverPassedOn)
{
    WriteFile(m_temp.file("docs/a.doc"), "new");
    WriteFile(m_temp.file("data/a.doc.zip"), "stale archive");
    ComponentZipArchiver missing({m_temp.file("docs")});
    EXPECT_FALSE(
        MakeZipAttachment(m_temp.file("docs/a.doc"), "pw", m_temp.file("data"), missing, &m_attachment, &m_error));
    EXPECT_EQ(m_error, kZipNotInstalled);
    EXPECT_EQ(m_attachment.resultText, kZipNotInstalled);
}

TEST_F(ZipAttachmentTest, TheArchiveFolderMustBeWritable)
{
    WriteFile(m_temp.file("docs/a.doc"), "doc");
    EXPECT_FALSE(MakeZipAttachment(m_temp.file("docs/a.doc"), "pw", m_temp.file("no/such/folder"), m_archiver,
                                   &m_attachment, &m_error));
    EXPECT_NE(m_error.find("no/such/folder"), std::string::npos) << m_error;
}

} // namespace
} // namespace tessaly

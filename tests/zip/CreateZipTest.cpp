// SPDX-License-Identifier: MIT
// ZipFiles: the command lines it hands to the component, its result texts,
// and what it does to the archive path, with a recording stand-in for the
// component; then the same through the real one.
#include "notify/CreateZip.h"
#include "ZipTools.h"
#include "common/FileSystem.h"
#include "notify/ComponentZipArchiver.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <stdlib.h>

namespace tessaly {
namespace {

using test::WriteFile;

/// Records what ZipFiles asks of the component and answers as told.
class RecordingArchiver final : public ZipArchiver {
public:
    bool installed = true;
    std::optional<bool> running = false;
    std::optional<int32_t> result = 0;
    std::string output;
    std::vector<std::string> commandLines;

    bool isInstalled() const override { return installed; }
    std::optional<bool> isRunning() override { return running; }
    std::optional<int32_t> zip(std::string_view commandLine, std::string* out) override
    {
        commandLines.emplace_back(commandLine);
        *out = output;
        return result;
    }
};

class CreateZip : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("TMPDIR", m_temp.path().c_str(), 1);
        std::filesystem::create_directories(m_temp.file("docs/sub"));
        WriteFile(m_temp.file("report.doc"), "report");
        WriteFile(m_temp.file("memo.txt"), "memo");
        WriteFile(m_temp.file(kOddName), "odd");
    }

    /// Bytes of every kind a Linux file name may hold.
    static constexpr const char* kOddName = "odd \xff\t\n\"x\" 100%,\U0001F600.doc";
    void TearDown() override { ::unsetenv("TMPDIR"); }

    /// "@" in `text` stands for the temporary folder.
    std::string at(std::string text) const
    {
        for (size_t i = text.find('@'); i != std::string::npos; i = text.find('@', i))
            text.replace(i, 1, m_temp.path());
        return text;
    }

    test::TempFolder m_temp;
    RecordingArchiver m_archiver;
};

/// One call of ZipFiles and what it must hand to the component.
struct CommandCase {
    const char* archive;
    std::vector<std::string> inputs; ///< one element: a single path; "LIST" first: a list
    const char* password;
    const char* archivePath; ///< given back
    const char* commandLine;
};

ZipInputs InputsOf(const std::vector<std::string>& given)
{
    if (!given.empty() && given.front() == "LIST")
        return std::vector<std::string>(given.begin() + 1, given.end());
    return given.front();
}

TEST_F(CreateZip, BuildsTheCommandLineForEachKindOfInput)
{
    const CommandCase cases[] = {
        {"@/out.zip", {"@/report.doc"}, "secret", "@/out.zip", "-r -v -j -P secret \"@/out.zip\" \"@/report.doc\""},
        {"  out ", {"@/report.doc"}, "secret", "@/out.zip", "-r -v -j -P secret \"@/out.zip\" \"@/report.doc\""},
        {"@/A.ZIP", {"@/report.doc"}, "", "@/A.ZIP", "-r -v -j \"@/A.ZIP\" \"@/report.doc\""},
        {"@/report.doc",
         {"@/report.doc"},
         "my pass",
         "@/report.doc.zip",
         "-r -v -j -P my pass \"@/report.doc.zip\" \"@/report.doc\""},
        {"@/d", {"@/docs/"}, "pw", "@/d.zip", "-r -v -P pw \"@/d.zip\" \"@/docs\""},
        {"@/d", {" @/docs "}, "", "@/d.zip", "-r -v \"@/d.zip\" \"@/docs\""},
        {"@/l",
         {"LIST", "@/report.doc", "", "  ", " @/memo.txt"},
         "pw",
         "@/l.zip",
         "-r -v -j -P pw \"@/l.zip\" \"@/report.doc\" \"@/memo.txt\""},
        {"@/q", {"@/report.doc"}, "a\"b", "@/q.zip", "-r -v -j -P a\"\"b \"@/q.zip\" \"@/report.doc\""},
        // Any bytes go as they are; only a double quote is written twice.
        {"@/\U0001F600\xfe",
         {"@/odd \xff\t\n\"x\" 100%,\U0001F600.doc"},
         "pw\U0001F600\xfe",
         "@/\U0001F600\xfe.zip",
         "-r -v -j -P pw\U0001F600\xfe \"@/\U0001F600\xfe.zip\" \"@/odd \xff\t\n\"\"x\"\" 100%,\U0001F600.doc\""},
        {"@/l2",
         {"LIST", "@/odd \xff\t\n\"x\" 100%,\U0001F600.doc", "@/memo.txt"},
         "",
         "@/l2.zip",
         "-r -v -j \"@/l2.zip\" \"@/odd \xff\t\n\"\"x\"\" 100%,\U0001F600.doc\" \"@/memo.txt\""},
    };
    for (const CommandCase& c : cases) {
        m_archiver.commandLines.clear();
        std::string archivePath = at(c.archive);
        std::vector<std::string> inputs;
        for (const std::string& input : c.inputs)
            inputs.push_back(at(input));
        EXPECT_EQ(ZipFiles(&archivePath, InputsOf(inputs), c.password, m_archiver), kZipOk) << c.archive;
        EXPECT_EQ(archivePath, at(c.archivePath));
        EXPECT_EQ(m_archiver.commandLines, std::vector<std::string>{at(c.commandLine)});
    }
}

TEST_F(CreateZip, NothingToPackDeletesTheOldArchiveAndGivesNoPath)
{
    const ZipInputs nothing[] = {ZipInputs{}, ZipInputs{std::string("  ")},
                                 ZipInputs{std::vector<std::string>{"", " "}}};
    for (const ZipInputs& inputs : nothing) {
        WriteFile(m_temp.file("old.zip"), "old");
        std::string archivePath = m_temp.file("old.zip");
        EXPECT_EQ(ZipFiles(&archivePath, inputs, "pw", m_archiver), kZipOk);
        EXPECT_EQ(archivePath, "");
        EXPECT_FALSE(std::filesystem::exists(m_temp.file("old.zip")));
    }
    EXPECT_TRUE(m_archiver.commandLines.empty());
}

TEST_F(CreateZip, RefusalsBeforePackingGiveTheirTexts)
{
    WriteFile(m_temp.file("out.zip"), "old");
    std::string archivePath = m_temp.file("out");
    m_archiver.installed = false;
    EXPECT_EQ(ZipFiles(&archivePath, m_temp.file("report.doc"), "pw", m_archiver), kZipNotInstalled);
    EXPECT_EQ(archivePath, m_temp.file("out")) << "left unchanged";
    EXPECT_TRUE(std::filesystem::exists(m_temp.file("out.zip")));

    m_archiver.installed = true;
    const std::vector<std::string> withFolder{m_temp.file("report.doc"), m_temp.file("docs")};
    EXPECT_EQ(ZipFiles(&archivePath, withFolder, "pw", m_archiver), kZipFolderInList);

    const std::string missing = ZipFiles(&archivePath, m_temp.file("missing.doc"), "pw", m_archiver);
    EXPECT_EQ(missing, std::string(kZipBadInput) + "\r2 " + ErrorText(ENOENT) + ": " + m_temp.file("missing.doc"));

    m_archiver.running = true;
    EXPECT_EQ(ZipFiles(&archivePath, m_temp.file("report.doc"), "pw", m_archiver), kZipBusy);
    EXPECT_FALSE(std::filesystem::exists(m_temp.file("out.zip"))) << "deleted before the busy test";
    EXPECT_TRUE(m_archiver.commandLines.empty());
}

TEST_F(CreateZip, ComponentFailuresComeBackAsItsText)
{
    std::string archivePath = m_temp.file("out.zip");
    m_archiver.result = 18;
    m_archiver.output = "入力ファイルを読めません";
    EXPECT_EQ(ZipFiles(&archivePath, m_temp.file("report.doc"), "pw", m_archiver), "入力ファイルを読めません");
    m_archiver.output.clear();
    const std::string silent = ZipFiles(&archivePath, m_temp.file("report.doc"), "pw", m_archiver);
    EXPECT_NE(silent.find("18"), std::string::npos) << silent;
    m_archiver.result = std::nullopt;
    EXPECT_EQ(ZipFiles(&archivePath, m_temp.file("report.doc"), "pw", m_archiver), kZipNotInstalled);
}

TEST_F(CreateZip, AnOldArchiveThatCannotBeDeletedStopsThePacking)
{
    std::filesystem::create_directories(m_temp.file("out.zip/inside"));
    std::string archivePath = m_temp.file("out.zip");
    const std::string result = ZipFiles(&archivePath, m_temp.file("report.doc"), "pw", m_archiver);
    EXPECT_NE(result, kZipOk);
    EXPECT_NE(result.find(m_temp.file("out.zip")), std::string::npos) << result;
    EXPECT_TRUE(m_archiver.commandLines.empty());
}

TEST_F(CreateZip, FoldersForComponentsAndTemporaryFilesEndInASlash)
{
    EXPECT_EQ(GetTempDir(), m_temp.path() + "/");
    ::setenv("TMPDIR", "relative/tmp", 1);
    EXPECT_EQ(GetTempDir(), "/tmp/");
    const std::string system = GetSystemDir();
    EXPECT_EQ(system.front(), '/');
    EXPECT_EQ(system.back(), '/');
}

TEST_F(CreateZip, AMissingOrBrokenComponentIsNotInstalled)
{
    std::filesystem::create_directories(m_temp.file("empty"));
    std::filesystem::create_directories(m_temp.file("broken"));
    WriteFile(m_temp.file("broken/") + ComponentZipArchiver::kFileName, "not a library");
    for (const char* folder : {"empty", "broken"}) {
        ComponentZipArchiver archiver({m_temp.file(folder)});
        std::string archivePath = m_temp.file("out.zip");
        EXPECT_EQ(ZipFiles(&archivePath, m_temp.file("report.doc"), "pw", archiver), kZipNotInstalled) << folder;
        EXPECT_FALSE(std::filesystem::exists(m_temp.file("out.zip")));
    }
}

TEST_F(CreateZip, PasswordsAndNamesWithBlanksAndQuotesReachTheArchiveIntact)
{
    const std::string name = m_temp.file("say \"hi\" .doc");
    WriteFile(name, "quoted");
    ComponentZipArchiver archiver;
    std::string archivePath = m_temp.file("q");
    const std::string password = " two \"words\" ";
    ASSERT_EQ(ZipFiles(&archivePath, name, password, archiver), kZipOk);
    std::string listing;
    ASSERT_EQ(test::RunTool({"unzip", "-o", "-P", password, "-d", m_temp.file("out"), archivePath}, &listing), 0)
        << listing;
    EXPECT_EQ(test::ReadFile(m_temp.file("out/say \"hi\" .doc")), "quoted");
}

} // namespace
} // namespace tessaly

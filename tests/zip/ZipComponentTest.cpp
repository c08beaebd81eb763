// SPDX-License-Identifier: MIT
// The zip component as the program loads it: archives it makes must open
// with the common unzip tools, and every failure must leave nothing behind.
#include "ZipTools.h"
#include "common/FileSystem.h"
#include "notify/ComponentZipArchiver.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
namespace {

using test::ReadFile;
using test::RunTool;
using test::WriteFile;

class ZipComponent : public ::testing::Test {
protected:
    /// Runs the component; gives its result and keeps its message.
    int32_t zip(const std::string& commandLine)
    {
        const std::optional<int32_t> result = m_archiver.zip(commandLine, &m_output);
        EXPECT_TRUE(result.has_value()) << "the component did not load";
        return result.value_or(-1);
    }

    std::string quoted(std::string_view name) const { return " \"" + m_temp.file(name) + "\""; }

    /// Extracts with unzip into a new folder; gives unzip's exit code.
    int unzip(const std::string& archive, const std::string& into, const std::string& password)
    {
        std::vector<std::string> argv{"unzip", "-o", "-d", into};
        if (!password.empty())
            argv.insert(argv.end(), {"-P", password});
        argv.push_back(archive);
        return RunTool(argv, &m_toolOutput);
    }

    int sevenZip(const std::string& archive, const std::string& into, const std::string& password)
    {
        const std::string command = test::SevenZipCommand();
        EXPECT_FALSE(command.empty()) << "7-Zip is missing: scripts/install-deps.sh test-zip";
        return RunTool({command, "x", "-y", "-p" + password, "-o" + into, archive}, &m_toolOutput);
    }

    void makeFolder(std::string_view name) { std::filesystem::create_directories(m_temp.file(name)); }

    test::TempFolder m_temp;
    ComponentZipArchiver m_archiver;
    std::string m_output;
    std::string m_toolOutput;
};

TEST_F(ZipComponent, EncryptedArchiveOpensWithUnzipAnd7zToTheOriginalFiles)
{
    makeFolder("in");
    const std::string japanese = test::SomeBytes(70000, 1);
    const std::string plain = test::SomeBytes(300, 2);
    WriteFile(m_temp.file("in/報告書 第２版.txt"), japanese);
    WriteFile(m_temp.file("in/plain.bin"), plain);
    ASSERT_EQ(zip("-r -v -j -P pass word" + quoted("a.zip") + quoted("in/報告書 第２版.txt") + quoted("in/plain.bin")),
              0)
        << m_output;

    for (const test::ArchiveEntry& entry : test::ReadEntries(m_temp.file("a.zip")))
        EXPECT_TRUE(entry.encrypted()) << entry.name;
    const std::map<std::string, std::string> expected{{"報告書 第２版.txt", japanese}, {"plain.bin", plain}};
    ASSERT_EQ(unzip(m_temp.file("a.zip"), m_temp.file("unzip"), "pass word"), 0) << m_toolOutput;
    EXPECT_EQ(test::ReadTree(m_temp.file("unzip")), expected);
    ASSERT_EQ(sevenZip(m_temp.file("a.zip"), m_temp.file("7z"), "pass word"), 0) << m_toolOutput;
    EXPECT_EQ(test::ReadTree(m_temp.file("7z")), expected);
}

TEST_F(ZipComponent, WrongPasswordOpensNothing)
{
    const std::string content = test::SomeBytes(5000, 3);
    WriteFile(m_temp.file("doc.txt"), content);
    ASSERT_EQ(zip("-r -v -j -P right" + quoted("a.zip") + quoted("doc.txt")), 0) << m_output;

    EXPECT_NE(unzip(m_temp.file("a.zip"), m_temp.file("unzip"), "wrong"), 0);
    EXPECT_FALSE(std::filesystem::exists(m_temp.file("unzip/doc.txt")));
    EXPECT_NE(sevenZip(m_temp.file("a.zip"), m_temp.file("7z"), "wrong"), 0);
    // 7-Zip leaves an empty file behind; what matters is that it is not the document.
    EXPECT_NE(ReadFile(m_temp.file("7z/doc.txt")), content);
}

TEST_F(ZipComponent, WithoutPasswordTheArchiveIsPlainAndNamesAreUtf8)
{
    WriteFile(m_temp.file("議事録.txt"), "minutes");
    ASSERT_EQ(zip("-r -v -j" + quoted("a.zip") + quoted("議事録.txt")), 0) << m_output;

    const std::vector<test::ArchiveEntry> entries = test::ReadEntries(m_temp.file("a.zip"));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "議事録.txt");
    EXPECT_FALSE(entries[0].encrypted());
    EXPECT_TRUE(entries[0].utf8Name());
    ASSERT_EQ(unzip(m_temp.file("a.zip"), m_temp.file("out"), ""), 0) << m_toolOutput;
    EXPECT_EQ(ReadFile(m_temp.file("out/議事録.txt")), "minutes");
}

TEST_F(ZipComponent, JunkPathsStoreBareNamesAndFolderInputsKeepTheirStructure)
{
    makeFolder("docs/sub/深い");
    makeFolder("docs/empty");
    WriteFile(m_temp.file("docs/top.txt"), "top");
    WriteFile(m_temp.file("docs/sub/深い/note.txt"), "deep");
    WriteFile(m_temp.file("docs/sub/other.txt"), "other");

    ASSERT_EQ(zip("-r -v -j -P pw" + quoted("flat.zip") + quoted("docs/sub/深い/note.txt") + quoted("docs/top.txt")), 0)
        << m_output;
    ASSERT_EQ(unzip(m_temp.file("flat.zip"), m_temp.file("flat"), "pw"), 0) << m_toolOutput;
    EXPECT_EQ(test::ReadTree(m_temp.file("flat")),
              (std::map<std::string, std::string>{{"note.txt", "deep"}, {"top.txt", "top"}}));

    ASSERT_EQ(zip("-r -v -P pw" + quoted("tree.zip") + quoted("docs/")), 0) << m_output;
    ASSERT_EQ(unzip(m_temp.file("tree.zip"), m_temp.file("tree"), "pw"), 0) << m_toolOutput;
    EXPECT_EQ(test::ReadTree(m_temp.file("tree")), (std::map<std::string, std::string>{
                                                       {"docs/", ""},
                                                       {"docs/empty/", ""},
                                                       {"docs/sub/", ""},
                                                       {"docs/sub/other.txt", "other"},
                                                       {"docs/sub/深い/", ""},
                                                       {"docs/sub/深い/note.txt", "deep"},
                                                       {"docs/top.txt", "top"},
                                                   }));
}

TEST_F(ZipComponent, FolderContentsWithOddNamesOrSpecialFilesDoNotStopThePacking)
{
    makeFolder("odd");
    WriteFile(m_temp.file("odd/caf\xe9.txt"), "latin-1 name");
    WriteFile(m_temp.file("private.key"), "only the user may read this");
    ASSERT_EQ(::mkfifo(m_temp.file("odd/pipe").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/nonexistent", m_temp.file("odd/dangling").c_str()), 0);
    // Links are left out, whatever they point to.
    ASSERT_EQ(::symlink(m_temp.file("private.key").c_str(), m_temp.file("odd/key-link").c_str()), 0);
    ASSERT_EQ(zip("-r -v" + quoted("a.zip") + quoted("odd")), 0) << m_output;
    ASSERT_EQ(unzip(m_temp.file("a.zip"), m_temp.file("out"), ""), 0) << m_toolOutput;
    EXPECT_EQ(test::ReadTree(m_temp.file("out")),
              (std::map<std::string, std::string>{{"odd/", ""}, {"odd/caf\xe9.txt", "latin-1 name"}}));
}

TEST_F(ZipComponent, EveryNameIsStoredAsItsBytesFlaggedUtf8OnlyWhenItIsUtf8)
{
    // One file per name in a folder packed with its structure, so that each
    // name also reaches the archive through the folder listing.
    const std::vector<std::pair<std::string, bool>> names = {
        {"caf\u00e9.txt", true},         {"wave\u301c.txt", true},
        {"emoji\U0001F600.txt", true},   {"\u30ab\u3099 kana.txt", true},
        {"bad\xff\xfe byte.txt", false}, {"tab\there.txt", false},
        {"line\nbreak.txt", false},      {"comma, \"quote\" 100%.txt", false},
    };
    makeFolder("docs");
    std::map<std::string, std::string> expected{{"docs/", ""}};
    for (size_t i = 0; i < names.size(); ++i) {
        WriteFile(m_temp.file("docs/" + names[i].first), test::SomeBytes(1000 + i, static_cast<uint32_t>(i)));
        expected["docs/" + names[i].first] = test::SomeBytes(1000 + i, static_cast<uint32_t>(i));
    }
    ASSERT_EQ(zip("-r -v -P pw" + quoted("a.zip") + quoted("docs")), 0) << m_output;

    for (const test::ArchiveEntry& entry : test::ReadEntries(m_temp.file("a.zip"))) {
        const auto name =
            std::find_if(names.begin(), names.end(), [&](const auto& n) { return "docs/" + n.first == entry.name; });
        if (entry.name == "docs/")
            continue;
        ASSERT_NE(name, names.end()) << "stored name changed: " << entry.name;
        EXPECT_EQ(entry.utf8Name(), name->second) << entry.name;
    }
    // unzip drops control characters from names unless told otherwise (-^).
    ASSERT_EQ(RunTool({"unzip", "-^", "-P", "pw", "-d", m_temp.file("unzip"), m_temp.file("a.zip")}, &m_toolOutput), 0)
        << m_toolOutput;
    EXPECT_EQ(test::ReadTree(m_temp.file("unzip")), expected);
    ASSERT_EQ(sevenZip(m_temp.file("a.zip"), m_temp.file("7z"), "pw"), 0) << m_toolOutput;
    EXPECT_EQ(test::ReadTree(m_temp.file("7z")), expected);
}

TEST_F(ZipComponent, FlatteningTwoFilesOfTheSameNameIsRefused)
{
    makeFolder("a");
    makeFolder("b");
    WriteFile(m_temp.file("a/same.txt"), "a");
    WriteFile(m_temp.file("b/same.txt"), "b");
    EXPECT_EQ(zip("-r -v -j" + quoted("a.zip") + quoted("a/same.txt") + quoted("b/same.txt")), 18);
    EXPECT_NE(m_output.find("same.txt"), std::string::npos) << m_output;
    EXPECT_FALSE(std::filesystem::exists(m_temp.file("a.zip")));
}

/// A command line the component must refuse, with the code it must give.
struct Refusal {
    const char* commandLine; ///< "@" stands for the temporary folder
    int32_t code;
};

TEST_F(ZipComponent, RefusedCommandLinesCreateNothing)
{
    WriteFile(m_temp.file("doc.txt"), "doc");
    const Refusal refusals[] = {
        {"-r -v -j \"@/a.zip\" \"@/missing.txt\"", 18},
        {"-r -v -j \"@/no/such/folder/a.zip\" \"@/doc.txt\"", 15},
        {"-r -v -j \"@/a.zip\" \"@/doc.txt", 16},
        {"-r -x -j \"@/a.zip\" \"@/doc.txt\"", 16},
        {"-r -v -j \"a.zip\" \"@/doc.txt\"", 16},
        {"-r -v -j -P", 16},
        {"-P one \"@/a.zip\" -P two \"@/doc.txt\"", 16},
        {"-r -v -j \"@/a.zip\"x \"@/doc.txt\"", 16},
        {"-r -v -j \"@/a.zip\"\"@/doc.txt\"", 12},
        {"-r -v -j \"@/a.zip\"", 12},
        {"", 16},
    };
    for (const Refusal& refusal : refusals) {
        std::string line = refusal.commandLine;
        for (size_t at = line.find('@'); at != std::string::npos; at = line.find('@', at))
            line.replace(at, 1, m_temp.path());
        EXPECT_EQ(zip(line), refusal.code) << line;
        EXPECT_FALSE(m_output.empty()) << line;
        EXPECT_EQ(test::ReadTree(m_temp.path()), (std::map<std::string, std::string>{{"doc.txt", "doc"}})) << line;
    }
}

TEST_F(ZipComponent, AnExistingFileAtTheArchivePathIsNeverReplaced)
{
    WriteFile(m_temp.file("doc.txt"), "doc");
    WriteFile(m_temp.file("a.zip"), "not mine");
    EXPECT_EQ(zip("-r -v -j" + quoted("a.zip") + quoted("doc.txt")), 15);
    EXPECT_EQ(ReadFile(m_temp.file("a.zip")), "not mine");
    // Nor is a file created where a link at the archive path points.
    ASSERT_EQ(::symlink(m_temp.file("elsewhere.zip").c_str(), m_temp.file("b.zip").c_str()), 0);
    EXPECT_EQ(zip("-r -v -j" + quoted("b.zip") + quoted("doc.txt")), 15);
    EXPECT_FALSE(std::filesystem::exists(m_temp.file("elsewhere.zip")));

    ASSERT_EQ(zip("-r -v -j" + quoted("c.zip") + quoted("doc.txt")), 0) << m_output;
    struct stat st {};
    ASSERT_EQ(::lstat(m_temp.file("c.zip").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(ZipComponent, ALinkGivenAsAnInputIsRefusedWhateverItPointsTo)
{
    makeFolder("folder");
    WriteFile(m_temp.file("folder/inside.txt"), "inside");
    WriteFile(m_temp.file("private.key"), "only the user may read this");
    ASSERT_EQ(::symlink(m_temp.file("private.key").c_str(), m_temp.file("report.doc").c_str()), 0);
    ASSERT_EQ(::symlink(m_temp.file("folder").c_str(), m_temp.file("folder-link").c_str()), 0);
    for (const char* link : {"report.doc", "folder-link"}) {
        for (const char* options : {"-r -v -j", "-r -v"}) {
            EXPECT_EQ(zip(std::string(options) + quoted("a.zip") + quoted(link)), 18) << link << " " << options;
            EXPECT_EQ(m_output, "シンボリックリンクは書庫に入れません: " + m_temp.file(link));
            EXPECT_FALSE(std::filesystem::exists(m_temp.file("a.zip")));
        }
    }
}

TEST_F(ZipComponent, AFolderThatCannotBeWrittenGivesAMessageAndNoArchive)
{
    makeFolder("locked");
    WriteFile(m_temp.file("doc.txt"), "doc");
    ::chmod(m_temp.path().c_str(), 0755);
    ::chmod(m_temp.file("doc.txt").c_str(), 0644);
    ::chmod(m_temp.file("locked").c_str(), 0555);
    const std::string line = "-r -v -j" + quoted("locked/a.zip") + quoted("doc.txt");
    // As an ordinary user: permission bits do not stop root. The component is
    // loaded first, so that the user need not be able to read the build.
    ASSERT_TRUE(m_archiver.isRunning().has_value());
    const int code = test::RunInChild(
        [&] {
            std::string output;
            const std::optional<int32_t> result = m_archiver.zip(line, &output);
            return result == 15 && output.find("locked/a.zip") != std::string::npos ? 0 : 1;
        },
        0, true);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(std::filesystem::exists(m_temp.file("locked/a.zip")));
}

TEST_F(ZipComponent, AFullDiskLeavesNoHalfArchive)
{
    WriteFile(m_temp.file("big.bin"), test::SomeBytes(2 << 20, 4));
    const std::string line = "-r -v -j -P pw" + quoted("a.zip") + quoted("big.bin");
    const int code = test::RunInChild(
        [&] {
            std::string output;
            const std::optional<int32_t> result = m_archiver.zip(line, &output);
            return result == 14 && output.find(ErrorText(EFBIG)) != std::string::npos ? 0 : 1;
        },
        256 << 10);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(std::filesystem::exists(m_temp.file("a.zip")));
}

/// Calls the exported Zip with a buffer of `size` bytes inside a larger one
/// and checks that nothing past `size` was touched.
std::string CallWithBuffer(const std::string& line, int32_t size)
{
    ComponentLibrary library(ComponentZipArchiver::kFileName);
    auto* zip = reinterpret_cast<int32_t (*)(intptr_t, const char*, char*, int32_t)>(library.symbol("Zip"));
    EXPECT_NE(zip, nullptr) << library.error();
    if (!zip)
        return "";
    std::string buffer(static_cast<size_t>(size) + 64, '#');
    EXPECT_NE(zip(0, line.c_str(), buffer.data(), size), 0);
    EXPECT_EQ(buffer.substr(static_cast<size_t>(size)), std::string(64, '#'));
    const size_t end = buffer.find('\0');
    EXPECT_LT(end, static_cast<size_t>(size));
    return buffer.substr(0, end);
}

TEST(ZipComponentOutput, MessagesAreUtf8CutToTheBufferAtACharacterBoundary)
{
    const std::string line = "-j \"/nonexistent/a.zip\" \"/nonexistent/\xff\u5165\u529b.txt\"";
    EXPECT_EQ(CallWithBuffer(line, 1), "");
    const std::string whole = CallWithBuffer(line, 1024);
    // A byte of a path that is not UTF-8 is shown as U+FFFD.
    EXPECT_NE(whole.find("/nonexistent/\uFFFD\u5165\u529b.txt"), std::string::npos) << whole;
    // The message begins with three-byte characters: a cut inside one drops
    // the whole character.
    EXPECT_EQ(CallWithBuffer(line, 4), whole.substr(0, 3));
    EXPECT_EQ(CallWithBuffer(line, 6), whole.substr(0, 3));
    EXPECT_EQ(CallWithBuffer(line, 7), whole.substr(0, 6));

    ComponentLibrary library(ComponentZipArchiver::kFileName);
    auto* zip = reinterpret_cast<int32_t (*)(intptr_t, const char*, char*, int32_t)>(library.symbol("Zip"));
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(zip(0, nullptr, nullptr, 0), 16);
    auto* running = reinterpret_cast<int16_t (*)()>(library.symbol("ZipGetRunning"));
    ASSERT_NE(running, nullptr);
    EXPECT_EQ(running(), 0);
}

} // namespace
} // namespace tessaly

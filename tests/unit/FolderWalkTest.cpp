// SPDX-License-Identifier: MIT
#include "watch/FolderWalk.h"

#include "support/PermissionBits.h"
#include "support/TempFolder.h"
#include "watch/FileTimeStamp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tessaly {
namespace {

using test::TempFolder;
using test::WriteFile;
using Paths = std::vector<std::string>;

Paths PathsOf(const WalkResult& result)
{
    Paths paths;
    for (size_t i = 0; i < result.size(); ++i)
        paths.emplace_back(result.path(i));
    return paths;
}

// Walks and expects success; the paths found.
Paths Walk(const std::string& folder, const std::string& pattern, std::string_view subfolders = "1", int threads = 1)
{
    std::string error;
    std::optional<WalkResult> result = GetFilesMostDeep(folder, pattern, subfolders, {threads, true}, &error);
    EXPECT_TRUE(result) << error;
    return result ? PathsOf(*result) : Paths{};
}

// Walks and expects failure; the one-line reason given.
std::string WalkError(const std::string& folder, const std::string& pattern, std::string_view subfolders = "1",
                      int threads = 1)
{
    std::string error;
    EXPECT_FALSE(GetFilesMostDeep(folder, pattern, subfolders, {threads, true}, &error));
    EXPECT_EQ(error.find('\n'), std::string::npos);
    return error;
}

void MakeFolder(const std::string& path)
{
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path;
}

// The promised order, worked out with the directory iterator (file system order).
void ExpectedWalk(const std::string& folder, Paths* out)
{
    Paths subfolders;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::string name = entry.path().filename();
        if (entry.is_regular_file()) {
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".doc") == 0)
                out->push_back(folder + "/" + name);
        } else if (entry.is_directory() && !entry.is_symlink()) {
            subfolders.push_back(folder + "/" + name);
        }
    }
    for (const std::string& subfolder : subfolders)
        ExpectedWalk(subfolder, out);
}

class FolderWalkTest : public ::testing::Test {
protected:
    std::string at(std::string_view relative) const { return m_root.file(relative); }
    void file(std::string_view relative) { WriteFile(at(relative), ""); }
    void folder(std::string_view relative) { MakeFolder(at(relative)); }

    // a/one.doc, a/b/two.doc, a/b/c/three.doc
    void makeChain()
    {
        for (const char* f : {"a", "a/b", "a/b/c"})
            folder(f);
        for (const char* f : {"a/b/c/three.doc", "a/b/two.doc", "a/one.doc"})
            file(f);
    }
    Paths chain() const { return {at("a/one.doc"), at("a/b/two.doc"), at("a/b/c/three.doc")}; }

    TempFolder m_root;
};

TEST_F(FolderWalkTest, ListsOwnFilesFirstThenEachSubfolderDepthFirst)
{
    makeChain();
    EXPECT_EQ(Walk(at("a"), "*.doc"), chain());

    for (const char* name : {"x", "y", "z"}) {
        folder(std::string("a/") + name);
        file(std::string("a/") + name + "/in-" + name + ".doc");
        file(std::string("a/") + name + "/other.txt");
    }
    file("a/b/c/zz.doc");
    Paths expected;
    ExpectedWalk(at("a"), &expected);
    EXPECT_EQ(expected.size(), 7u);
    EXPECT_EQ(Walk(at("a"), "*.doc"), expected);
    // Trailing slashes are dropped; a linked folder's paths keep the link's name.
    for (const char* slashes : {"/", "///"})
        EXPECT_EQ(Walk(at("a") + slashes, "*.doc"), expected) << slashes;
    ASSERT_EQ(::symlink(at("a").c_str(), at("alias").c_str()), 0);
    for (std::string& path : expected)
        path.replace(0, at("a").size(), at("alias"));
    EXPECT_EQ(Walk(at("alias"), "*.doc"), expected);
}

TEST_F(FolderWalkTest, DescendsOnlyWhenSubfoldersIsNumericallyOne)
{
    makeChain();
    for (const char* one : {"1", " 1", "1.0", "1 "})
        EXPECT_EQ(Walk(at("a"), "*.doc", one), chain()) << one;
    // Anything else, an empty or unknown value included, walks the folder alone.
    for (const char* other : {"0", "2", "-1", "0.5", "", "x", "yes", "1x"})
        EXPECT_EQ(Walk(at("a"), "*.doc", other), Paths{at("a/one.doc")}) << other;
}

TEST_F(FolderWalkTest, FailsOnlyWhenTheWalkCannotStart)
{
    folder("empty");
    for (int threads : {1, 2})
        EXPECT_TRUE(Walk(at("empty"), "*", "1", threads).empty());
    EXPECT_FALSE(WalkError("", "*").empty());
    EXPECT_NE(WalkError(m_root.path(), "[abc").find("が正しくありません"), std::string::npos);
    EXPECT_NE(WalkError(m_root.path(), "*.[z-a]").find("が正しくありません"), std::string::npos);
}

// The skipped folders of a walk that must succeed.
std::vector<SkippedFolder> Skipped(const std::string& folder, std::string_view subfolders = "1", int threads = 1)
{
    std::optional<WalkResult> result = GetFilesMostDeep(folder, "*.doc", subfolders, {threads, true});
    EXPECT_TRUE(result);
    return result ? result->skippedFolders() : std::vector<SkippedFolder>{};
}

TEST_F(FolderWalkTest, FoldersThatCannotBeReadAreSkippedWithTheirReasonAndTheRestIsWalked)
{
    makeChain();
    file("a/b/c/four.doc");
    folder("a/b/c/d");
    file("a/b/c/d/five.doc");
    folder("a/e");
    file("a/e/six.doc");
    file("plain.doc");
    folder("locked");
    file("locked/secret.doc");
    ASSERT_EQ(::symlink(at("locked/secret.doc").c_str(), at("a/link.doc").c_str()), 0);
    ASSERT_EQ(::chmod(at("a/b/c").c_str(), 0), 0);
    ASSERT_EQ(::chmod(at("locked").c_str(), 0), 0);
    test::PermissionBitsApply permissions;
    if (!permissions.active())
        GTEST_SKIP() << "cannot make permission bits apply";
    for (int threads : {1, 2, 8}) {
        // The link's target cannot be examined: passed over like a vanished file.
        Paths found = Walk(at("a"), "*.doc", "1", threads);
        EXPECT_EQ(found, (Paths{at("a/one.doc"), at("a/b/two.doc"), at("a/e/six.doc")})) << threads << " threads";
        std::vector<SkippedFolder> skipped = Skipped(at("a"), "1", threads);
        ASSERT_EQ(skipped.size(), 1u);
        EXPECT_EQ(skipped[0].path, at("a/b/c"));
        EXPECT_NE(skipped[0].reason.find("アクセスが拒否されました"), std::string::npos) << skipped[0].reason;
    }
    // Not descending, the walk never meets the folder.
    EXPECT_TRUE(Skipped(at("a"), "0").empty());
    // The walk's own folder: missing, a file, unreadable; with trailing "/".
    for (const char* root : {"nothing-here", "plain.doc", "locked", "locked/"}) {
        std::vector<SkippedFolder> own = Skipped(at(root));
        ASSERT_EQ(own.size(), 1u) << root;
        EXPECT_EQ(own[0].path, FolderWalkRoot(at(root))) << root;
        EXPECT_FALSE(own[0].reason.empty());
    }
    for (const char* locked : {"a/b/c", "locked"})
        ::chmod(at(locked).c_str(), 0755); // so that the folder can be removed
}

// A chain of folders below `base` whose full path passes PATH_MAX, made
// and removed through descriptors since no path call reaches the bottom.
const std::string kDeepName(250, 'd');

void MakeDeepChain(int fd, int depth)
{
    if (depth == 0) {
        ::close(::openat(fd, "bottom.doc", O_CREAT | O_WRONLY, 0644));
    } else {
        ::mkdirat(fd, kDeepName.c_str(), 0755);
        if (int next = ::openat(fd, kDeepName.c_str(), O_RDONLY | O_DIRECTORY); next >= 0)
            MakeDeepChain(next, depth - 1);
    }
    ::close(fd);
}

void RemoveDeepChain(int fd)
{
    ::unlinkat(fd, "bottom.doc", 0);
    if (int child = ::openat(fd, kDeepName.c_str(), O_RDONLY | O_DIRECTORY); child >= 0) {
        RemoveDeepChain(child);
        ::unlinkat(fd, kDeepName.c_str(), AT_REMOVEDIR);
    }
    ::close(fd);
}

TEST_F(FolderWalkTest, AFolderBeyondThePathLimitIsSkipped)
{
    // A failure that root meets too.
    makeChain();
    MakeDeepChain(::open(at("a/b").c_str(), O_RDONLY | O_DIRECTORY), 20);
    struct Cleanup {
        std::string base;
        ~Cleanup() { RemoveDeepChain(::open(base.c_str(), O_RDONLY | O_DIRECTORY)); }
    } cleanup{at("a/b")};
    for (int threads : {1, 2}) {
        EXPECT_EQ(Walk(at("a"), "*.doc", "1", threads), chain());
        std::vector<SkippedFolder> skipped = Skipped(at("a"), "1", threads);
        ASSERT_EQ(skipped.size(), 1u);
        EXPECT_NE(skipped[0].reason.find("名前が長すぎます"), std::string::npos) << skipped[0].reason;
    }
}

TEST_F(FolderWalkTest, ListsHiddenAndRegularFilesOnly)
{
    folder("top");
    file("top/.hidden.doc");
    file("top/plain.doc");
    folder("top/folder.doc");
    file("top/folder.doc/inner.doc");
    ASSERT_EQ(::mkfifo(at("top/pipe.doc").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("plain.doc", at("top/link.doc").c_str()), 0);
    ASSERT_EQ(::symlink("missing.doc", at("top/dangling.doc").c_str()), 0);
    ASSERT_EQ(::symlink(at("top").c_str(), at("top/loop").c_str()), 0);
    Paths found = Walk(at("top"), "*.doc");
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found,
              (Paths{at("top/.hidden.doc"), at("top/folder.doc/inner.doc"), at("top/link.doc"), at("top/plain.doc")}));
}

// Pattern rules themselves are covered by FileNamePatternTest; here, that names are matched.
TEST_F(FolderWalkTest, MatchesNamesCaseInsensitivelyInAnyScript)
{
    folder("f");
    for (const char* name : {"報告書.doc", "A.DOC", "b.Doc", "c.docx", "readme", "日本"})
        file(std::string("f/") + name);
    Paths found = Walk(at("f"), "*.doc", "0");
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (Paths{at("f/A.DOC"), at("f/b.Doc"), at("f/報告書.doc")}));
    EXPECT_EQ(Walk(at("f"), "??", "0"), Paths{at("f/日本")});
    EXPECT_EQ(Walk(at("f"), "*", "0").size(), 6u);
    EXPECT_TRUE(Walk(at("f"), "", "0").empty());
}

TEST_F(FolderWalkTest, GivesEachFilesTimesAsTheTimeStampReaderDoes)
{
    folder("t");
    file("t/past.doc");
    file("t/future.doc");
    ASSERT_EQ(::symlink("past.doc", at("t/link.doc").c_str()), 0);
    struct timespec past[2] = {{981173106, 789000000}, {981173106, 789000000}}; // 2001-02-03 UTC
    struct timespec future[2] = {{4102444800, 5}, {4102444800, 5}};             // 2100-01-01 UTC
    ASSERT_EQ(::utimensat(AT_FDCWD, at("t/past.doc").c_str(), past, 0), 0);
    ASSERT_EQ(::utimensat(AT_FDCWD, at("t/future.doc").c_str(), future, 0), 0);

    std::optional<WalkResult> result = GetFilesMostDeep(at("t"), "*.doc", "0");
    ASSERT_TRUE(result);
    ASSERT_EQ(result->size(), 3u);
    for (size_t i = 0; i < result->size(); ++i) {
        std::string path(result->path(i));
        AutomationDate created = 0, written = 0, accessed = 0;
        GetFileTimeStamp(path, &created, &written, &accessed);
        EXPECT_EQ(result->written(i), written) << path;
        EXPECT_EQ(result->created(i), created) << path;
        EXPECT_EQ(written, path.ends_with("future.doc") ? AutomationDateFromUnix(4102444800, 5)
                                                        : AutomationDateFromUnix(981173106, 789000000))
            << path;
    }

    std::optional<WalkResult> untimed = GetFilesMostDeep(at("t"), "*.doc", "0", {1, false});
    ASSERT_TRUE(untimed);
    EXPECT_EQ(PathsOf(*untimed), PathsOf(*result));
    EXPECT_EQ(untimed->written(0), kFileTimeZero);
}

// A reproducible tree of a few thousand files in a few hundred folders.
void MakeTree(const std::string& root, unsigned seed)
{
    unsigned state = seed;
    auto next = [&state] { return state = state * 1103515245u + 12345u, (state >> 16) & 0x7fff; };
    std::vector<std::string> folders{root};
    for (size_t i = 0; i < folders.size() && folders.size() < 400; ++i) {
        for (unsigned k = next() % 4; k > 0; --k) {
            folders.push_back(folders[i] + "/sub" + std::to_string(folders.size()));
            MakeFolder(folders.back());
        }
    }
    const char* extensions[] = {".doc", ".DOCX", ".txt", "", ".pdf", "_日本語.Doc"};
    for (int i = 0; i < 4000; ++i) {
        const std::string& where = folders[next() % folders.size()];
        WriteFile(where + "/f" + std::to_string(i) + extensions[next() % 6], "");
    }
}

TEST_F(FolderWalkTest, ManyThreadsGiveExactlyTheSingleThreadResult)
{
    MakeTree(m_root.path(), 7);
    std::optional<WalkResult> single = GetFilesMostDeep(m_root.path(), "*.doc*", "1", {1, true});
    ASSERT_TRUE(single);
    Paths expected = PathsOf(*single);
    EXPECT_GT(expected.size(), 1500u);
    for (int threads : {2, 3, 8}) {
        std::optional<WalkResult> several = GetFilesMostDeep(m_root.path(), "*.doc*", "1", {threads, true});
        ASSERT_TRUE(several);
        ASSERT_EQ(PathsOf(*several), expected) << threads << " threads";
        for (size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(several->created(i), single->created(i));
            ASSERT_EQ(several->written(i), single->written(i));
        }
    }
}

} // namespace
} // namespace tessaly

// SPDX-License-Identifier: MIT
// Live watching on a real inotify tree: which rows a change concerns,
// folders that appear, and the rows that go to the timer instead.
#include "watch/LiveWatch.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <poll.h>
#include <sys/inotify.h>

namespace tessaly {
namespace {

namespace fs = std::filesystem;

class LiveWatchTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(m_temp.file("docs/sub"));
        fs::create_directories(m_temp.file("data"));
        fs::create_directories(m_temp.file("other"));
    }

    /// The rows the events since the last call concern, once inotify has
    /// had the time to deliver them (a change always makes at least one);
    /// the rows set anew count too.
    RowMask eventsAfter(const std::function<void()>& change, LiveWatch& watch)
    {
        change();
        pollfd ready{watch.fd(), POLLIN, 0};
        RowMask rows = 0;
        // Everything a change makes is queued by the time the syscalls
        // behind it have returned; a short poll picks up stragglers.
        while (::poll(&ready, 1, 100) > 0) {
            const LiveEvents events = watch.readEvents();
            for (const LiveChange& found : events.changes)
                rows |= found.rows;
            rows |= events.rearmed;
        }
        return rows;
    }
    RowMask eventsAfter(const std::function<void()>& change) { return eventsAfter(change, m_watch); }
    void write(const std::string& relative, const std::string& bytes = "x")
    {
        test::WriteFile(m_temp.file(relative), bytes);
    }

    test::TempFolder m_temp;
    SubscriptionTable m_table;
    LiveWatch m_watch;
};

TEST_F(LiveWatchTree, AChangeConcernsTheRowsWhosePatternAndKeywordsMatchIt)
{
    m_table[0] = {"All", "", m_temp.file("docs"), "*.*", "1", "", ""};
    m_table[2] = {"Top txt", "", m_temp.file("docs"), "*.TXT", "0", "", ""};
    m_table[4] = {"Plans", "plan　案", m_temp.file("docs"), "*.*", "1", "", ""};
    ASSERT_TRUE(m_watch.watch(m_table, m_temp.file("data")));
    EXPECT_EQ(m_watch.liveRows(), 0b10101);
    EXPECT_EQ(m_watch.rows()[1].state, LiveState::Off);

    EXPECT_EQ(eventsAfter([&] { write("docs/notes.txt"); }), 0b00101);
    EXPECT_EQ(eventsAfter([&] { write("docs/Plan-2027.doc"); }), 0b10001);
    EXPECT_EQ(eventsAfter([&] { write("docs/sub/report.txt"); }), 0b00001); // not walked by row 2
    EXPECT_EQ(eventsAfter([&] { write("docs/sub/新案.doc"); }), 0b10001);
    // A time stamp set, a document moved in: both count; a removal does not.
    EXPECT_EQ(
        eventsAfter([&] { fs::last_write_time(m_temp.file("docs/notes.txt"), fs::file_time_type::clock::now()); }),
        0b00101);
    write("other/moved.txt");
    EXPECT_EQ(eventsAfter([&] { fs::rename(m_temp.file("other/moved.txt"), m_temp.file("docs/moved.txt")); }), 0b00101);
    EXPECT_EQ(eventsAfter([&] { fs::remove(m_temp.file("docs/moved.txt")); }), 0);
    EXPECT_EQ(eventsAfter([] {}), 0);
}

TEST_F(LiveWatchTree, FoldersThatAppearAreWatchedAndThoseThatGoAreDropped)
{
    m_table[0] = {"All", "", m_temp.file("docs"), "*.txt", "1", "", ""};
    m_table[1] = {"Top", "", m_temp.file("docs"), "*.txt", "0", "", ""};
    ASSERT_TRUE(m_watch.watch(m_table, m_temp.file("data")));
    const size_t before = m_watch.folderCount();
    // A new folder concerns the row that walks subfolders (it may bring
    // documents); what is written in it later too, and folders in it.
    EXPECT_EQ(eventsAfter([&] { fs::create_directories(m_temp.file("docs/new")); }), 0b01);
    EXPECT_EQ(eventsAfter([&] { write("docs/new/a.txt"); }), 0b01);
    EXPECT_EQ(eventsAfter([&] { fs::create_directories(m_temp.file("docs/new/deeper")); }), 0b01);
    EXPECT_EQ(eventsAfter([&] { write("docs/new/deeper/b.txt"); }), 0b01);
    EXPECT_EQ(m_watch.folderCount(), before + 2);
    // A tree moved in is watched whole.
    fs::create_directories(m_temp.file("other/tree/inner"));
    EXPECT_EQ(eventsAfter([&] { fs::rename(m_temp.file("other/tree"), m_temp.file("docs/tree")); }), 0b01);
    EXPECT_EQ(eventsAfter([&] { write("docs/tree/inner/c.txt"); }), 0b01);
    EXPECT_EQ(eventsAfter([&] { fs::remove_all(m_temp.file("docs/new")); }), 0);
    EXPECT_EQ(m_watch.folderCount(), before + 2);
    EXPECT_EQ(m_watch.liveRows(), 0b11);
}

TEST_F(LiveWatchTree, TheDataFolderInsideATreeIsNeverWatched)
{
    fs::create_directories(m_temp.file("docs/data"));
    m_table[0] = {"All", "", m_temp.file("docs"), "*.*", "1", "", ""};
    ASSERT_TRUE(m_watch.watch(m_table, m_temp.file("docs/data")));
    EXPECT_EQ(eventsAfter([&] { write("docs/data/history.dat"); }), 0);
    EXPECT_EQ(eventsAfter([&] { write("docs/data/subscription.dat"); }), 0);
    EXPECT_EQ(eventsAfter([&] { write("docs/a.txt"); }), 0b1);
}

TEST_F(LiveWatchTree, RowsThatCannotBeWatchedGoToTheTimerAndSayWhy)
{
    fs::create_directories(m_temp.file("docs/mnt/share"));
    m_table[0] = {"Local", "", m_temp.file("docs/sub"), "*.*", "1", "", ""};
    m_table[1] = {"Share", "", m_temp.file("docs/mnt/share"), "*.*", "0", "", ""};
    m_table[2] = {"Missing", "", m_temp.file("missing"), "*.*", "0", "", ""};
    m_table[3] = {"Bad pattern", "", m_temp.file("docs"), "[z-a]", "0", "", ""};
    m_table[4] = {"Many", "", m_temp.file("other"), "*.*", "1", "", ""};
    fs::create_directories(m_temp.file("other/a/b"));
    const std::string share = m_temp.file("docs/mnt/share");
    const std::string limited = m_temp.file("other/a/b");
    LiveWatch watch({[&](const std::string& folder) -> std::optional<long> {
                         return folder == share ? std::optional<long>(0x6969) : std::optional<long>(0xEF53);
                     },
                     [&](int fd, const std::string& folder, uint32_t mask) {
                         if (folder == limited) {
                             errno = ENOSPC;
                             return -1;
                         }
                         return ::inotify_add_watch(fd, folder.c_str(), mask);
                     },
                     {}});
    ASSERT_TRUE(watch.watch(m_table, m_temp.file("data")));
    EXPECT_EQ(watch.rows()[0], (LiveRow{LiveState::Live, ""}));
    EXPECT_EQ(watch.rows()[1], (LiveRow{LiveState::Remote, "nfs"}));
    EXPECT_EQ(watch.rows()[2].state, LiveState::Unreadable);
    EXPECT_EQ(watch.rows()[3].state, LiveState::Unreadable);
    EXPECT_EQ(watch.rows()[4].state, LiveState::NoWatches);
    EXPECT_EQ(watch.liveRows(), 0b1);
    // The dropped rows' folders are not watched any more, only the folders
    // that hold each row's own (docs, docs/mnt, the temporary folder).
    EXPECT_EQ(watch.folderCount(), 4u);
    EXPECT_EQ(LiveWatch::RemoteFileSystemName(0xEF53), std::nullopt);
    EXPECT_EQ(LiveWatch::RemoteFileSystemName(0xFF534D42), std::optional<std::string>("cifs"));
    EXPECT_EQ(LiveWatch::RemoteFileSystemName(0x65735546), std::optional<std::string>("fuse"));
}

TEST_F(LiveWatchTree, TheRowsOwnFolderIsFollowedWhenItGoesComesBackOrIsALinkPointedElsewhere)
{
    fs::create_directories(m_temp.file("other/b"));
    fs::create_directory_symlink(m_temp.file("docs"), m_temp.file("link"));
    m_table[0] = {"Direct", "", m_temp.file("docs/sub"), "*.txt", "1", "", ""};
    m_table[1] = {"Linked", "", m_temp.file("link"), "*.txt", "0", "", ""};
    ASSERT_TRUE(m_watch.watch(m_table, m_temp.file("data")));
    EXPECT_EQ(m_watch.rows()[1], (LiveRow{LiveState::Live, "", m_temp.file("docs")}));
    EXPECT_EQ(eventsAfter([&] { write("docs/through-link.txt"); }), 0b10);

    // Gone: the row waits, and is set anew (and checked) once it is back.
    EXPECT_EQ(eventsAfter([&] { fs::remove_all(m_temp.file("docs/sub")); }), 0);
    EXPECT_EQ(m_watch.rows()[0].state, LiveState::Unreadable);
    EXPECT_EQ(m_watch.waiting(), 0b01);
    EXPECT_EQ(eventsAfter([&] { fs::create_directories(m_temp.file("docs/sub")); }), 0b01);
    EXPECT_EQ(m_watch.rows()[0].state, LiveState::Live);
    EXPECT_EQ(eventsAfter([&] { write("docs/sub/again.txt"); }), 0b01);
    // Renamed away and another folder put in its place.
    EXPECT_EQ(eventsAfter([&] {
                  fs::rename(m_temp.file("docs/sub"), m_temp.file("other/old"));
                  fs::rename(m_temp.file("other/b"), m_temp.file("docs/sub"));
              }),
              0b01);
    EXPECT_EQ(eventsAfter([&] { write("other/old/stale.txt"); }), 0);
    EXPECT_EQ(eventsAfter([&] { write("docs/sub/new.txt"); }), 0b01);

    // The link pointed elsewhere: the watches move with it.
    EXPECT_EQ(eventsAfter([&] {
                  fs::remove(m_temp.file("link"));
                  fs::create_directory_symlink(m_temp.file("other"), m_temp.file("link"));
              }),
              0b10);
    EXPECT_EQ(m_watch.rows()[1].target, m_temp.file("other"));
    EXPECT_EQ(eventsAfter([&] { write("docs/left.txt"); }), 0);
    EXPECT_EQ(eventsAfter([&] { write("other/right.txt"); }), 0b10);
    // A link to nothing waits, and is watched once its target is made.
    EXPECT_EQ(eventsAfter([&] { fs::remove_all(m_temp.file("other")); }), 0);
    EXPECT_EQ(m_watch.rows()[1].detail, "リンク先がありません");
    EXPECT_EQ(m_watch.rearmWaiting(), 0);
    fs::create_directories(m_temp.file("other"));
    EXPECT_EQ(m_watch.rearmWaiting(), 0b10);
    EXPECT_EQ(eventsAfter([&] { write("other/found.txt"); }), 0b10);
}

TEST(QuietDocuments, ABurstGivesOneCheckAndADocumentThatKeepsChangingHoldsBackNoOther)
{
    QuietDocuments quiet(5000);
    EXPECT_EQ(quiet.nextDue(), std::nullopt);
    // A burst: the row waits for its newest document.
    quiet.changed({0b1000, "/b/1.txt"}, 0);
    quiet.changed({0b1000, "/b/2.txt"}, 1000);
    EXPECT_EQ(quiet.takeDue(5000), 0);
    EXPECT_EQ(quiet.takeDue(6000), 0b1000);

    quiet.changed({0b001, "/d/log.txt"}, 1000);
    quiet.changed({0b001, "/d/report.txt"}, 2000);
    quiet.changed({0b100, "/e/a.txt"}, 2500);
    quiet.changed({0b001, "/d/log.txt"}, 3000); // the log goes on changing
    quiet.changed({0b010, "/e/a.txt"}, 3000);   // a second row watches the same document
    EXPECT_EQ(quiet.nextDue(), std::optional<int64_t>(7000));
    EXPECT_EQ(quiet.takeDue(6999), 0);
    // The finished report is due although the log beside it is not.
    EXPECT_EQ(quiet.busy(7000), (std::vector<std::string>{"/d/log.txt", "/e/a.txt"}));
    EXPECT_EQ(quiet.takeDue(7000), 0b001);
    EXPECT_EQ(quiet.takeDue(9000), 0b111);
    EXPECT_EQ(quiet.nextDue(), std::nullopt);
    EXPECT_TRUE(quiet.busy(9000).empty());
    // Without a settle time a document is due at once.
    quiet.setSettle(0);
    quiet.changed({0b010, "/d/x.txt"}, 500);
    EXPECT_EQ(quiet.takeDue(500), 0b010);
}

} // namespace
} // namespace tessaly

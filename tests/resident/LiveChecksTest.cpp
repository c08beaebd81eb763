// SPDX-License-Identifier: MIT
// Live checks as the resident program drives them: the switch and the
// settings turn them on and off, a row falls due after the settle time and
// is checked on its own, and rows left to the timer are told once.
#include "resident/LiveChecks.h"

#include "resident/ResidentData.h"
#include "support/RecordingMessages.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>

namespace tessaly {
namespace {

class LiveChecksTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(m_temp.file("docs"));
        std::filesystem::create_directories(m_temp.file("share"));
        std::filesystem::create_directories(m_temp.file("many"));
        m_data.folder = m_temp.file("data");
        std::filesystem::create_directories(m_data.folder);
        m_data.settings.Conf_Instant = 1;
        m_data.settings.Conf_Settle = "2";
        m_data.subscriptions[0] = {"日報", "", m_temp.file("docs"), "*.*", "0", "", ""};
        m_data.subscriptions[1] = {"共有", "", m_temp.file("share"), "*.*", "0", "", ""};
        m_data.subscriptions[2] = {"大量", "", m_temp.file("many"), "*.*", "0", "", ""};
    }

    /// Waits for the events of a change already made and takes them.
    void takeEvents(int64_t nowMs)
    {
        pollfd ready{m_live.fd(), POLLIN, 0};
        while (::poll(&ready, 1, 100) > 0)
            m_live.readEvents(nowMs);
    }

    test::TempFolder m_temp;
    ResidentData m_data;
    test::RecordingMessages m_messages;
    std::vector<RowMask> m_checks;
    // The share is a network file system; the third row's folder cannot
    // get a watch (the per-user limit).
    std::vector<std::vector<uint64_t>> m_heldBack;
    LiveChecks m_live{m_messages,
                      [this](RowMask rows, std::vector<uint64_t> holdBack) {
                          m_checks.push_back(rows);
                          m_heldBack.push_back(std::move(holdBack));
                      },
                      LiveWatch::System{[this](const std::string& folder) -> std::optional<long> {
                                            return folder == m_temp.file("share") ? 0xFF534D42 : 0xEF53;
                                        },
                                        [this](int fd, const std::string& folder, uint32_t mask) {
                                            if (folder == m_temp.file("many")) {
                                                errno = ENOSPC;
                                                return -1;
                                            }
                                            return ::inotify_add_watch(fd, folder.c_str(), mask);
                                        },
                                        {}}};
};

TEST_F(LiveChecksTest, ARowIsCheckedOnItsOwnOnceQuietAndRowsLeftToTheTimerAreToldOnce)
{
    m_live.apply(m_data, true);
    EXPECT_EQ(m_live.summary(), "即時ﾁｪｯｸ: 日報 / 共有: ﾈｯﾄﾜｰｸ上のﾌｫﾙﾀﾞ (cifs) / 大量: 監視できるﾌｫﾙﾀﾞ数の上限 "
                                "(fs.inotify.max_user_watches)");
    ASSERT_EQ(m_messages.messages.size(), 1u);
    const std::string& told = m_messages.messages[0];
    EXPECT_NE(told.find("購読「共有」"), std::string::npos) << told;
    EXPECT_NE(told.find("(cifs)"), std::string::npos) << told;
    EXPECT_NE(told.find("購読「大量」"), std::string::npos) << told;
    EXPECT_NE(told.find("max_user_watches"), std::string::npos) << told;

    // A burst: one check of the row once it has been quiet for 2 s.
    test::WriteFile(m_temp.file("docs/a.txt"), "a");
    takeEvents(1000);
    test::WriteFile(m_temp.file("docs/b.txt"), "b");
    takeEvents(1500);
    EXPECT_EQ(m_live.nextDue(), std::optional<int64_t>(3500));
    m_live.runDue(3499);
    EXPECT_TRUE(m_checks.empty());
    m_live.runDue(3500);
    EXPECT_EQ(m_checks, std::vector<RowMask>{0b001});
    EXPECT_EQ(m_live.nextDue(), std::nullopt);

    // The same table again changes nothing and tells nothing again; even
    // after the switch was off and on, a row is told once per program run.
    m_live.apply(m_data, true);
    m_live.apply(m_data, false);
    EXPECT_EQ(m_live.summary(), "");
    EXPECT_EQ(m_live.fd(), -1);
    m_live.apply(m_data, true);
    EXPECT_EQ(m_messages.messages.size(), 1u);
}

TEST_F(LiveChecksTest, TheSettingAndTheTableDecideTheWatches)
{
    m_data.settings.Conf_Instant = 0;
    m_live.apply(m_data, true);
    EXPECT_EQ(m_live.fd(), -1);
    EXPECT_EQ(m_live.summary(), "");
    EXPECT_TRUE(m_messages.messages.empty());

    m_data.settings.Conf_Instant = 1;
    m_data.subscriptions[1] = {};
    m_data.subscriptions[2] = {};
    m_live.apply(m_data, true);
    EXPECT_GE(m_live.fd(), 0);
    test::WriteFile(m_temp.file("docs/notes.txt"), "x");
    takeEvents(0);
    ASSERT_EQ(m_live.nextDue(), std::optional<int64_t>(2000));
    // A new last check or recipient decides nothing: the watches and the
    // waiting row stay.
    m_data.subscriptions[0].LastCheck = "2026/12/07 10:00:00";
    m_data.subscriptions[0].MailTo = "a@example.jp";
    m_live.apply(m_data, true);
    EXPECT_EQ(m_live.nextDue(), std::optional<int64_t>(2000));
    // A new pattern sets the watches again (the timed runs cover what was
    // waiting); a name that does not match it starts nothing.
    m_data.subscriptions[0].FileName = "*.doc";
    m_live.apply(m_data, true);
    EXPECT_EQ(m_live.nextDue(), std::nullopt);
    test::WriteFile(m_temp.file("docs/notes.txt"), "y");
    takeEvents(0);
    EXPECT_EQ(m_live.nextDue(), std::nullopt);
    // Settle time 0: due at once.
    m_data.settings.Conf_Settle = "0";
    m_live.apply(m_data, true);
    test::WriteFile(m_temp.file("docs/plan.doc"), "x");
    takeEvents(700);
    m_live.runDue(700);
    EXPECT_EQ(m_checks, std::vector<RowMask>{0b001});
}

TEST_F(LiveChecksTest, AFolderThatGoesAndComesBackIsToldBothWaysAndCheckedAtOnce)
{
    m_data.subscriptions[1] = {};
    m_data.subscriptions[2] = {};
    m_live.apply(m_data, true);
    std::filesystem::remove_all(m_temp.file("docs"));
    takeEvents(0);
    EXPECT_EQ(m_live.summary(), "即時ﾁｪｯｸ: なし / 日報: ファイルまたはフォルダがありません");
    ASSERT_EQ(m_messages.messages.size(), 1u);
    EXPECT_EQ(m_messages.messages[0], "購読「日報」: " + m_temp.file("docs") +
                                          " は更新をすぐにﾁｪｯｸできないため、ｲﾝﾀｰﾊﾞﾙごとにﾁｪｯｸします "
                                          "(ファイルまたはフォルダがありません)");
    // Looked for at once, then every second, while it is away.
    EXPECT_EQ(m_live.nextDue(), std::optional<int64_t>(0));
    m_live.runDue(100);
    EXPECT_EQ(m_live.nextDue(), std::optional<int64_t>(1100));
    EXPECT_TRUE(m_checks.empty());
    std::filesystem::create_directories(m_temp.file("docs"));
    takeEvents(200);
    EXPECT_EQ(m_live.summary(), "即時ﾁｪｯｸ: 日報");
    EXPECT_EQ(m_messages.messages.back(), "購読「日報」: " + m_temp.file("docs") + " の更新を再びすぐにﾁｪｯｸします");
    EXPECT_EQ(m_checks, std::vector<RowMask>{0b001});
    EXPECT_EQ(m_live.nextDue(), std::nullopt);
}

TEST_F(LiveChecksTest, ADocumentStillChangingIsLeftOutOfTheCheckOfAFinishedOneBesideIt)
{
    m_data.subscriptions[1] = {};
    m_data.subscriptions[2] = {};
    m_live.apply(m_data, true);
    test::WriteFile(m_temp.file("docs/report.txt"), "done");
    test::WriteFile(m_temp.file("docs/busy.log"), "1");
    takeEvents(0);
    test::WriteFile(m_temp.file("docs/busy.log"), "2");
    takeEvents(2500);
    m_live.runDue(3000);
    ASSERT_EQ(m_checks, std::vector<RowMask>{0b001});
    struct stat busy {};
    ASSERT_EQ(::stat(m_temp.file("docs/busy.log").c_str(), &busy), 0);
    EXPECT_EQ(m_heldBack[0], std::vector<uint64_t>{busy.st_ino});
    // Once it has settled, it is checked on its own.
    m_live.runDue(4500);
    EXPECT_EQ(m_checks, (std::vector<RowMask>{0b001, 0b001}));
    EXPECT_TRUE(m_heldBack[1].empty());
}

} // namespace
} // namespace tessaly

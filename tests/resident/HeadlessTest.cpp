// SPDX-License-Identifier: MIT
// The headless loop and its balloon on standard output.
#include "IdleFeedClients.h"
#include "support/RecordingMessages.h"
#include "support/TempFolder.h"

#include "common/BalloonFeedClient.h"
#include "resident/CheckRunner.h"
#include "resident/HeadlessBalloon.h"
#include "resident/HeadlessBalloonFeed.h"
#include "resident/HeadlessLoop.h"
#include "resident/MinuteTicks.h"
#include "resident/ResidentData.h"
#include "resident/SteadyMinuteTicks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tessaly;
using namespace tessaly::test;

namespace {

/// Hands out a fixed number of ticks, then says stop.
class CountedTicks final : public MinuteTicks {
public:
    explicit CountedTicks(int ticks) : m_left(ticks) {}
    bool nextTick() override
    {
        if (m_left == 0)
            return false;
        --m_left;
        ++given;
        if (onTick)
            onTick(given);
        return true;
    }

    int given = 0;
    std::function<void(int)> onTick;

private:
    int m_left;
};

struct Headless {
    explicit Headless(const std::string& interval, int ticks) : ticks(ticks)
    {
        BasicSettings settings;
        settings.Conf_Interval = interval;
        std::string error;
        EXPECT_TRUE(SaveBasicSettings(settings, folder.path(), &error)) << error;
        data.folder = folder.path();
    }

    TempFolder folder;
    ResidentData data;
    RecordingMessages messages;
    int runs = 0;
    CheckRunner runner{[this] {
        ++runs;
        return true;
    }};
    CountedTicks ticks;
    std::ostringstream log;
    HeadlessLoop loop{data, messages, runner, ticks, log};
};

TEST(HeadlessLoop, ChecksEveryIntervalMinutes)
{
    Headless h("2", 7);
    h.loop.load();
    EXPECT_TRUE(h.loop.timerArmed());
    EXPECT_EQ(h.runs, 0);
    h.loop.run();
    EXPECT_EQ(h.ticks.given, 7);
    EXPECT_EQ(h.runs, 3);
    EXPECT_EQ(h.loop.trigger().minuteCount(), 1);
    EXPECT_NE(h.log.str().find("stopped"), std::string::npos);
}

TEST(HeadlessLoop, WithoutIntervalCountsNothingUntilOneIsSet)
{
    Headless h("", 100);
    h.loop.load();
    EXPECT_FALSE(h.loop.timerArmed());
    // An interval taken in after 50 ticks counts from the next one.
    h.ticks.onTick = [&h](int tick) {
        if (tick != 50)
            return;
        h.data.settings.Conf_Interval = "10";
        h.loop.applySettings();
    };
    h.loop.run();
    EXPECT_EQ(h.runs, 5);
    EXPECT_NE(h.log.str().find("no check interval"), std::string::npos);
    EXPECT_NE(h.log.str().find("settings taken in (Conf_Interval 10)"), std::string::npos);
}

TEST(HeadlessLoop, LoadsSettingsAndSubscriptionsAndReportsThroughMessages)
{
    Headless h("3", 0);
    std::string lines;
    for (int i = 0; i < 11; ++i)
        lines += "Docs" + std::to_string(i) + ",,/srv/docs,*.pdf,1,a@example.org,,\r\n";
    WriteFile(h.folder.file("subscription.dat"), lines);
    h.data.settings.Conf_Interval = "stale value from before";
    h.loop.load();
    EXPECT_EQ(h.data.settings.Conf_Interval, "3");
    EXPECT_EQ(h.data.subscriptions[9].Name, "Docs9");
    EXPECT_EQ(h.messages.messages.size(), 1u); // the eleventh line is cut
}

TEST(HeadlessBalloon, PrintsTitleAndEveryLineWhenTheTextIsSet)
{
    std::ostringstream out;
    HeadlessBalloon balloon(out);
    balloon.SetBalloonText("");
    balloon.SetBalloonTitle("Tessaly! ﾌｧｲﾙが更新されました");
    EXPECT_EQ(out.str(), "");
    balloon.SetBalloonText(balloon.BalloonText() + "報告書 3ﾌｧｲﾙ\r\n");
    balloon.SetBalloonText(balloon.BalloonText() + "議事録 1ﾌｧｲﾙ\r\n");
    EXPECT_EQ(balloon.BalloonText(), "報告書 3ﾌｧｲﾙ\r\n議事録 1ﾌｧｲﾙ\r\n");
    EXPECT_EQ(out.str(), "Tessaly! ﾌｧｲﾙが更新されました\n報告書 3ﾌｧｲﾙ\n"
                         "Tessaly! ﾌｧｲﾙが更新されました\n報告書 3ﾌｧｲﾙ\n議事録 1ﾌｧｲﾙ\n");
    // Any line break ends a line; the last line is kept.
    out.str("");
    balloon.SetBalloonTitle("T");
    balloon.SetBalloonText("a\nb\rc\r\n\r\nd");
    EXPECT_EQ(out.str(), "T\na\nb\nc\n\nd\n");
    // No escape sequence reaches the terminal: ESC, BEL, DEL and the C1
    // controls (here CSI) show in caret notation; the title stays one line.
    out.str("");
    balloon.SetBalloonTitle("T\x1b]0;owned\x07\r\n");
    balloon.SetBalloonText("\x1b[2Jred\x7f\tok\r\nc\xc2\x9b"
                           "1m é");
    EXPECT_EQ(out.str(), "T^[]0;owned^G^M^J\n^[[2Jred^?\tok\nc^[[1m é\n");
    EXPECT_EQ(balloon.BalloonText(), "\x1b[2Jred\x7f\tok\r\nc\xc2\x9b"
                                     "1m é");
}

TEST(HeadlessBalloonFeed, PrintsWhatTessalyctlSendsAndRefusesTheRest)
{
    TempFolder folder;
    std::ostringstream out;
    std::ostringstream log;
    HeadlessBalloon balloon(out);
    std::string error;
    {
        HeadlessBalloonFeed feed(folder.path(), balloon, log);
        ASSERT_TRUE(feed.listening()) << log.str();
        EXPECT_TRUE(SendBalloonFeed(folder.path(), "お知らせ", "一行目\r\n二行目", &error)) << error;
        EXPECT_EQ(balloon.BalloonText(), "一行目\r\n二行目");
        EXPECT_FALSE(SendBalloonFeed(folder.path(), "bad \xff\xfe", "x", &error));
        EXPECT_NE(error.find("not UTF-8"), std::string::npos) << error;
        EXPECT_FALSE(RequestMainWindow(folder.path(), &error));
        EXPECT_NE(error.find("no window"), std::string::npos) << error;
        {
            // A second listener on the folder stays closed and leaves the first alone.
            HeadlessBalloonFeed second(folder.path(), balloon, log);
            EXPECT_FALSE(second.listening());
            EXPECT_NE(log.str().find("another copy"), std::string::npos) << log.str();
        }
        EXPECT_TRUE(SendBalloonFeed(folder.path(), "T", "again", &error)) << error;
    }
    EXPECT_EQ(out.str(), "お知らせ\n一行目\n二行目\nT\nagain\n");
    EXPECT_FALSE(SendBalloonFeed(folder.path(), "T", "late", &error));
    EXPECT_NE(error.find("not running"), std::string::npos) << error;
}

TEST(HeadlessBalloonFeed, IdleClientsNeverKeepABalloonOut)
{
    TempFolder folder;
    std::ostringstream out;
    std::ostringstream log;
    HeadlessBalloon balloon(out);
    HeadlessBalloonFeed feed(folder.path(), balloon, log);
    ASSERT_TRUE(feed.listening()) << log.str();
    // Ten, then more than the feed serves at once: none sends a thing.
    for (size_t count : {size_t(10), kBalloonFeedMaxClients + 10}) {
        IdleFeedClients idle(*BalloonFeedSocketPath(folder.path(), false, nullptr), count);
        ASSERT_EQ(idle.connected(), count);
        std::string error;
        EXPECT_TRUE(SendBalloonFeed(folder.path(), "T", std::to_string(count), &error)) << error;
        // Those that made room were dropped before the balloon was answered.
        EXPECT_GE(idle.hungUp() + kBalloonFeedMaxClients, count + 1);
        EXPECT_TRUE(idle.allHungUp(std::chrono::seconds(15)));
    }
    EXPECT_EQ(out.str(), "T\n10\nT\n" + std::to_string(kBalloonFeedMaxClients + 10) + "\n");
}

TEST(HeadlessBalloonFeed, TakesOverTheSocketLeftByAnEndedRun)
{
    TempFolder folder;
    std::string error;
    const std::optional<std::string> path = BalloonFeedSocketPath(folder.path(), true, &error);
    ASSERT_TRUE(path) << error;
    // A program killed by SIGKILL leaves its socket behind, with nobody on it.
    const int left = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path->c_str(), path->size() + 1);
    ASSERT_EQ(::bind(left, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(left);
    std::ostringstream out;
    std::ostringstream log;
    HeadlessBalloon balloon(out);
    HeadlessBalloonFeed feed(folder.path(), balloon, log);
    ASSERT_TRUE(feed.listening()) << log.str();
    EXPECT_TRUE(SendBalloonFeed(folder.path(), "T", "text", &error)) << error;
    EXPECT_EQ(out.str(), "T\ntext\n");
}

TEST(SteadyMinuteTicks, StopsOnThePipeAndDeliversAMissedTickAtOnce)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    SteadyMinuteTicks ticks(std::chrono::hours(1), fds[0]);
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    EXPECT_FALSE(ticks.nextTick());
    ::close(fds[0]);
    ::close(fds[1]);
    // A period of zero is always missed: every call ticks without waiting.
    SteadyMinuteTicks missed(std::chrono::milliseconds(0), -1);
    EXPECT_TRUE(missed.nextTick());
    EXPECT_TRUE(missed.nextTick());
}

} // namespace

// SPDX-License-Identifier: MIT
// The resident program's start-up records and the headless balloon on
// standard output.
#include "support/RecordingMessages.h"
#include "support/TempFolder.h"

#include "resident/HeadlessBalloon.h"
#include "resident/ResidentData.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace tessaly;
using namespace tessaly::test;

namespace {

TEST(ResidentData, LoadsSettingsAndSubscriptionsAndReportsThroughMessages)
{
    TempFolder folder;
    BasicSettings settings;
    settings.Conf_Interval = "3";
    std::string error;
    ASSERT_TRUE(SaveBasicSettings(settings, folder.path(), &error)) << error;
    std::string lines;
    for (int i = 0; i < 11; ++i)
        lines += "Docs" + std::to_string(i) + ",,/srv/docs,*.pdf,1,a@example.org,,\r\n";
    WriteFile(folder.file("subscription.dat"), lines);
    ResidentData data{folder.path(), {}, {}};
    data.settings.Conf_Interval = "stale value from before";
    RecordingMessages messages;
    std::ostringstream log;
    LoadResidentSettings(data, log);
    LoadResidentSubscriptions(data, messages);
    EXPECT_EQ(data.settings.Conf_Interval, "3");
    EXPECT_EQ(data.subscriptions[9].Name, "Docs9");
    EXPECT_EQ(messages.messages.size(), 1u); // the eleventh line is cut
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

} // namespace

// SPDX-License-Identifier: MIT
// The outbox as files: a notice comes back exactly as it was stored, a
// draft never shows as a notice, and a notice never names a file outside
// its own folder.
#include "support/FixedClock.h"
#include "support/RecordingMailTransfer.h"
#include "support/TempFolder.h"

#include "common/DataFolderLock.h"
#include "common/FileSystem.h"
#include "notify/OAuthSignIn.h"
#include "notify/Outbox.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

TEST(OAuthSignIn, TheAccessTokenIsCachedRenewedOrTheSignInToldOnce)
{
    using Status = AccessTokenResult::Status;
    struct Case {
        const char* name;
        int64_t expiresIn;                 ///< of the stored access token
        std::optional<OAuthAnswer> answer; ///< of the refresh request
        Status status;
        const char* token;
        std::vector<bool> told; ///< on each of the calls
    };
    const Case cases[] = {
        {"cached", 61, {}, Status::Ready, "A0", {false, false}},
        {"renewed",
         59,
         OAuthAnswer{200, R"({"access_token":"A1","expires_in":3600})"},
         Status::Ready,
         "A1",
         {false, false}},
        {"revoked", 0, OAuthAnswer{400, R"({"error":"invalid_grant"})"}, Status::SignInNeeded, "", {true, false}},
        {"unknown client",
         0,
         OAuthAnswer{401, R"({"error":"invalid_client"})"},
         Status::ClientRejected,
         "",
         {true, false}},
        {"server fault", 0, OAuthAnswer{500, "<html>"}, Status::Failed, "", {true, true}},
        {"no answer", 0, {}, Status::Failed, "", {true, true}},
    };
    const int64_t now = 1'765'000'000;
    test::SteppingClock clock(now);
    BasicSettings settings;
    settings.Conf_SmtpAuth = 1;
    settings.Conf_MailAuth = kMailAuthOther;
    settings.Conf_OAuthClient = "client";
    settings.Conf_OAuthTokenUrl = "https://id.example.com/token";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempFolder data;
        std::string error;
        ASSERT_TRUE(
            SaveStoredTokens(data.path(), {"client", "me@example.jp", "R0", "A0", now + c.expiresIn, {}}, 1, &error))
            << error;
        test::RecordingMailTransfer transfer;
        transfer.oauthAnswer = c.answer;
        for (bool told : c.told) {
            const AccessTokenResult result = ObtainAccessToken(transfer, settings, data.path(), clock, 1);
            EXPECT_EQ(result.status, c.status);
            EXPECT_EQ(result.token, c.token);
            EXPECT_EQ(result.tell, told);
            EXPECT_EQ(result.message.find("R0"), std::string::npos);
        }
        if (c.expiresIn > 60)
            EXPECT_TRUE(transfer.posts.empty());
        else
            EXPECT_EQ(transfer.posts.at(0), "https://id.example.com/token grant_type=refresh_token&client_id=client"
                                            "&refresh_token=R0");
    }
}

TEST(OAuthSignIn, ARenewalHoldsTheStoreSoThatARotatedRefreshTokenIsNeverLost)
{
    const int64_t now = 1'765'000'000;
    test::SteppingClock clock(now);
    BasicSettings settings;
    settings.Conf_SmtpAuth = 1;
    settings.Conf_MailAuth = kMailAuthOther;
    settings.Conf_OAuthClient = "client";
    settings.Conf_OAuthTokenUrl = "https://id.example.com/token";
    test::TempFolder data;
    std::string error;
    ASSERT_TRUE(SaveStoredTokens(data.path(), {"client", "me", "R0", "A0", now, {}}, 1, &error)) << error;
    test::RecordingMailTransfer transfer;
    transfer.oauthAnswer = OAuthAnswer{200, R"({"access_token":"A1","expires_in":30,"refresh_token":"R1"})"};
    // Another renewal (tessalyctl's, the program's) cannot write the store
    // while this one waits for the provider ...
    transfer.onOAuthPost = [&] {
        std::string busy;
        EXPECT_FALSE(SaveStoredTokens(data.path(), {"client", "me", "R0", "B1", now + 3600, {}}, 0, &busy));
        EXPECT_EQ(busy, kDataFolderBusy);
    };
    EXPECT_EQ(ObtainAccessToken(transfer, settings, data.path(), clock, 1).token, "A1");
    // ... and the next one renews with the rotated token.
    transfer.onOAuthPost = nullptr;
    ObtainAccessToken(transfer, settings, data.path(), clock, 1);
    ASSERT_EQ(transfer.posts.size(), 2u);
    EXPECT_NE(transfer.posts[1].find("&refresh_token=R1"), std::string::npos) << transfer.posts[1];
}

TEST(OAuthSignIn, AProviderDescriptionIsShownOnOneLineAndCutAtACharacter)
{
    std::string description = "a\r\n";
    for (int i = 0; i < 100; ++i)
        description += "あ";
    std::string shown = "a??";
    for (int i = 0; i < 65; ++i) // 3 + 65 * 3 bytes: the next one would pass 200
        shown += "あ";
    EXPECT_EQ(DescribeTokenError("invalid_request", description),
              "トークンを取得できませんでした (invalid_request: " + shown + "…)");
}

TEST(Outbox, NoticesComeBackAsStoredOldestFirstAndDraftsNeverShow)
{
    test::TempFolder data;
    Outbox outbox(data.path());
    Notice notice;
    notice.rowName = "日報 %41\r\nFORGED: line";
    notice.recipients = "a@example.jp;b@example.jp";
    notice.managementNo = "1405090612";
    notice.subject = "【Tessaly!】日報";
    notice.body = "line one\r\n/srv/tab\there\x01.doc\r\n";
    notice.attachments = {"1/report.doc", "a.doc.zip"};
    notice.password = "ABCDEFGHIJ";
    notice.created = 1'765'000'000;
    for (int row : {3, 0}) {
        Outbox::Draft draft;
        std::string error;
        ASSERT_TRUE(outbox.begin(&draft, &error)) << error;
        test::WriteFile(JoinPath(draft.folder, "a.doc.zip"), "archive");
        Notice stored = notice;
        stored.created += row == 0 ? 1 : 0; // made later, listed later
        ASSERT_TRUE(outbox.add(draft, static_cast<size_t>(row), &stored, &error)) << error;
    }
    Outbox::Draft abandoned;
    std::string error;
    ASSERT_TRUE(outbox.begin(&abandoned, &error));
    std::vector<Notice> notices = outbox.list();
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0].id.substr(14, 4), "-04-");
    Notice expected = notice;
    expected.id = notices[0].id;
    EXPECT_EQ(notices[0], expected);
    EXPECT_EQ(test::ReadFile(JoinPath(outbox.folderOf(notices[0]), "a.doc.zip")), "archive");
    // Attempts are kept; a removed notice takes its files along.
    notices[0].attempts = 3;
    notices[0].updateSent = true;
    ASSERT_TRUE(outbox.update(notices[0], &error)) << error;
    EXPECT_EQ(outbox.list()[0], notices[0]);
    ASSERT_TRUE(outbox.remove(notices[0], &error)) << error;
    EXPECT_FALSE(PathExists(outbox.folderOf(notices[0])));
    outbox.removeDrafts();
    EXPECT_FALSE(PathExists(abandoned.folder));
    EXPECT_EQ(outbox.list().size(), 1u);
}

TEST(Outbox, ANoticeThatNamesAFileOutsideItsFolderIsNotRead)
{
    for (const char* attachment : {"../../sysconfig.dat", "/etc/passwd", ""}) {
        Notice notice;
        notice.attachments = {attachment};
        Notice read;
        EXPECT_FALSE(ParseNotice(FormatNotice(notice), &read)) << attachment;
    }
    Notice read;
    EXPECT_FALSE(ParseNotice("created=12x\n", &read));
    EXPECT_FALSE(ParseNotice("body=%4\n", &read));
}

} // namespace
} // namespace tessaly

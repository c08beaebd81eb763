// SPDX-License-Identifier: MIT
// The outbox as files: a notice comes back exactly as it was stored, a
// draft never shows as a notice, and a notice never names a file outside
// its own folder.
#include "support/FixedClock.h"
#include "support/RecordingMailTransfer.h"
#include "support/TempFolder.h"

#include "common/DataFolderLock.h"
#include "common/FileSystem.h"
#include "notify/OAuthGrant.h"
#include "notify/OAuthSignIn.h"
#include "notify/Outbox.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tessaly {
namespace {

/// An SMTP login by a token of a provider of the user's own.
BasicSettings OtherProviderSignIn()
{
    BasicSettings settings;
    settings.Conf_SmtpAuth = 1;
    settings.Conf_MailAuth = kMailAuthOther;
    settings.Conf_OAuthClient = "client";
    settings.Conf_OAuthTokenUrl = "https://id.example.com/token";
    return settings;
}

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
    const BasicSettings settings = OtherProviderSignIn();
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

/// `request` sent to the loopback port as a browser sends it: the answer.
std::string BrowserRequest(int port, const std::string& request)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            answer.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return answer;
}

/// The text of `address` between `from` and the next `to`.
std::string Between(const std::string& address, const std::string& from, char to)
{
    const size_t start = address.find(from);
    if (start == std::string::npos)
        return {};
    const size_t begin = start + from.size();
    return address.substr(begin, address.find(to, begin) - begin);
}

TEST(BrowserSignIn, OnlyTheRedirectOfThisSignInIsExchangedAndTheIdTokenNamesTheAccount)
{
    struct Case {
        const char* name;
        std::string query; ///< of the redirect; STATE is this sign-in's state
        const char* told;  ///< "": signed in
    };
    const Case cases[] = {
        {"signed in", "code=C1&state=STATE", ""},
        {"another sign-in's state", "code=C1&state=xSTATE", "state が一致しません"},
        {"refused", "error=access_denied&state=STATE", "サインインが拒否されました"},
    };
    BasicSettings settings;
    settings.Conf_MailAuth = kMailAuthOther;
    settings.Conf_OAuthClient = "client";
    settings.Conf_OAuthSecret = "secret";
    settings.Conf_OAuthTokenUrl = "https://id.example.com/token";
    settings.Conf_OAuthAuthUrl = "https://id.example.com/authorize";
    settings.Conf_SmtpAuthUser = "me@example.jp";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempFolder data;
        test::RecordingMailTransfer transfer;
        // The id_token's payload: {"email":"named@example.jp"}.
        transfer.oauthAnswer = OAuthAnswer{
            200, R"({"access_token":"A","refresh_token":"R","id_token":"h.eyJlbWFpbCI6Im5hbWVkQGV4YW1wbGUuanAifQ.s"})"};
        BrowserSignIn signIn;
        std::string error;
        ASSERT_TRUE(signIn.start(settings, &error)) << error;
        const std::string& address = signIn.address();
        EXPECT_TRUE(address.starts_with("https://id.example.com/authorize?response_type=code&client_id=client"));
        EXPECT_NE(address.find("code_challenge_method=S256"), std::string::npos);
        EXPECT_EQ(address.find("secret"), std::string::npos);
        const int port = std::stoi(Between(address, "redirect_uri=http%3A%2F%2F127.0.0.1%3A", '%'));
        std::string query = c.query;
        query.replace(query.find("STATE"), 5, Between(address, "&state=", '&'));
        std::string icon;
        std::string page;
        std::thread browser([&] {
            icon = BrowserRequest(port, "GET /favicon.ico HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
            page = BrowserRequest(port, "GET /?" + query + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        });
        const SignInCancel cancel;
        const SignInOutcome outcome = signIn.finish(transfer, data.path(), cancel, 30);
        browser.join();
        EXPECT_TRUE(icon.starts_with("HTTP/1.1 404")) << icon;
        EXPECT_TRUE(page.starts_with("HTTP/1.1 200")) << page;
        EXPECT_EQ(outcome.signedIn, *c.told == '\0') << outcome.message;
        EXPECT_NE(outcome.message.find(c.told), std::string::npos) << outcome.message;
        StoredTokens tokens;
        EXPECT_EQ(LoadStoredTokens(data.path(), &tokens, &error), outcome.signedIn);
        if (!outcome.signedIn) {
            EXPECT_TRUE(transfer.posts.empty());
            continue;
        }
        EXPECT_EQ(outcome.account, "named@example.jp");
        EXPECT_EQ(tokens.account, "named@example.jp");
        ASSERT_EQ(transfer.posts.size(), 1u);
        for (const char* part : {"grant_type=authorization_code&code=C1&redirect_uri=http%3A%2F%2F127.0.0.1%3A",
                                 "&client_id=client&client_secret=secret&code_verifier="})
            EXPECT_NE(transfer.posts[0].find(part), std::string::npos) << transfer.posts[0];
    }
    // A sign-in waiting for the browser ends at once when cancelled.
    BrowserSignIn waiting;
    std::string error;
    ASSERT_TRUE(waiting.start(settings, &error)) << error;
    SignInCancel cancel;
    std::thread user([&cancel] { cancel.cancel(); });
    test::RecordingMailTransfer transfer;
    EXPECT_TRUE(waiting.finish(transfer, "/nonexistent", cancel, 600).cancelled);
    user.join();
}

TEST(OAuthSignIn, ARenewalHoldsTheStoreSoThatARotatedRefreshTokenIsNeverLost)
{
    const int64_t now = 1'765'000'000;
    test::SteppingClock clock(now);
    const BasicSettings settings = OtherProviderSignIn();
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

// SPDX-License-Identifier: MIT
// The mail-transfer component without a server: how it reads its
// arguments, the MIME form of a mail as Python's email parser sees it, the
// masking of mail.log, and the UTF-8 boundary.
#include "MailCheck.h"
#include "MessageSource.h"
#include "MimeMessage.h"
#include "ScriptedSmtpServer.h"
#include "Submission.h"
#include "TransferLog.h"
#include "common/PathField.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <random>
#include <sys/stat.h>

extern "C" const char* SendMailEx(const char*, const char*, const char*, const char*, const char*, const char*,
                                  const char*);
extern "C" const char* RcvMail(const char*, const char*, const char*, const char*, const char*);
extern "C" const char* OAuthPost(const char*, const char*, int32_t*);

namespace tessaly::mail {
namespace {

Submission Parsed(const std::string& recipients, const std::string& sender, std::string* error)
{
    Submission submission;
    error->clear();
    ParseSubmission({"mail.example.jp\t587", recipients, sender, "s", "b", ""}, &submission, error);
    return submission;
}

TEST(MailComponent, RecipientsAreTrimmedAndKeepTheirKindAndTheSenderCarriesCredentials)
{
    std::string error;
    Submission s = Parsed("bcc\ta@x.jp\t b@x.jp \t\tc@x.jp\t", "me@x.jp", &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(s.recipients.size(), 3u);
    EXPECT_EQ(s.recipients[1].address, "b@x.jp");
    EXPECT_EQ(s.recipients[2].kind, Recipient::Kind::Bcc);

    s = Parsed("to\ta@x.jp\tCC\tb@x.jp\tbcc\tc@x.jp", "me@x.jp", &error);
    ASSERT_EQ(s.recipients.size(), 3u);
    EXPECT_EQ(s.recipients[0].kind, Recipient::Kind::To);
    EXPECT_EQ(s.recipients[1].kind, Recipient::Kind::Cc);

    // The sender spec carries the credentials; a password may hold ":".
    s = Parsed("bcc\ta@x.jp", "me@x.jp\tuser:pa:ss\tcram-md5", &error);
    ASSERT_TRUE(s.credentials.has_value()) << error;
    EXPECT_EQ(s.credentials->user, "user");
    EXPECT_EQ(s.credentials->password, "pa:ss");
    EXPECT_EQ(s.credentials->mechanism, Credentials::Mechanism::CramMd5);
    EXPECT_FALSE(Parsed("bcc\ta@x.jp", "me@x.jp", &error).credentials.has_value());
    // The OAuth mechanisms carry the access token where the password goes.
    const std::pair<std::string, Credentials::Mechanism> mechanisms[] = {
        {"", Credentials::Mechanism::Password},
        {"\tXOAUTH2", Credentials::Mechanism::XOAuth2},
        {"\t oauthbearer", Credentials::Mechanism::OAuthBearer},
        {"\tDIGEST-MD5", Credentials::Mechanism::Password},
    };
    for (const auto& [field, mechanism] : mechanisms) {
        s = Parsed("bcc\ta@x.jp", "me@x.jp\tme@x.jp:ya29.a0-b_c~d+e/f==" + field, &error);
        ASSERT_TRUE(s.credentials.has_value()) << error;
        EXPECT_EQ(s.credentials->mechanism, mechanism) << field;
        EXPECT_EQ(s.credentials->password, "ya29.a0-b_c~d+e/f==");
    }
}

TEST(MailComponent, ArgumentsThatCannotBeSentAreRefusedWithAReason)
{
    const std::pair<std::pair<std::string, std::string>, std::string> cases[] = {
        {{"bcc\t", "me@x.jp"}, "宛先のアドレスが設定されていません"},
        {{"bcc\ta@x.jp\r\nRCPT TO:<evil@x.jp>", "me@x.jp"}, "宛先のアドレスが正しくありません: \"a@x.jp\r\nRCPT"},
        {{"bcc\t<a@x.jp>", "me@x.jp"}, "宛先のアドレスが正しくありません: \"<a@x.jp>\""},
        {{"bcc\ta@x.jp", ""}, "送信者のアドレスが設定されていません"},
        {{"bcc\ta@x.jp", "me@x.jp\r\nDATA"}, "送信者のアドレスが正しくありません: \"me@x.jp\r\nDATA\""},
        {{"bcc\ta@x.jp", "me@x.jp\t:"}, "ユーザー名が設定されていません"},
        {{"bcc\ta@x.jp", "me@x.jp\tu:p\r\nw"}, "制御文字"},
        {{"bcc\ta@x.jp", "me@x.jp\tu:\tXOAUTH2"}, "アクセストークンがありません"},
        {{"bcc\ta@x.jp", "me@x.jp\tu:Bearer abc\tOAUTHBEARER"}, "アクセストークンに使えない文字"},
    };
    for (const auto& [arguments, reason] : cases) {
        std::string error;
        Parsed(arguments.first, arguments.second, &error);
        EXPECT_NE(error.find(reason), std::string::npos) << arguments.first << " -> " << error;
    }
}

TEST(MailComponent, ServerSpecsAreCheckedBeforeAnyConnection)
{
    const std::pair<std::string, std::string> good[] = {
        {"mail.example.jp", "mail.example.jp:25"},
        {" mail.example.jp \t", "mail.example.jp:25"},
        {"127.0.0.1\t2525", "127.0.0.1:2525"},
        {"[::1]\t587", "[::1]:587"},
        {"::1\t587", "[::1]:587"},
    };
    for (const auto& [serverText, text] : good) {
        ServerAddress server;
        std::string error;
        EXPECT_TRUE(ParseServerSpec(serverText, 25, "SMTP", &server, &error)) << serverText << ": " << error;
        EXPECT_EQ(server.Text(), text);
    }
    for (std::string serverText : {"\t25", "mail.example.jp\tsmtp", "mail.example.jp\t0", "mail.example.jp\t65536",
                                   "mail/evil\t25", "a b\t25", "user@host\t25"}) {
        ServerAddress server;
        std::string error;
        EXPECT_FALSE(ParseServerSpec(serverText, 25, "SMTP", &server, &error)) << serverText;
        EXPECT_NE(error.find("SMTP"), std::string::npos) << error;
    }
}

std::string WriteBytes(const test::TempFolder& folder, const std::string& name, size_t size)
{
    std::mt19937 random(static_cast<unsigned>(size));
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    test::WriteFile(folder.file(name), bytes);
    return folder.file(name);
}

TEST(MailComponent, MimeFormReadsBackExactlyInPython)
{
    test::TempFolder folder;
    const std::vector<std::string> names = {
        "営業資料 第1版.xlsx",
        std::string("長い名前の文書") + std::string(40, 'x') + "〜とても長い名前の文書です。最終版（改訂）.docx",
        "quote\"and\\back slash.txt",
        "=?UTF-8?B?YQ==?=.txt",
        std::string(70, 'a') + ".pdf",
        "emoji 😀.pdf",
        "caf\u00e9 \u301c \u30ab\u3099.txt",
        "bad\xff\xfe byte.txt", // shown with U+FFFD, read from its real bytes
    };
    Submission submission;
    submission.sender = "me@example.jp";
    submission.recipients = {{"hidden-reader@example.jp", Recipient::Kind::Bcc}};
    submission.subject =
        "【Tessaly!】" + std::string(30, 'x') + "非常に長い購読名の文書が更新されました。管理No:1405090612";
    submission.body = "一行目\n\n二行目\xff\r\n三行目\r\n";
    test::ExpectedMail expected{submission.subject, "me@example.jp", "一行目\r\n\r\n二行目\uFFFD\r\n三行目\r\n", {}};
    size_t size = 0;
    for (const std::string& name : names) {
        // The largest crosses several read chunks; one is empty.
        std::string path = WriteBytes(folder, name, size);
        submission.attachments.push_back(path);
        expected.attachments.push_back({ValidUtf8(name), path});
        size = size * 2 + 20000;
    }
    MessageSource source;
    std::string error;
    ASSERT_TRUE(MimeMessage::Compose(submission, std::time(nullptr), &source, &error)) << error;
    const std::string message = source.ReadAll();
    ASSERT_TRUE(source.Rewind());
    EXPECT_EQ(source.ReadAll(), message);

    size_t start = 0;
    for (size_t end = message.find("\r\n"); end != std::string::npos; end = message.find("\r\n", start)) {
        EXPECT_LE(end - start, 78u) << message.substr(start, end - start);
        start = end + 2;
    }
    EXPECT_EQ(message.find("hidden-reader@example.jp"), std::string::npos) << "a blind copy shows its recipient";
    test::WriteFile(folder.file("message.eml"), message);
    test::MailboxCheck check;
    check.files = {folder.file("message.eml")};
    check.messages = {expected};
    check.waitSeconds = 0;
    EXPECT_EQ(test::RunMailCheck(check), "ok");
}

TEST(MailComponent, MissingAttachmentStopsTheMailBeforeItStarts)
{
    test::TempFolder folder;
    Submission submission;
    submission.sender = "me@example.jp";
    submission.attachments = {folder.path(), folder.file("gone\xff.pdf")};
    MessageSource source;
    std::string error;
    EXPECT_FALSE(MimeMessage::Compose(submission, 0, &source, &error));
    EXPECT_EQ(error, "添付ファイルが通常のファイルではありません: " + folder.path());
    submission.attachments.erase(submission.attachments.begin());
    EXPECT_FALSE(MimeMessage::Compose(submission, 0, &source, &error));
    EXPECT_EQ(error, "添付ファイルがありません: " + folder.file("gone\uFFFD.pdf"));
}

TEST(MailComponent, LogNeverHoldsCredentials)
{
    test::TempFolder folder;
    TransferLog log(folder.file("mail.log"));
    log.Begin("SendMailEx test");
    log.AddSecret("pa55word");
    log.Sent("EHLO host");
    log.Sent("AUTH PLAIN AHVzZXIAcGE1NXdvcmQ=");
    log.Received("235 2.7.0 Authentication successful");
    log.Sent("AUTH CRAM-MD5");
    log.Received("334 PDEyMzQ1QGhvc3Q+");
    log.Sent("dXNlciBkZWFkYmVlZg==");
    log.Received("535 5.7.8 Error: authentication failed");
    log.Sent("AUTH LOGIN");
    log.Received("334 VXNlcm5hbWU6");
    log.Sent("dXNlcg==");
    log.Received("334 UGFzc3dvcmQ6");
    log.Sent("cGE1NXdvcmQ=");
    log.Received("235 ok");
    log.Sent("AUTH XOAUTH2");
    log.Received("334 ");
    log.Sent("dXNlcj11c2VyAWF1dGg9QmVhcmVyIHBhNTV3b3JkAQE=");
    log.Received("334 eyJzdGF0dXMiOiI0MDEifQ==");
    log.Sent("");
    log.Received("535 5.7.8 Error: authentication failed");
    log.Sent("PASS pa55word");
    log.Sent("MAIL FROM:<me@example.jp>");
    log.Finish("server said pa55word");
    const std::string text = test::ReadFile(folder.file("mail.log"));
    for (const char* secret : {"pa55word", "AHVzZXIAcGE1NXdvcmQ=", "PDEyMzQ1QGhvc3Q+", "dXNlciBkZWFkYmVlZg==",
                               "dXNlcg==", "cGE1NXdvcmQ=", "dXNlcj11c2VyAWF1dGg9QmVhcmVyIHBhNTV3b3JkAQE="})
        EXPECT_EQ(text.find(secret), std::string::npos) << secret << " in\n" << text;
    for (const char* kept : {"> AUTH PLAIN ****", "> AUTH CRAM-MD5\r\n", "< 535 5.7.8", "> AUTH XOAUTH2\r\n",
                             "> PASS ****", "> MAIL FROM:<me@example.jp>", "= failed: server said ****"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept << " missing from\n" << text;
}

TEST(MailComponent, LargeLogIsSetAsideBeforeTheNextBlock)
{
    test::TempFolder folder;
    test::WriteFile(folder.file("mail.log"), std::string(1024 * 1024 + 1, 'x'));
    TransferLog log(folder.file("mail.log"));
    log.Begin("SendMailEx test");
    log.Finish("");
    EXPECT_EQ(test::ReadFile(folder.file("mail.log.old")).size(), 1024u * 1024 + 1);
    EXPECT_NE(test::ReadFile(folder.file("mail.log")).find("= accepted"), std::string::npos);
}

TEST(MailComponent, ExportsSpeakUtf8AndSurviveNullArguments)
{
    EXPECT_STREQ(SendMailEx(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
                 "SMTP サーバーが設定されていません");
    EXPECT_STREQ(RcvMail(nullptr, nullptr, nullptr, nullptr, nullptr), "POP3 サーバーが設定されていません");

    // Paths are bytes: a data folder that is not UTF-8 still gets its log.
    test::TempFolder folder;
    const std::string data = folder.file("data\xe9");
    ASSERT_EQ(::mkdir(data.c_str(), 0700), 0);
    test::WriteFile(data + "/ok.pdf", "ok");
    const std::string missing = data + "/営業資料\xff.pdf";
    const std::string server = "127.0.0.1\t" + std::to_string(test::ClosedPort());
    const std::string result = SendMailEx((data + "/mail.log").c_str(), server.c_str(), "bcc\ta@example.jp",
                                          "me@example.jp", "件名", "", (data + "/ok.pdf\t" + missing).c_str());
    EXPECT_EQ(result, "添付ファイルがありません: " + ValidUtf8(missing));
    EXPECT_NE(test::ReadFile(data + "/mail.log").find("= failed: " + result + "\r\n"), std::string::npos);
}

TEST(MailComponent, TokenRequestsGoOnlyOverHttpsOrToThisMachine)
{
    struct Case {
        std::string url;
        const char* told;
    };
    const Case cases[] = {
        {"http://login.example.com/token", "https:// で始まる必要があります"},
        {"http://127.0.0.1.example.com/token", "https:// で始まる必要があります"},
        {"", "https:// で始まる必要があります"},
        {"http://127.0.0.1:" + std::to_string(test::ClosedPort()) + "/token", "に接続できませんでした"},
    };
    for (const Case& c : cases) {
        int32_t status = -1;
        const std::string text = OAuthPost(c.url.c_str(), "grant_type=x&refresh_token=secret", &status);
        EXPECT_EQ(status, 0) << c.url;
        EXPECT_NE(text.find(c.told), std::string::npos) << c.url << ": " << text;
        EXPECT_EQ(text.find("secret"), std::string::npos) << text;
    }
    int32_t status = -1;
    EXPECT_NE(std::string(OAuthPost(nullptr, nullptr, &status)), "");
    EXPECT_EQ(status, 0);
}

} // namespace
} // namespace tessaly::mail

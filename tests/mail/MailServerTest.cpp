// SPDX-License-Identifier: MIT
// The two mails through the real mail-transfer component, as the program
// sends them, against a real Postfix and Dovecot on loopback; delivered
// mail is read back from the Maildirs with Python's email parser.
#include "MailServer.h"
#include "MailCheck.h"
#include "TokenClient.h"
#include "common/PathField.h"
#include "notify/ComponentMailTransfer.h"
#include "notify/NotificationMail.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace tessaly {
namespace {

using test::MailServer;

class MailServerTest : public ::testing::Test {
protected:
    const MailServer& server = MailServer::Get();
    test::TempFolder data;
    ComponentMailTransfer transfer;
    BasicSettings settings;

    void SetUp() override
    {
        settings.Conf_Mail = 1;
        settings.Conf_SmtpSrv = "127.0.0.1";
        settings.Conf_SmtpPort = std::to_string(server.submitPort());
        settings.Conf_SmtpAddr = server.address("sender");
    }

    void UseAuthentication(bool cramMd5, const std::string& password)
    {
        settings.Conf_SmtpPort = std::to_string(server.authPort());
        settings.Conf_SmtpAuth = 1;
        settings.Conf_SmtpAuthMD5 = cramMd5 ? 1 : 0;
        settings.Conf_SmtpAuthUser = server.address("sender");
        settings.Conf_SmtpAuthPasswd = password;
    }

    MailOutcome SendUpdate(const std::string& recipients, const std::string& name, const std::string& number,
                           const std::string& documents = "/srv/文書/a.doc\r\n",
                           const std::vector<std::string>& attachments = {})
    {
        return SendUpdateMail({transfer, settings, data.path()}, recipients, name, documents, attachments, number);
    }

    std::string MailLog() const { return test::ReadFile(data.file("mail.log")); }

    static std::string UpdateSubject(const std::string& name, const std::string& number)
    {
        return "【Tessaly!】" + name + " の文書が更新されました。管理No:" + number;
    }

    /// "ok" once `user` has the update mail of `name` and `number` that
    /// SendUpdate sends by default, without attachments.
    std::string ReceivedUpdate(const std::string& user, const std::string& name, const std::string& number) const
    {
        test::MailboxCheck check;
        check.maildir = server.maildir(user);
        check.messages = {{UpdateSubject(name, number),
                           server.address("sender"),
                           name + " の文書が更新されました。\r\n\r\n/srv/文書/a.doc\r\n",
                           {}}};
        return test::RunMailCheck(check);
    }
};

std::string Text(const MailOutcome& outcome)
{
    return outcome.isSent() ? "sent" : std::to_string(outcome.code()) + " " + outcome.text();
}

TEST_F(MailServerTest, UpdateAndPasswordMailsReachEveryRecipientIntact)
{
    UseAuthentication(false, server.password("sender"));
    const std::string documents = "/srv/営業部/見積書 第2版.xlsx\r\n/srv/営業部/report.pdf\r\n";
    test::WriteFile(data.file("見積書 第2版.xlsx.zip"), std::string("PK\x03\x04 first archive"));
    test::WriteFile(data.file("report.pdf.zip"), std::string(300000, '\xA5'));
    const std::vector<std::string> attachments = {data.file("見積書 第2版.xlsx.zip"), data.file("report.pdf.zip")};
    // The space after the second ";" stays in front of the address.
    const std::string recipients = "alice@tessaly.test;bob@tessaly.test; carol@tessaly.test";

    EXPECT_EQ(Text(SendUpdate(recipients, "営業資料", "1405090612", documents, attachments)), "sent");
    EXPECT_EQ(Text(SendPasswordMail({transfer, settings, data.path()}, recipients, "QWERTYUIOP", "1405090612")),
              "sent");

    test::ExpectedMail update{UpdateSubject("営業資料", "1405090612"),
                              server.address("sender"),
                              "営業資料 の文書が更新されました。\r\n\r\n" + documents,
                              {{"見積書 第2版.xlsx.zip", data.file("見積書 第2版.xlsx.zip")},
                               {"report.pdf.zip", data.file("report.pdf.zip")}}};
    test::ExpectedMail password{"【Tessaly!】管理No:1405090612 のパスワードを通知します。",
                                server.address("sender"),
                                "管理No:1405090612のパスワードは QWERTYUIOPです。\r\n\r\n",
                                {}};
    const std::vector<std::string> users = {"alice", "bob", "carol"};
    for (const std::string& user : users) {
        test::MailboxCheck check;
        check.maildir = server.maildir(user);
        check.messages = {update, password};
        for (const std::string& other : users) {
            check.hidden.push_back(server.address(other));
            if (other != user)
                check.absent.push_back(server.address(other));
        }
        EXPECT_EQ(test::RunMailCheck(check), "ok") << user;
    }
}

TEST_F(MailServerTest, AttachmentsOfAnyNameArriveUnderTheirNamesAndAnyDataFolderGetsItsLog)
{
    const std::string folder = data.file("caf\u00e9");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    const std::string names[] = {"caf\u00e9.doc", "wave\u301c.doc", "emoji \U0001F600.pdf", "bad\xff byte.doc",
                                 "tab\tname.doc"};
    std::vector<test::ExpectedAttachment> expected;
    std::vector<std::string> attachments;
    uint32_t seed = 1;
    for (const std::string& name : names) {
        std::string bytes(5000, '\0');
        for (char& c : bytes)
            c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
        test::WriteFile(folder + "/" + name, bytes);
        attachments.push_back(folder + "/" + name);
        // A name that is not UTF-8 is shown with U+FFFD; its file is read from the real bytes.
        expected.push_back({ValidUtf8(name), folder + "/" + name});
    }
    const std::string documents = folder + "/bad\xff byte.doc\r\n";
    EXPECT_EQ(Text(SendUpdateMail({transfer, settings, folder}, "alice@tessaly.test", "\u540d\u524d", documents,
                                  attachments, "5000000001")),
              "sent");
    test::MailboxCheck check;
    check.maildir = server.maildir("alice");
    check.messages = {{UpdateSubject("\u540d\u524d", "5000000001"), server.address("sender"),
                       "\u540d\u524d の文書が更新されました。\r\n\r\n" + ValidUtf8(documents), expected}};
    EXPECT_EQ(test::RunMailCheck(check), "ok");
    EXPECT_NE(test::ReadFile(folder + "/mail.log").find("= accepted"), std::string::npos);
}

TEST_F(MailServerTest, PlainAndCramMd5LogInOverTlsAndTheLogKeepsNoSecret)
{
    for (bool cramMd5 : {false, true}) {
        UseAuthentication(cramMd5, server.password("sender"));
        const std::string number = cramMd5 ? "0000000002" : "0000000001";
        EXPECT_EQ(Text(SendUpdate("alice@tessaly.test", "認証", number, "/srv/secret-plan.doc\r\n")), "sent");
        test::MailboxCheck check;
        check.maildir = server.maildir("alice");
        check.messages = {{UpdateSubject("認証", number),
                           server.address("sender"),
                           "認証 の文書が更新されました。\r\n\r\n/srv/secret-plan.doc\r\n",
                           {}}};
        EXPECT_EQ(test::RunMailCheck(check), "ok");
    }
    const std::string log = MailLog();
    for (const char* expected :
         {"> STARTTLS", "SSL connection using TLS", "システムの証明書で検証できません",
          "初めての接続として信頼しました", "記録したものと同じです", "> AUTH PLAIN", "> AUTH CRAM-MD5", "< 235 ",
          "> MAIL FROM:<sender@tessaly.test>", "> RCPT TO:<alice@tessaly.test>", "= accepted"})
        EXPECT_NE(log.find(expected), std::string::npos) << expected << " missing from\n" << log;
    // The server's own certificate was pinned on first use, with its offer
    // of STARTTLS, and the second mail went out on the same record.
    const std::string record = test::ReadFile(data.file("tls-fingerprints.txt"));
    const std::string key = "127.0.0.1:" + std::to_string(server.authPort());
    EXPECT_NE(record.find(key + " sha256 "), std::string::npos) << record;
    EXPECT_NE(record.find(key + " starttls\n"), std::string::npos) << record;
    EXPECT_EQ(log.find(server.password("sender")), std::string::npos) << log;
    EXPECT_EQ(log.find("secret-plan"), std::string::npos) << "the body reached the log:\n" << log;
}

TEST_F(MailServerTest, Port465SpeaksTlsFromTheFirstByte)
{
    UseAuthentication(true, server.password("sender"));
    settings.Conf_SmtpSrv = server.tlsHost();
    settings.Conf_SmtpPort = "465";
    EXPECT_EQ(Text(SendUpdate("bob@tessaly.test", "暗号", "0000000465")), "sent");
    EXPECT_EQ(ReceivedUpdate("bob", "暗号", "0000000465"), "ok");
    const std::string log = MailLog();
    EXPECT_EQ(log.find("STARTTLS"), std::string::npos) << log;
    EXPECT_LT(log.find("SSL connection using TLS"), log.find("< 220 ")) << log;
    const std::string record = test::ReadFile(data.file("tls-fingerprints.txt"));
    EXPECT_NE(record.find(server.tlsHost() + ":465 sha256 "), std::string::npos) << record;
    EXPECT_EQ(record.find("starttls"), std::string::npos) << record;
}

TEST_F(MailServerTest, RefusedMailsSayWhy)
{
    struct Case {
        std::string recipients, sender;
        std::vector<std::string> attachments;
        std::string expected;
        std::string password; ///< "" for no authentication, "-" for none on the port that demands it
    };
    const std::string missing = data.file("消えた文書.pdf");
    const Case cases[] = {
        {"nobody@tessaly.test", "", {}, "550 5.1.1 <nobody@tessaly.test>", ""},
        {"someone@example.com", "", {}, "Relay access denied", ""},
        {"alice@tessaly.test", "reject-content@tessaly.test", {}, "5.7.1 message content refused by policy", ""},
        {"alice@tessaly.test", "", {missing}, "添付ファイルがありません: " + missing, ""},
        {"alice@tessaly.test", "", {}, "認証に失敗しました: 535 ", "wrong-secret"},
        {"alice@tessaly.test", "", {}, "Access denied", "-"},
    };
    int number = 100;
    for (const Case& c : cases) {
        settings = BasicSettings();
        SetUp();
        if (c.password == "-")
            settings.Conf_SmtpPort = std::to_string(server.authPort());
        else if (!c.password.empty())
            UseAuthentication(false, c.password);
        if (!c.sender.empty())
            settings.Conf_SmtpAddr = c.sender;
        const std::string subjectNumber = std::to_string(1000000000 + ++number);
        MailOutcome outcome = SendUpdate(c.recipients, "拒否", subjectNumber, "/srv/a.doc\r\n", c.attachments);
        EXPECT_TRUE(outcome.isRefused()) << Text(outcome);
        EXPECT_NE(outcome.text().find(c.expected), std::string::npos) << outcome.text();
        // Nothing reaches even the good recipient of a refused mail.
        ASSERT_TRUE(server.queueHoldsNothingFor({"alice"}));
        test::MailboxCheck check;
        check.maildir = server.maildir("alice");
        check.waitSeconds = 0;
        check.missingSubjects = {UpdateSubject("拒否", subjectNumber)};
        EXPECT_EQ(test::RunMailCheck(check), "ok");
    }
    EXPECT_EQ(MailLog().find("wrong-secret"), std::string::npos);

    // A recipient refused among others: they get the mail, the refused one is named.
    settings = BasicSettings();
    SetUp();
    const MailOutcome outcome = SendUpdate("nobody@tessaly.test;alice@tessaly.test", "一部", "1000000200");
    EXPECT_TRUE(outcome.isSent());
    EXPECT_TRUE(outcome.refusedSome());
    EXPECT_NE(outcome.text().find("550 5.1.1 <nobody@tessaly.test>"), std::string::npos) << outcome.text();
    EXPECT_NE(outcome.text().find("RCPT TO:<nobody@tessaly.test>"), std::string::npos) << outcome.text();
    EXPECT_EQ(ReceivedUpdate("alice", "一部", "1000000200"), "ok");
}

TEST_F(MailServerTest, BearerTokensSignInByEitherMechanismAndStaleOnesAreRefused)
{
    const test::TokenClient tokens(server.tokenUrl());
    const std::string sender = server.address("sender");
    int number = 0;
    // The component's result for one update mail to alice, signed in with `token`.
    const auto send = [&](const std::string& token, const std::string& mechanism) {
        const std::string subjectNumber = "60000000" + std::to_string(10 + ++number);
        std::string error;
        std::optional<MailReply> reply =
            transfer.sendMailEx({data.file("mail.log"),
                                 "127.0.0.1\t" + std::to_string(server.authPort()),
                                 "bcc\talice@tessaly.test",
                                 sender + "\t" + sender + ":" + token + "\t" + mechanism,
                                 UpdateSubject("OAuth", subjectNumber),
                                 "OAuth の文書が更新されました。\r\n\r\n/srv/文書/a.doc\r\n",
                                 {}},
                                &error);
        const std::string result = reply ? reply->text : "no component: " + error;
        return result.empty() ? ReceivedUpdate("alice", "OAuth", subjectNumber) : result;
    };
    std::vector<std::string> secrets;
    for (const std::string mechanism : {"XOAUTH2", "OAUTHBEARER"}) {
        const std::string good = test::JsonString(tokens.Issue(sender), "access_token");
        ASSERT_FALSE(good.empty()) << "no token from " << server.tokenUrl();
        EXPECT_EQ(send(good, mechanism), "ok") << mechanism;

        // Expired, revoked with its refresh token, and issued to another user.
        const std::string issued = tokens.Issue(sender);
        tokens.Revoke(test::JsonString(issued, "refresh_token"));
        const std::string stale[] = {test::JsonString(tokens.Issue(sender, 0), "access_token"),
                                     test::JsonString(issued, "access_token"),
                                     test::JsonString(tokens.Issue(server.address("bob")), "access_token")};
        for (const std::string& token : stale) {
            const std::string result = send(token, mechanism);
            EXPECT_EQ(result.rfind("認証に失敗しました: 127.0.0.1:" + std::to_string(server.authPort()) +
                                       " がアクセストークンを受け付けませんでした。",
                                   0),
                      0u)
                << mechanism << ": " << result;
            secrets.push_back(token);
        }
        secrets.push_back(good);
    }
    const std::string log = MailLog();
    for (const char* expected : {"> AUTH XOAUTH2", "> AUTH OAUTHBEARER", "< 235 ", "< 535 ", "= accepted"})
        EXPECT_NE(log.find(expected), std::string::npos) << expected << " missing from\n" << log;
    // Neither the tokens nor the openings of the mechanisms' base64 answers
    // ("user=sender@", "n,a=sender@").
    secrets.insert(secrets.end(), {"dXNlcj1zZW5k", "bixhPXNlbmRl"});
    for (const std::string& secret : secrets)
        EXPECT_EQ(log.find(secret), std::string::npos) << secret << " in\n" << log;
}

/// The events of interest in the server log after `offset`: "login" for
/// the sender's POP3 logins, "submit" for accepted submissions.
std::vector<std::string> LoginsAndSubmissions(const std::string& log, size_t offset, const std::string& user)
{
    std::vector<std::string> events;
    std::istringstream lines(log.substr(std::min(offset, log.size())));
    for (std::string line; std::getline(lines, line);) {
        if (line.find("pop3-login: Info: Login: user=<" + user + ">") != std::string::npos)
            events.push_back("login");
        else if (line.find("postfix/smtpd[") != std::string::npos && line.find(": client=") != std::string::npos)
            events.push_back("submit");
    }
    return events;
}

TEST_F(MailServerTest, PopBeforeSmtpLogsInBeforeEachMail)
{
    settings.Conf_PopBeforeSMTP = 1;
    settings.Conf_PopSrv = "127.0.0.1";
    settings.Conf_PopPort = std::to_string(server.popPort());
    settings.Conf_PopUser = server.address("sender");
    settings.Conf_PopPasswd = server.password("sender");
    const size_t offset = test::ReadFile(server.logPath()).size();

    EXPECT_EQ(Text(SendUpdate("alice@tessaly.test", "POP", "3000000001")), "sent");
    EXPECT_EQ(
        Text(SendPasswordMail({transfer, settings, data.path()}, "alice@tessaly.test", "PASSWORDXY", "3000000001")),
        "sent");
    // Both servers log through helper processes: wait for the lines.
    std::vector<std::string> events;
    for (int i = 0; i < 200 && events.size() < 4; ++i) {
        events = LoginsAndSubmissions(test::ReadFile(server.logPath()), offset, server.address("sender"));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(events, (std::vector<std::string>{"login", "submit", "login", "submit"}));
    EXPECT_EQ(test::ReadFile(data.file("RcvMail.txt")).rfind("+OK ", 0), 0u);
}

TEST_F(MailServerTest, PopLoginReportsItsOutcomeInTheOutputFile)
{
    const std::string popSpec = "127.0.0.1\t" + std::to_string(server.popPort());
    std::string error;
    std::optional<std::string> good = transfer.rcvMail(
        {popSpec, server.address("bob"), server.password("bob"), "STAT", data.file("RcvMail.txt")}, &error);
    ASSERT_TRUE(good.has_value()) << error;
    EXPECT_EQ(*good, "");
    EXPECT_EQ(test::ReadFile(data.file("RcvMail.txt")).rfind("+OK ", 0), 0u);

    std::optional<std::string> bad =
        transfer.rcvMail({popSpec, server.address("bob"), "wrong", "STAT", data.file("RcvMail.txt")}, &error);
    ASSERT_TRUE(bad.has_value());
    EXPECT_EQ(bad->rfind("認証に失敗しました: -ERR", 0), 0u) << *bad;
    EXPECT_EQ(test::ReadFile(data.file("RcvMail.txt")), *bad + "\r\n");
}

} // namespace
} // namespace tessaly

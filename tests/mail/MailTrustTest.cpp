// SPDX-License-Identifier: MIT
// What a machine in the middle could try against the component, played by
// a scripted server on loopback: a certificate of its own, STARTTLS
// stripped from the server's offer, and files in the data folder replaced
// by links or pipes. Passwords never go out in clear to a server that has
// offered encryption, and nothing is read or written through a link.
#include "PopLogin.h"
#include "ScriptedSmtpServer.h"
#include "SmtpSubmitter.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly::mail {
namespace {

using Behaviour = test::ScriptedSmtpServer::Behaviour;

constexpr const char* kPassword = "Secret-pa55word";

TransferOptions ShortTimeOuts()
{
    TransferOptions options;
    options.connectTimeoutSeconds = 5;
    options.responseTimeoutSeconds = 5;
    options.lowSpeedSeconds = 5;
    return options;
}

class MailTrust : public ::testing::Test {
protected:
    /// Submits one mail with PLAIN/LOGIN credentials (or those of
    /// `mechanism`); the component's result.
    std::string Send(int port, const std::string& attachments = "", const std::string& mechanism = "")
    {
        TransferLog log(data.file("mail.log"));
        return SmtpSubmitter(ShortTimeOuts())
            .Submit({"127.0.0.1\t" + std::to_string(port), "bcc\ta@example.jp",
                     std::string("me@example.jp\tuser:") + kPassword + mechanism, "subject", "body", attachments},
                    log);
    }

    /// Logs in to a POP3 server with STAT; the component's result.
    std::string PopLogIn(int port)
    {
        return PopLogin(ShortTimeOuts())
            .Run({"127.0.0.1\t" + std::to_string(port), "user", kPassword, "STAT", data.file("RcvMail.txt")});
    }

    std::string Record() const { return test::ReadFile(RecordPath()); }
    std::string RecordPath() const { return data.file("tls-fingerprints.txt"); }
    std::string Log() const { return test::ReadFile(data.file("mail.log")); }
    static std::string Key(int port) { return "127.0.0.1:" + std::to_string(port); }

    test::TempFolder data;
};

/// True when `text` holds the password or the AUTH PLAIN or LOGIN form of it.
bool HoldsPassword(const std::string& text)
{
    // base64("\0user\0Secret-pa55word") and base64("Secret-pa55word").
    return text.find(kPassword) != std::string::npos ||
           text.find("AHVzZXIAU2VjcmV0LXBhNTV3b3Jk") != std::string::npos ||
           text.find("U2VjcmV0LXBhNTV3b3Jk") != std::string::npos;
}

/// True when a line of `received` is a login command of any kind.
bool HoldsLogin(const std::string& received)
{
    for (const char* command : {"AUTH", "USER", "PASS", "APOP"}) {
        if (received.starts_with(command) || received.find(std::string("\n") + command) != std::string::npos)
            return true;
    }
    return false;
}

TEST_F(MailTrust, NoLoginGoesInClearOnceTlsWasOfferedOrFailed)
{
    const test::TlsIdentity identity = test::SelfSignedIdentity("mail.example.jp");
    struct Case {
        Behaviour first;
        std::optional<Behaviour> retry; ///< after the certificate failed the first attempt
        bool pop;
        std::string reason;
    };
    const std::string dropped = " の証明書をシステムの証明書で検証できません (";
    const Case cases[] = {
        {Behaviour::StartTlsRefused,
         {},
         false,
         " は暗号化 (STARTTLS) を拒否しました: 454 4.7.0 TLS not available due to local problem。"},
        {Behaviour::StartTls, Behaviour::NoStartTls, false, dropped},
        {Behaviour::Pop3StlsRefused, {}, true, " は暗号化 (STARTTLS) を拒否しました: -ERR TLS not available。"},
        {Behaviour::Pop3StartTls, Behaviour::Pop3NoStartTls, true, dropped},
    };
    for (const Case& c : cases) {
        test::ScriptedSmtpServer server(c.first, identity);
        std::filesystem::remove(RecordPath());
        // A server first met, then the same one remembered for its offer;
        // CRAM-MD5 and bearer tokens wait for TLS as well.
        for (const char* mechanism : {"", "\tCRAM-MD5", "\tXOAUTH2", "\tOAUTHBEARER"}) {
            if (c.retry)
                server.BecomeAfterNext(*c.retry);
            const size_t before = server.received().size();
            const std::string result = c.pop ? PopLogIn(server.port()) : Send(server.port(), "", mechanism);
            const std::string attempt = server.received().substr(before);
            EXPECT_EQ(result.rfind("サーバー " + Key(server.port()) + c.reason, 0), 0u) << result;
            EXPECT_FALSE(HoldsLogin(attempt)) << result << "\n" << attempt;
            EXPECT_FALSE(HoldsPassword(attempt)) << attempt;
            EXPECT_EQ(server.messages(), 0) << result;
            EXPECT_NE(Record().find(Key(server.port()) + " starttls\n"), std::string::npos) << result;
            server.Become(c.first, identity);
        }
    }
    EXPECT_EQ(Log().find("暗号化せずに送りました"), std::string::npos) << Log();
    EXPECT_NE(Log().find("認証情報を送らずに接続を切りました"), std::string::npos) << Log();
}

TEST_F(MailTrust, AnUnverifiableCertificateIsPinnedOnFirstUseAndAnotherOneIsRefused)
{
    const test::TlsIdentity first = test::SelfSignedIdentity("mail.example.jp");
    const test::TlsIdentity other = test::SelfSignedIdentity("mail.example.jp");
    test::ScriptedSmtpServer server(Behaviour::StartTls, first);
    const std::string key = Key(server.port());

    ASSERT_EQ(Send(server.port()), "");
    EXPECT_EQ(server.messages(), 1);
    EXPECT_NE(Record().find(key + " sha256 " + first.fingerprint + "\n"), std::string::npos) << Record();
    EXPECT_NE(Record().find(key + " starttls\n"), std::string::npos) << Record();
    struct stat status {};
    ASSERT_EQ(::lstat(RecordPath().c_str(), &status), 0);
    EXPECT_TRUE(S_ISREG(status.st_mode));
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    EXPECT_NE(Log().find(first.fingerprint + ") を初めての接続として信頼しました"), std::string::npos) << Log();

    // The same certificate again: accepted as recorded.
    ASSERT_EQ(Send(server.port()), "");
    EXPECT_EQ(server.messages(), 2);
    EXPECT_NE(Log().find("記録したものと同じです"), std::string::npos) << Log();

    // Another certificate under the same name: refused before anything but
    // EHLO and STARTTLS is sent.
    server.Become(Behaviour::StartTls, other);
    const size_t before = server.received().size();
    EXPECT_EQ(Send(server.port()), "サーバー " + key + " の証明書が前回と違います。信頼できる場合は " + RecordPath() +
                                       " から該当行を削除してください。");
    EXPECT_EQ(server.messages(), 2);
    const std::string attempt = server.received().substr(before);
    EXPECT_EQ(attempt.find("AUTH"), std::string::npos) << attempt;
    EXPECT_FALSE(HoldsPassword(attempt)) << attempt;
    EXPECT_EQ(Record().find(other.fingerprint), std::string::npos) << Record();

    // Doing what the message says trusts the new certificate.
    test::WriteFile(RecordPath(), key + " starttls\n");
    ASSERT_EQ(Send(server.port()), "");
    EXPECT_EQ(server.messages(), 3);
    EXPECT_NE(Record().find(key + " sha256 " + other.fingerprint + "\n"), std::string::npos) << Record();
}

TEST_F(MailTrust, AServerThatOfferedStartTlsBeforeNeverGetsThePasswordInClear)
{
    test::ScriptedSmtpServer server(Behaviour::StartTls, test::SelfSignedIdentity("mail.example.jp"));
    ASSERT_EQ(Send(server.port()), "");
    ASSERT_EQ(server.messages(), 1);

    // A machine in the middle strips STARTTLS from the offer.
    server.Become(Behaviour::NoStartTls);
    const size_t before = server.received().size();
    EXPECT_EQ(Send(server.port()), "サーバー " + Key(server.port()) +
                                       " は以前は暗号化 (STARTTLS) に対応していましたが、今回は対応していません。"
                                       "通信が途中で書き換えられているおそれがあるため、パスワードを送らずに中止し"
                                       "ました。サーバーの設定を変えた場合は " +
                                       RecordPath() + " から該当行を削除してください。");
    const std::string attempt = server.received().substr(before);
    EXPECT_NE(attempt.find("EHLO"), std::string::npos) << attempt;
    EXPECT_EQ(attempt.find("AUTH"), std::string::npos) << attempt;
    EXPECT_FALSE(HoldsPassword(attempt)) << attempt;
    EXPECT_EQ(server.messages(), 1);
    EXPECT_FALSE(HoldsPassword(Log())) << Log();
}

TEST_F(MailTrust, APop3ServerThatOfferedStlsBeforeNeverGetsThePasswordInClear)
{
    test::ScriptedSmtpServer server(Behaviour::Pop3StartTls, test::SelfSignedIdentity("pop.example.jp"));
    const auto login = [&] { return PopLogIn(server.port()); };
    ASSERT_EQ(login(), "");
    EXPECT_EQ(server.messages(), 1);
    EXPECT_EQ(test::ReadFile(data.file("RcvMail.txt")), "+OK 0 0\r\n");
    EXPECT_NE(Record().find(Key(server.port()) + " starttls\n"), std::string::npos) << Record();

    server.Become(Behaviour::Pop3NoStartTls);
    const size_t before = server.received().size();
    const std::string result = login();
    EXPECT_EQ(result.rfind("サーバー " + Key(server.port()) + " は以前は暗号化 (STARTTLS) に対応していましたが", 0), 0u)
        << result;
    EXPECT_EQ(test::ReadFile(data.file("RcvMail.txt")), result + "\r\n");
    const std::string attempt = server.received().substr(before);
    EXPECT_NE(attempt.find("CAPA"), std::string::npos) << attempt;
    EXPECT_EQ(attempt.find("PASS"), std::string::npos) << attempt;
    EXPECT_FALSE(HoldsPassword(attempt)) << attempt;
    EXPECT_EQ(server.messages(), 1);
}

TEST_F(MailTrust, AServerThatNeverOfferedStartTlsGetsTheLoginAndTheMailWithANote)
{
    test::ScriptedSmtpServer server(Behaviour::NoStartTls);
    for (int mail = 1; mail <= 2; ++mail) {
        ASSERT_EQ(Send(server.port()), "");
        EXPECT_EQ(server.messages(), mail);
    }
    EXPECT_NE(server.received().find("AUTH PLAIN"), std::string::npos) << server.received();
    test::ScriptedSmtpServer pop(Behaviour::Pop3NoStartTls);
    EXPECT_EQ(PopLogIn(pop.port()), "");
    EXPECT_NE(pop.received().find(std::string("PASS ") + kPassword), std::string::npos) << pop.received();
    EXPECT_NE(Log().find("* サーバー " + Key(server.port()) +
                         " は暗号化 (STARTTLS) に対応していないため、パスワードを暗号化せずに送りました"),
              std::string::npos)
        << Log();
    EXPECT_FALSE(HoldsPassword(Log())) << Log();
    EXPECT_EQ(Record().find(Key(server.port())), std::string::npos) << Record();
}

TEST_F(MailTrust, AttachmentsAreSentOnlyFromRegularFilesNeverThroughLinks)
{
    // A file only the user may read, outside the watched folder.
    test::TempFolder elsewhere;
    test::WriteFile(elsewhere.file("id_key"), "PRIVATE-KEY-MATERIAL");
    ASSERT_EQ(::chmod(elsewhere.file("id_key").c_str(), 0600), 0);
    std::filesystem::create_directories(data.file("watched"));
    ASSERT_EQ(::symlink(elsewhere.file("id_key").c_str(), data.file("watched/report.pdf").c_str()), 0);
    ASSERT_EQ(::symlink(elsewhere.path().c_str(), data.file("watched/folder-link").c_str()), 0);
    ASSERT_EQ(::mkfifo(data.file("watched/pipe").c_str(), 0600), 0);
    test::WriteFile(data.file("watched/ok.txt"), "fine");

    test::ScriptedSmtpServer server(Behaviour::NoStartTls);
    const std::pair<std::string, std::string> cases[] = {
        {"watched/report.pdf", "添付ファイルがシンボリックリンクのため送りません: "},
        {"watched/folder-link", "添付ファイルがシンボリックリンクのため送りません: "},
        {"watched/pipe", "添付ファイルが通常のファイルではありません: "},
        {"watched", "添付ファイルが通常のファイルではありません: "},
    };
    for (const auto& [name, refusal] : cases) {
        // The refused one comes after a good one: the whole mail stops.
        EXPECT_EQ(Send(server.port(), data.file("watched/ok.txt") + "\t" + data.file(name)), refusal + data.file(name));
    }
    EXPECT_EQ(server.messages(), 0);
    EXPECT_EQ(server.received(), "") << "a refused attachment still opened a connection";
    EXPECT_EQ(Log().find("UFJJVkFURS1LRVktTUFURVJJQUw"), std::string::npos);
}

TEST_F(MailTrust, FilesOfTheDataFolderAreNeverUsedThroughLinksOrPipes)
{
    test::TempFolder elsewhere;
    test::WriteFile(elsewhere.file("target"), "untouched");
    const std::string closed = "127.0.0.1\t" + std::to_string(test::ClosedPort());
    const auto sendMail = [&] {
        TransferLog log(data.file("mail.log"));
        return SmtpSubmitter(ShortTimeOuts()).Submit({closed, "bcc\ta@example.jp", "me@example.jp", "s", "b", ""}, log);
    };
    const auto popLogin = [&] {
        return PopLogin(ShortTimeOuts()).Run({closed, "user", kPassword, "STAT", data.file("RcvMail.txt")});
    };
    struct Case {
        std::string name;
        bool pipe;
        std::function<std::string()> run;
        std::string refusal;
    };
    const Case cases[] = {
        {"mail.log", true, sendMail, "メールのログ " + data.file("mail.log") + " が通常のファイルではない"},
        {"mail.log", false, sendMail, "メールのログ " + data.file("mail.log") + " が通常のファイルではない"},
        {"RcvMail.txt", true, popLogin,
         "POP3 の結果ファイル " + data.file("RcvMail.txt") + " が通常のファイルではない"},
        {"RcvMail.txt", false, popLogin,
         "POP3 の結果ファイル " + data.file("RcvMail.txt") + " が通常のファイルではない"},
        {"tls-fingerprints.txt", false, sendMail,
         "サーバー証明書の記録 " + RecordPath() + " がシンボリックリンクのため使えません"},
        {"tls-fingerprints.txt", true, popLogin,
         "サーバー証明書の記録 " + RecordPath() + " が通常のファイルではありません"},
    };
    for (const Case& c : cases) {
        const std::string path = data.file(c.name);
        ASSERT_EQ(c.pipe ? ::mkfifo(path.c_str(), 0600) : ::symlink(elsewhere.file("target").c_str(), path.c_str()), 0);
        // Stopped before any connection: a closed port would say so.
        const std::string result = c.run();
        EXPECT_EQ(result.rfind(c.refusal, 0), 0u) << c.name << ": " << result;
        EXPECT_EQ(test::ReadFile(elsewhere.file("target")), "untouched");
        ::unlink(path.c_str());
    }

    // The files the component makes itself are private.
    EXPECT_NE(sendMail(), "");
    EXPECT_NE(popLogin(), "");
    for (const char* name : {"mail.log", "RcvMail.txt"}) {
        struct stat status {};
        ASSERT_EQ(::lstat(data.file(name).c_str(), &status), 0) << name;
        EXPECT_EQ(status.st_mode & 07777, 0600u) << name;
    }
}

} // namespace
} // namespace tessaly::mail

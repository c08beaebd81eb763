// SPDX-License-Identifier: MIT
// Servers that fail in ways a real one cannot be made to: nothing listens,
// nothing answers, the connection drops, the final reply never comes. Each
// must end in a clear text, bounded by the component's time-outs (short
// ones here, so the tests stay quick).
#include "PopLogin.h"
#include "ScriptedSmtpServer.h"
#include "SmtpSubmitter.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace tessaly::mail {
namespace {

TransferOptions ShortTimeOuts()
{
    TransferOptions options;
    options.connectTimeoutSeconds = 2;
    options.responseTimeoutSeconds = 1;
    options.lowSpeedSeconds = 2;
    return options;
}

SubmissionTexts MailTo(int port)
{
    return {"127.0.0.1\t" + std::to_string(port), "bcc\ta@example.jp", "me@example.jp", "subject", "body", ""};
}

std::string Submit(int port, std::string* logText = nullptr)
{
    test::TempFolder folder;
    TransferLog log(folder.file("mail.log"));
    std::string result = SmtpSubmitter(ShortTimeOuts()).Submit(MailTo(port), log);
    if (logText)
        *logText = test::ReadFile(folder.file("mail.log"));
    return result;
}

TEST(MailFault, ClosedPortAndSilentServerEachSayWhatWentWrong)
{
    int port = test::ClosedPort();
    EXPECT_EQ(Submit(port), "127.0.0.1:" + std::to_string(port) + " に接続を拒否されました");

    test::ScriptedSmtpServer server(test::ScriptedSmtpServer::Behaviour::Silent);
    std::string log;
    EXPECT_EQ(Submit(server.port(), &log),
              "時間切れ: 127.0.0.1:" + std::to_string(server.port()) + " は接続を受け付けましたが、応答しませんでした");
    EXPECT_NE(log.find("= failed: 時間切れ"), std::string::npos) << log;
}

TEST(MailFault, ServerThatStallsAfterTheMessageTimesOut)
{
    test::ScriptedSmtpServer server(test::ScriptedSmtpServer::Behaviour::StallAfterData);
    std::string log;
    std::string result = Submit(server.port(), &log);
    EXPECT_TRUE(server.receivedMessage());
    EXPECT_EQ(result.rfind("時間切れ: ", 0), 0u) << result;
    EXPECT_NE(result.find("DATA"), std::string::npos) << result;
    EXPECT_NE(log.find("> RCPT TO:<a@example.jp>"), std::string::npos) << log;
    EXPECT_EQ(log.find("body"), std::string::npos) << "the message body reached the log:\n" << log;
}

TEST(MailFault, ServerThatHangsUpIsReported)
{
    test::ScriptedSmtpServer server(test::ScriptedSmtpServer::Behaviour::HangUpAfterGreeting);
    std::string result = Submit(server.port());
    EXPECT_NE(result.find("127.0.0.1:" + std::to_string(server.port())), std::string::npos) << result;
    EXPECT_FALSE(result.empty());
}

TEST(MailFault, SilentPopServerTimesOutAndSaysSoInTheOutputFile)
{
    test::ScriptedSmtpServer server(test::ScriptedSmtpServer::Behaviour::Silent);
    test::TempFolder folder;
    PopLoginTexts texts{"127.0.0.1\t" + std::to_string(server.port()), "user", "password", "STAT",
                        folder.file("RcvMail.txt")};
    std::string result = PopLogin(ShortTimeOuts()).Run(texts);
    EXPECT_EQ(result.rfind("時間切れ: ", 0), 0u) << result;
    EXPECT_EQ(test::ReadFile(folder.file("RcvMail.txt")), result + "\r\n");
}

} // namespace
} // namespace tessaly::mail

// SPDX-License-Identifier: MIT
// The update mail and the password mail as the program hands them to the
// mail-transfer component: texts, argument formats, POP before SMTP and the
// three outcomes.
#include "notify/NotificationMail.h"
#include "notify/ComponentMailTransfer.h"
#include "support/RecordingMailTransfer.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <tuple>

namespace tessaly {
namespace {

using test::RecordingMailTransfer;

BasicSettings MailSettings()
{
    BasicSettings settings;
    settings.Conf_Mail = 1;
    settings.Conf_SmtpSrv = "smtp.example.jp";
    settings.Conf_SmtpPort = "587";
    settings.Conf_SmtpAddr = "tessaly@example.jp";
    settings.Conf_PopSrv = "pop.example.jp";
    settings.Conf_PopPort = "110";
    settings.Conf_PopUser = "popuser";
    settings.Conf_PopPasswd = "pop-pass";
    return settings;
}

MailOutcome SendUpdate(MailTransfer& transfer, const BasicSettings& settings, const std::string& folder = "/data")
{
    return SendUpdateMail({transfer, settings, folder}, "a@example.jp;b@example.jp; c@example.jp", "営業資料",
                          "/srv/営業/a.doc\r\n/srv/営業/b.xls\r\n", {"/data/a.doc.zip", "/data/b.xls.zip"},
                          "1405090612");
}

MailOutcome SendPassword(MailTransfer& transfer, const BasicSettings& settings)
{
    return SendPasswordMail({transfer, settings, "/data"}, "a@example.jp", "QWERTYUIOP", "1405090612");
}

TEST(NotificationMail, UpdateAndPasswordMailsHandOverTheirTexts)
{
    RecordingMailTransfer transfer;
    MailOutcome outcome = SendUpdate(transfer, MailSettings());
    EXPECT_TRUE(outcome.isSent());
    EXPECT_EQ(outcome.code(), 0);
    ASSERT_EQ(transfer.calls, std::vector<std::string>{"SendMailEx"});
    const SendMailExArguments expected{
        "/data/mail.log",
        "smtp.example.jp\t587",
        "bcc\ta@example.jp\tb@example.jp\t c@example.jp",
        "tessaly@example.jp",
        "【Tessaly!】営業資料 の文書が更新されました。管理No:1405090612",
        "営業資料 の文書が更新されました。\r\n\r\n/srv/営業/a.doc\r\n/srv/営業/b.xls\r\n",
        {"/data/a.doc.zip", "/data/b.xls.zip"}};
    EXPECT_EQ(transfer.sent[0], expected);

    EXPECT_TRUE(SendPassword(transfer, MailSettings()).isSent());
    const SendMailExArguments& mail = transfer.sent.at(1);
    EXPECT_EQ(mail.subject, "【Tessaly!】管理No:1405090612 のパスワードを通知します。");
    EXPECT_EQ(mail.body, "管理No:1405090612のパスワードは QWERTYUIOPです。\r\n\r\n");
    EXPECT_EQ(mail.recipients, "bcc\ta@example.jp");
    EXPECT_TRUE(mail.attachments.empty());
}

TEST(NotificationMail, SenderSpecCarriesAuthenticationOnlyWhenItIsOn)
{
    const std::tuple<int16_t, int16_t, std::string, std::string, std::string> cases[] = {
        {0, 0, "u", "p", "me@example.jp"},
        {0, 1, "u", "p", "me@example.jp"}, // the MD5 flag alone is not looked at
        {1, 0, "u", "p:w", "me@example.jp\tu:p:w"},
        {1, 1, "u", "p", "me@example.jp\tu:p\tCRAM-MD5"},
        {1, 0, "", "", "me@example.jp\t:"},
        {2, 1, "u", "p", "me@example.jp"}, // a flag is on only when it is 1
        {1, -1, "u", "p", "me@example.jp\tu:p"},
    };
    for (const auto& [auth, md5, user, password, expected] : cases) {
        BasicSettings settings;
        settings.Conf_SmtpAddr = "me@example.jp";
        settings.Conf_SmtpAuth = auth;
        settings.Conf_SmtpAuthMD5 = md5;
        settings.Conf_SmtpAuthUser = user;
        settings.Conf_SmtpAuthPasswd = password;
        EXPECT_EQ(SenderSpec(settings), expected) << auth << "/" << md5;
    }
}

TEST(NotificationMail, RecipientListBecomesBlindCopies)
{
    EXPECT_EQ(RecipientsArgument(""), "bcc\t");
    EXPECT_EQ(RecipientsArgument("a@x;b@x;c@x"), "bcc\ta@x\tb@x\tc@x");
    EXPECT_EQ(RecipientsArgument("a@x;"), "bcc\ta@x\t");
}

TEST(NotificationMail, PopBeforeSmtpLogsInBeforeEveryMailAndAFailedLoginStillSubmits)
{
    RecordingMailTransfer transfer;
    BasicSettings settings = MailSettings();
    settings.Conf_PopBeforeSMTP = 1;
    EXPECT_TRUE(SendUpdate(transfer, settings).isSent());
    transfer.rcvResult = "authentication failed";
    EXPECT_TRUE(SendPassword(transfer, settings).isSent());
    EXPECT_EQ(transfer.calls, (std::vector<std::string>{"RcvMail", "SendMailEx", "RcvMail", "SendMailEx"}));
    const RcvMailArguments expected{"pop.example.jp\t110", "popuser", "pop-pass", "STAT", "/data/RcvMail.txt"};
    EXPECT_EQ(transfer.logins.at(0), expected);
    EXPECT_EQ(transfer.logins.at(1), expected);

    // Files are plainly joined to the data folder.
    SendUpdate(transfer, settings, "/");
    EXPECT_EQ(transfer.sent.at(2).logPath, "//mail.log");
    EXPECT_EQ(transfer.logins.at(2).outputPath, "//RcvMail.txt");

    settings.Conf_PopBeforeSMTP = 2; // on only when it is 1
    transfer.calls.clear();
    SendUpdate(transfer, settings);
    EXPECT_EQ(transfer.calls, std::vector<std::string>{"SendMailEx"});
}

TEST(NotificationMail, OutcomesFollowTheComponent)
{
    RecordingMailTransfer transfer;
    transfer.refuseFrom = 0;
    transfer.refusal = "550 5.1.1 <a@example.jp>: Recipient address rejected";
    MailOutcome refused = SendUpdate(transfer, MailSettings());
    EXPECT_TRUE(refused.isRefused());
    EXPECT_NE(refused.code(), 0) << "only a sent mail may give 0";
    EXPECT_EQ(refused.text(), "550 5.1.1 <a@example.jp>: Recipient address rejected");

    transfer.sendMissing = true;
    MailOutcome missing = SendPassword(transfer, MailSettings());
    EXPECT_TRUE(missing.isFailed());
    EXPECT_EQ(missing.code(), MailOutcome::kFailureCode);

    transfer.sendMissing = false;
    transfer.throwOnSend = true;
    EXPECT_EQ(SendUpdate(transfer, MailSettings()).code(), -9);
}

TEST(NotificationMail, ProviderRefusalsSayWhatToDoForTheLoginTheyRefused)
{
    // The component's text as it quotes the last reply line, and the advice
    // after a password login and after a bearer-token login ("" for none).
    struct Case {
        std::string reply;
        std::string password;
        std::string bearer;
    };
    const Case cases[] = {
        {"認証に失敗しました: 550 5.7.30 Basic authentication is not supported for Client Submission.",
         "パスワードによる SMTP 認証 (基本認証) を受け付けません", ""},
        {"認証に失敗しました: 535 5.7.3 Authentication unsuccessful [TY2PR01CA0001.jpnprd01.prod.outlook.com]",
         "このメールボックスでは SMTP AUTH が無効です", "SMTP.Send の権限がありません"},
        {"認証に失敗しました: 535 5.7.8  https://support.google.com/mail/?p=BadCredentials x1-2 - gsmtp",
         "アプリ パスワードを使うか、OAuth 2.0 でサインインしてください", ""},
        {"認証に失敗しました: 534 5.7.9  https://support.google.com/mail/?p=InvalidSecondFactor x1-2 - gsmtp",
         "アプリ パスワードが必要です", ""},
        {"535 5.7.30 other", "", ""},
        {"550 5.7.1 Client does not have permissions to send as this sender (smtp.example.jp:587 の MAIL への応答)", "",
         ""},
    };
    RecordingMailTransfer transfer;
    transfer.refuseFrom = 0;
    BasicSettings bearer = MailSettings();
    bearer.Conf_SmtpAuth = 1;
    bearer.Conf_MailAuth = kMailAuthGoogle;
    for (const Case& c : cases) {
        transfer.refusal = c.reply;
        for (const auto& [settings, advice] : {std::pair{MailSettings(), c.password}, std::pair{bearer, c.bearer}}) {
            const MailOutcome outcome = SendUpdate(transfer, settings);
            EXPECT_TRUE(outcome.isRefused()) << c.reply;
            if (advice.empty()) {
                EXPECT_EQ(outcome.text(), c.reply);
                continue;
            }
            EXPECT_EQ(outcome.text().rfind(c.reply + " 【対処】", 0), 0u) << outcome.text();
            EXPECT_NE(outcome.text().find(advice), std::string::npos) << outcome.text();
        }
    }
}

TEST(NotificationMail, MissingComponentOrFunctionGivesMinus9)
{
    RecordingMailTransfer recording;
    recording.rcvResult.reset();
    BasicSettings settings = MailSettings();
    settings.Conf_PopBeforeSMTP = 1;
    EXPECT_EQ(SendUpdate(recording, settings).code(), -9);
    EXPECT_EQ(recording.calls, std::vector<std::string>{"RcvMail"}); // fails before submitting

    test::TempFolder empty;
    ComponentMailTransfer none({empty.path()});
    MailOutcome outcome = SendUpdate(none, MailSettings());
    EXPECT_EQ(outcome.code(), -9);
    EXPECT_NE(outcome.text().find("libtessaly_mail.so"), std::string::npos) << outcome.text();

    ComponentMailTransfer stub({STUB_COMPONENT_DIR}); // RcvMail is there and answers
    outcome = SendUpdate(stub, settings);
    EXPECT_EQ(outcome.code(), -9);
    EXPECT_NE(outcome.text().find("SendMailFiles"), std::string::npos) << outcome.text();
}

TEST(NotificationMail, PathsOfAnyBytesReachTheComponentAndItsAnswerComesBackUnchanged)
{
    test::TempFolder folder;
    const std::string data = folder.file("caf\u00e9");
    ASSERT_TRUE(std::filesystem::create_directory(data));
    ComponentMailTransfer transfer;
    const std::string missing = data + "/\U0001F600\xff.doc";
    MailOutcome outcome =
        SendUpdateMail({transfer, MailSettings(), data}, "a@example.jp", "n", "", {missing}, "0000000000");
    EXPECT_TRUE(outcome.isRefused());
    EXPECT_EQ(outcome.text(), "添付ファイルがありません: " + data + "/\U0001F600\uFFFD.doc");
    EXPECT_NE(test::ReadFile(data + "/mail.log").find(outcome.text()), std::string::npos);
}

} // namespace
} // namespace tessaly

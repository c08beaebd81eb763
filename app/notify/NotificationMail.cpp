// SPDX-License-Identifier: MIT
#include "notify/NotificationMail.h"

#include "common/FileSystem.h"
#include "notify/OAuthSignIn.h"
#include "notify/ProviderAdvice.h"

#include <exception>

namespace tessaly {
namespace {

/// POP before SMTP: the login is what counts; its result is not looked at.
bool LogInToPop(const MailDelivery& delivery, std::string* error)
{
    const BasicSettings& settings = delivery.settings;
    RcvMailArguments arguments{ServerSpec(settings.Conf_PopSrv, settings.Conf_PopPort), settings.Conf_PopUser,
                               settings.Conf_PopPasswd, "STAT", JoinPath(delivery.dataFolder, kRcvMailFileName)};
    return delivery.transfer.rcvMail(arguments, error).has_value();
}

/// The text of a mail that could not be put together.
MailOutcome NotComposed(const std::exception& failure)
{
    return MailOutcome::Failed(std::string("メールを組み立てられませんでした: ") + failure.what());
}

} // namespace

NotificationMail ComposeUpdateMail(std::string_view subscriptionName, std::string_view documentList,
                                   std::string_view managementNo)
{
    const std::string name(subscriptionName);
    return {"【Tessaly!】" + name + " の文書が更新されました。管理No:" + std::string(managementNo),
            name + " の文書が更新されました。" + "\r\n\r\n" + std::string(documentList),
            {}};
}

MailOutcome SendUpdateMail(const MailDelivery& delivery, std::string_view recipientList,
                           std::string_view subscriptionName, std::string_view documentList,
                           const std::vector<std::string>& attachments, std::string_view managementNo)
{
    NotificationMail mail;
    try {
        mail = ComposeUpdateMail(subscriptionName, documentList, managementNo);
        mail.attachments = attachments;
    } catch (const std::exception& failure) {
        return NotComposed(failure);
    }
    return SendNotificationMail(delivery, recipientList, mail);
}

MailOutcome SendPasswordMail(const MailDelivery& delivery, std::string_view recipientList, std::string_view password,
                             std::string_view managementNo)
{
    NotificationMail mail;
    try {
        const std::string number(managementNo);
        mail.body = "管理No:" + number + "のパスワードは " + std::string(password) + "です。" + "\r\n\r\n";
        mail.subject = "【Tessaly!】管理No:" + number + " のパスワードを通知します。";
    } catch (const std::exception& failure) {
        return NotComposed(failure);
    }
    return SendNotificationMail(delivery, recipientList, mail);
}

std::string SenderSpec(const BasicSettings& settings, const std::string& accessToken)
{
    std::string sender = settings.Conf_SmtpAddr;
    if (UsesOAuth(settings)) {
        sender += "\t" + settings.Conf_SmtpAuthUser + ":" + accessToken + "\t" + EndpointsOf(settings).mechanism;
    } else if (IsOn(settings.Conf_SmtpAuth)) {
        sender += "\t" + settings.Conf_SmtpAuthUser + ":" + settings.Conf_SmtpAuthPasswd;
        if (IsOn(settings.Conf_SmtpAuthMD5))
            sender += "\tCRAM-MD5";
    }
    return sender;
}

std::string RecipientsArgument(std::string_view recipientList)
{
    std::string list(recipientList);
    for (char& c : list) {
        if (c == ';')
            c = '\t';
    }
    return "bcc\t" + list;
}

std::string ServerSpec(std::string_view host, std::string_view port)
{
    return std::string(host) + "\t" + std::string(port);
}

MailOutcome SendNotificationMail(const MailDelivery& delivery, std::string_view recipientList,
                                 const NotificationMail& mail)
{
    try {
        const BasicSettings& settings = delivery.settings;
        std::string error;
        if (IsOn(settings.Conf_PopBeforeSMTP) && !LogInToPop(delivery, &error))
            return MailOutcome::Failed(error);
        SendMailExArguments arguments{JoinPath(delivery.dataFolder, kMailLogFileName),
                                      ServerSpec(settings.Conf_SmtpSrv, settings.Conf_SmtpPort),
                                      RecipientsArgument(recipientList),
                                      SenderSpec(settings, delivery.accessToken),
                                      mail.subject,
                                      mail.body,
                                      mail.attachments};
        std::optional<MailReply> result = delivery.transfer.sendMailEx(arguments, &error);
        if (!result)
            return MailOutcome::Failed(error);
        if (result->partly)
            return MailOutcome::SentToOthers(std::move(result->text));
        if (result->text.empty())
            return MailOutcome::Sent();
        return MailOutcome::Refused(WithProviderAdvice(std::move(result->text), UsesOAuth(settings)));
    } catch (const std::exception& failure) {
        // Out of memory, or a failure of a transfer supplied by a test.
        return NotComposed(failure);
    }
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "notify/PasswordMail.h"

#include "notify/NotificationMail.h"

#include <exception>

namespace tessaly {

MailOutcome SendPasswordMail(const MailDelivery& delivery, std::string_view recipientList,
                             std::string_view /*subscriptionName*/, std::string_view password,
                             std::string_view attachmentList, std::string_view managementNo)
{
    NotificationMail mail;
    try {
        const std::string number(managementNo);
        mail.body = "管理No:" + number + "のパスワードは " + std::string(password) + "です。" + "\r\n\r\n";
        mail.subject = "【Tessaly!】管理No:" + number + " のパスワードを通知します。";
        mail.attachments = std::string(attachmentList);
    } catch (const std::exception& failure) {
        return MailOutcome::Failed(std::string("the mail could not be composed: ") + failure.what());
    }
    return SendNotificationMail(delivery, recipientList, mail);
}

} // namespace tessaly

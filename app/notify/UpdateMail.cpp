// SPDX-License-Identifier: MIT
#include "notify/UpdateMail.h"

#include "notify/NotificationMail.h"

#include <exception>

namespace tessaly {

MailOutcome SendUpdateMail(const MailDelivery& delivery, std::string_view recipientList,
                           std::string_view subscriptionName, std::string_view documentList,
                           std::string_view attachmentList, std::string_view managementNo)
{
    NotificationMail mail;
    try {
        const std::string name(subscriptionName);
        mail.body = name + " の文書が更新されました。" + "\r\n\r\n" + std::string(documentList);
        mail.subject = "【Tessaly!】" + name + " の文書が更新されました。管理No:" + std::string(managementNo);
        mail.attachments = std::string(attachmentList);
    } catch (const std::exception& failure) {
        return MailOutcome::Failed(std::string("the mail could not be composed: ") + failure.what());
    }
    return SendNotificationMail(delivery, recipientList, mail);
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include "notify/MailDelivery.h"
#include "notify/MailOutcome.h"

#include <string_view>

namespace tessaly {

/// Sends the password notification mail that tells the recipients of one
/// subscription the archive password drawn for this check run; sent after
/// the update mail with the same management number so that the two can be
/// paired.
///
/// Subject: "【Tessaly!】管理No:", the management number and
/// " のパスワードを通知します。". Body: "管理No:", the management number,
/// "のパスワードは ", the password, "です。", CR LF, CR LF. The subscription
/// name is taken but not used in the mail. Everything else (recipients as
/// blind copies, sender, POP before SMTP, outcomes) as for SendUpdateMail.
MailOutcome SendPasswordMail(const MailDelivery& delivery, std::string_view recipientList,
                             std::string_view subscriptionName, std::string_view password,
                             std::string_view attachmentList, std::string_view managementNo);

} // namespace tessaly

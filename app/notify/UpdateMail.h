// SPDX-License-Identifier: MIT
#pragma once

#include "notify/MailDelivery.h"
#include "notify/MailOutcome.h"

#include <string_view>

namespace tessaly {

/// Sends the update notification mail of one subscription to its
/// recipients as blind copies.
///
/// Subject: "【Tessaly!】", the subscription name, " の文書が更新されました。管理No:"
/// and the management number. Body: the subscription name and
/// " の文書が更新されました。", CR LF, CR LF, then `documentList` unchanged (one
/// path per line, each ended by CR LF). `recipientList` holds addresses
/// separated by ";"; `attachmentList` full paths separated by TAB, or "".
/// POP before SMTP first when it is on. Blocks until the component returns.
MailOutcome SendUpdateMail(const MailDelivery& delivery, std::string_view recipientList,
                           std::string_view subscriptionName, std::string_view documentList,
                           std::string_view attachmentList, std::string_view managementNo);

} // namespace tessaly

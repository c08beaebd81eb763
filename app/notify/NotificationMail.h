// SPDX-License-Identifier: MIT
#pragma once

#include "notify/MailDelivery.h"
#include "notify/MailOutcome.h"

#include <string>
#include <string_view>

namespace tessaly {

/// The parts in which the update mail and the password mail differ.
struct NotificationMail {
    std::string subject;
    std::string body;
    std::string attachments; ///< full paths separated by TAB, or ""
};

/// The file names the mail component writes into the data folder.
inline constexpr std::string_view kMailLogFileName = "mail.log";
inline constexpr std::string_view kRcvMailFileName = "RcvMail.txt";

/// Sends one notification mail to `recipientList` (addresses separated by
/// ";", passed on untrimmed): when POP before SMTP is on, first one POP3
/// login with "STAT" whose result is ignored, then SendMailEx with
/// mail.log in the data folder. Sent, Refused with the component's text,
/// or Failed (-9) when the component cannot be called or composing fails.
MailOutcome SendNotificationMail(const MailDelivery& delivery, std::string_view recipientList,
                                 const NotificationMail& mail);

/// The sender argument: Conf_SmtpAddr; with SMTP authentication on, a TAB,
/// Conf_SmtpAuthUser, ":" and Conf_SmtpAuthPasswd; with CRAM-MD5 on as
/// well, a TAB and "CRAM-MD5".
std::string SenderSpec(const BasicSettings& settings);

/// "bcc", a TAB, and the recipient list with every ";" made a TAB.
std::string RecipientsArgument(std::string_view recipientList);

/// The host, a TAB and the port, as the component reads a server.
std::string ServerSpec(std::string_view host, std::string_view port);

} // namespace tessaly

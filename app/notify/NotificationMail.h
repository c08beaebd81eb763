// SPDX-License-Identifier: MIT
#pragma once

#include "notify/MailTransfer.h"
#include "settings/BasicSettings.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessaly {

/// What both notification mails take from the program: the mail-transfer
/// component, the basic settings (SMTP, authentication, POP before SMTP)
/// and the data folder that receives mail.log and RcvMail.txt. The
/// references must outlive the calls that use them.
struct MailDelivery {
    MailTransfer& transfer;
    const BasicSettings& settings;
    std::string dataFolder;
    /// The OAuth 2.0 access token of the SMTP login when the settings sign
    /// in by OAuth (see ObtainAccessToken).
    std::string accessToken = {};
};

/// What sending a notification mail came to, one of three outcomes: the
/// integer 0 (the component accepted the mail), the component's non-empty
/// text (the mail was not sent), or the integer -9 (a run-time failure:
/// the component or one of its functions is missing, or composing failed;
/// nothing can be assumed about the mail). Callers treat everything but 0
/// as failure.
class MailOutcome final {
public:
    static constexpr int kSentCode = 0;
    static constexpr int kRefusedCode = 1;
    static constexpr int kFailureCode = -9;

    /// The component accepted the mail.
    static MailOutcome Sent() { return MailOutcome(kSentCode, {}); }
    /// The component sent the mail to the recipients the server took;
    /// `refusals` names the others with the server's replies.
    static MailOutcome SentToOthers(std::string refusals) { return MailOutcome(kSentCode, std::move(refusals)); }
    /// The component refused; `text` is its result text, never empty.
    static MailOutcome Refused(std::string text) { return MailOutcome(kRefusedCode, std::move(text)); }
    /// A run-time failure (-9); `cause` says what went wrong, for messages.
    static MailOutcome Failed(std::string cause) { return MailOutcome(kFailureCode, std::move(cause)); }

    bool isSent() const { return m_code == kSentCode; }
    bool isRefused() const { return m_code == kRefusedCode; }
    bool isFailed() const { return m_code == kFailureCode; }
    /// Sent, yet not to every recipient.
    bool refusedSome() const { return isSent() && !m_text.empty(); }

    /// 0 when sent, -9 on a run-time failure, 1 when the component refused
    /// (the text is then the outcome), so that only a sent mail gives 0.
    int code() const { return m_code; }
    /// The component's text for a refusal, the cause for a failure, the
    /// refused recipients of a mail sent to the others, "" when sent.
    const std::string& text() const { return m_text; }

private:
    MailOutcome(int code, std::string text) : m_code(code), m_text(std::move(text)) {}

    int m_code;
    std::string m_text;
};

/// The parts in which the update mail and the password mail differ.
struct NotificationMail {
    std::string subject;
    std::string body;
    std::vector<std::string> attachments; ///< full paths
};

/// The file names the mail component writes into the data folder.
inline constexpr std::string_view kMailLogFileName = "mail.log";
inline constexpr std::string_view kRcvMailFileName = "RcvMail.txt";

/// Sends one notification mail to `recipientList` (addresses separated by
/// ";", passed on untrimmed): when POP before SMTP is on, first one POP3
/// login with "STAT" whose result is ignored, then SendMailEx with
/// mail.log in the data folder. Sent, Refused with the component's text
/// (followed by what to do, for the replies ProviderAdvice knows), or
/// Failed (-9) when the component cannot be called or composing fails.
MailOutcome SendNotificationMail(const MailDelivery& delivery, std::string_view recipientList,
                                 const NotificationMail& mail);

/// The update mail of one subscription: subject "【Tessaly!】", the
/// subscription name, " の文書が更新されました。管理No:" and the management
/// number; body the subscription name and " の文書が更新されました。", CR LF,
/// CR LF, then `documentList` unchanged (one line per document, each ended
/// by CR LF).
NotificationMail ComposeUpdateMail(std::string_view subscriptionName, std::string_view documentList,
                                   std::string_view managementNo);

/// Sends the update notification mail of one subscription to its
/// recipients as blind copies.
///
/// Subject: "【Tessaly!】", the subscription name, " の文書が更新されました。管理No:"
/// and the management number. Body: the subscription name and
/// " の文書が更新されました。", CR LF, CR LF, then `documentList` unchanged (one
/// path per line, each ended by CR LF). `recipientList` holds addresses
/// separated by ";"; `attachments` full paths.
/// POP before SMTP first when it is on. Blocks until the component returns.
MailOutcome SendUpdateMail(const MailDelivery& delivery, std::string_view recipientList,
                           std::string_view subscriptionName, std::string_view documentList,
                           const std::vector<std::string>& attachments, std::string_view managementNo);

/// Sends the password notification mail that tells the recipients of one
/// subscription the archive password drawn for this check run, with the
/// management number of its update mail so that the two can be paired.
/// It has no attachments.
///
/// Subject: "【Tessaly!】管理No:", the management number and
/// " のパスワードを通知します。". Body: "管理No:", the management number,
/// "のパスワードは ", the password, "です。", CR LF, CR LF. Everything else
/// (recipients as blind copies, sender, POP before SMTP, outcomes) as for
/// SendUpdateMail.
MailOutcome SendPasswordMail(const MailDelivery& delivery, std::string_view recipientList, std::string_view password,
                             std::string_view managementNo);

/// The sender argument: Conf_SmtpAddr; with SMTP authentication on, a TAB,
/// Conf_SmtpAuthUser, ":" and Conf_SmtpAuthPasswd; with CRAM-MD5 on as
/// well, a TAB and "CRAM-MD5". When the login signs in by OAuth 2.0
/// (UsesOAuth), `accessToken` takes the password's place, followed by a TAB
/// and the provider's mechanism (XOAUTH2).
std::string SenderSpec(const BasicSettings& settings, const std::string& accessToken = {});

/// "bcc", a TAB, and the recipient list with every ";" made a TAB.
std::string RecipientsArgument(std::string_view recipientList);

/// The host, a TAB and the port, as the component reads a server.
std::string ServerSpec(std::string_view host, std::string_view port);

} // namespace tessaly

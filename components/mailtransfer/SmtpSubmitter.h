// SPDX-License-Identifier: MIT
#pragma once

#include "Submission.h"
#include "TransferLog.h"
#include "TransferOptions.h"

#include <string>

namespace tessaly::mail {

/// Submits mails over SMTP: what SendMailEx does behind its C contract.
/// Every listed address gets the mail, or none does: a server that refuses
/// one recipient stops the whole submission, so that a mistyped address is
/// reported and fixed rather than silently skipped. Unless the texts ask
/// for the mail to go to those the server takes: then only a refusal of
/// every recipient stops it, and the others are reported all the same.
class SmtpSubmitter final {
public:
    explicit SmtpSubmitter(TransferOptions options = {});

    /// Submits one mail and writes the exchange to `log`. Returns "" when
    /// the server accepted it, otherwise a short text for the user (UTF-8,
    /// naming the server, address or path concerned).
    /// Returns only when the exchange is over or has timed out. `partly`
    /// (when given) tells whether the server took the mail for some
    /// recipients and refused the others, which the text then names.
    std::string Submit(const SubmissionTexts& texts, TransferLog& log, bool* partly = nullptr) const;

private:
    std::string Send(const Submission& submission, TransferLog& log, bool* partly) const;

    TransferOptions m_options;
};

} // namespace tessaly::mail

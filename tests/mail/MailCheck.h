// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace tessaly::test {

/// An attachment a mail must carry: its name as a reader shows it, and the file whose bytes it must hold.
struct ExpectedAttachment {
    std::string name, source;
};

/// A mail that must be there exactly once, found by its subject.
struct ExpectedMail {
    std::string subject;
    std::string from;
    std::string body; ///< compared line by line
    std::vector<ExpectedAttachment> attachments;
};

/// What to look for in one mailbox (or in single message files).
struct MailboxCheck {
    std::string maildir;
    std::vector<std::string> files;
    double waitSeconds = 10; ///< delivery runs behind the SMTP reply
    std::vector<ExpectedMail> messages;
    std::vector<std::string> missingSubjects;
    std::vector<std::string> hidden; ///< in no header the sender wrote
    std::vector<std::string> absent; ///< nowhere in any message
};

/// Reads the mail with Python's email package and compares: "ok", or one line per difference.
std::string RunMailCheck(const MailboxCheck& check);

} // namespace tessaly::test

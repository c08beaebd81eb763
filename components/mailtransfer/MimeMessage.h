// SPDX-License-Identifier: MIT
#pragma once

#include "MessageSource.h"
#include "Submission.h"

#include <ctime>
#include <string>

namespace tessaly::mail {

/// Builds the MIME form of a submission: Date, From, To (the visible
/// recipients, or the empty group "undisclosed-recipients:;" when all are
/// blind copies), Subject as encoded words, a unique Message-ID, the body as
/// UTF-8 text in base64 and each attachment as application/octet-stream in
/// base64 with its file name encoded for every common mail reader. Subject,
/// body and file names reach the mail as valid UTF-8: a byte that is not
/// part of a UTF-8 character becomes U+FFFD. Attachments are read from the
/// bytes of their paths, only from regular files and never through a
/// symbolic link.
class MimeMessage final {
public:
    /// Composes the mail into `source`, opening every attachment now. False
    /// with `error` set ("添付ファイルがありません: PATH" and the like) when an
    /// attachment cannot be read or is a link, a folder, a pipe or a device;
    /// `source` is then unusable.
    static bool Compose(const Submission& submission, std::time_t now, MessageSource* source, std::string* error);

    /// A fresh Message-ID ("<...@domain>") on the domain of `sender`.
    static std::string NewMessageId(std::string_view sender, std::time_t now);

private:
    static std::string Headers(const Submission& submission, std::time_t now);
    static std::string AttachmentHeaders(const std::string& path, const std::string& boundary);
};

} // namespace tessaly::mail

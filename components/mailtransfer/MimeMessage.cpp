// SPDX-License-Identifier: MIT
#include "MimeMessage.h"

#include "MimeEncoding.h"
#include "common/FileSystem.h"
#include "common/PathField.h"
#include "common/PathParts.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly::mail {
namespace {

std::string RandomHex(int digits)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::random_device device;
    std::string out;
    for (int i = 0; i < digits; ++i)
        out.push_back(kHex[device() & 0x0F]);
    return out;
}

std::string AddressList(const Submission& submission, Recipient::Kind kind)
{
    std::string list;
    for (const Recipient& recipient : submission.recipients) {
        if (recipient.kind == kind)
            list += (list.empty() ? "" : ",\r\n ") + recipient.address;
    }
    return list;
}

/// Opens an attachment for reading, from the bytes of its path; nullptr with
/// `error` set when that is not possible. Only a regular file is read, and
/// never through a symbolic link: a link to a file the user can read but
/// never meant to send (a key outside the watched folder) sends nothing.
/// The checks are made on the opened file itself, so nothing can be put in
/// its place between the check and the reading.
std::FILE* OpenAttachment(const std::string& path, std::string* error)
{
    const std::string shown = ValidUtf8(path);
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *error = errno == ENOENT || errno == ENOTDIR ? "添付ファイルがありません: " + shown
                 : errno == ELOOP ? "添付ファイルがシンボリックリンクのため送りません: " + shown
                                  : "添付ファイルを読めません: " + shown + " (" + ErrorText(errno) + ")";
        return nullptr;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        *error = "添付ファイルが通常のファイルではありません: " + shown;
        return nullptr;
    }
    // Reads of a regular file never wait; the flag only kept the open from
    // waiting on a pipe.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) {
        *error = "添付ファイルを読めません: " + shown + " (" + ErrorText(errno) + ")";
        ::close(fd);
    }
    return file;
}

} // namespace

std::string MimeMessage::NewMessageId(std::string_view sender, std::time_t now)
{
    size_t at = sender.rfind('@');
    std::string_view domain = at == std::string_view::npos ? std::string_view() : sender.substr(at + 1);
    if (domain.empty())
        domain = "tessaly.invalid";
    return "<" + std::to_string(static_cast<long long>(now)) + "." + RandomHex(20) + "@" + std::string(domain) + ">";
}

std::string MimeMessage::Headers(const Submission& submission, std::time_t now)
{
    std::string to = AddressList(submission, Recipient::Kind::To);
    std::string cc = AddressList(submission, Recipient::Kind::Cc);
    std::string headers = "Date: " + MailDate(now) + "\r\n";
    headers += "From: " + submission.sender + "\r\n";
    // Blind copies only: the empty group tells readers the list is hidden.
    headers += "To: " + (to.empty() && cc.empty() ? std::string("undisclosed-recipients:;") : to) + "\r\n";
    if (!cc.empty())
        headers += "Cc: " + cc + "\r\n";
    headers += "Subject: " + EncodeHeaderText(ValidUtf8(submission.subject)) + "\r\n";
    headers += "Message-ID: " + NewMessageId(submission.sender, now) + "\r\n";
    headers += "MIME-Version: 1.0\r\n";
    headers += "X-Mailer: Tessaly\r\n";
    return headers;
}

std::string MimeMessage::AttachmentHeaders(const std::string& path, const std::string& boundary)
{
    // The name as mail readers show it; the content is read from the path.
    const std::string name = ValidUtf8(FileNameOf(path));
    return "--" + boundary + "\r\n" + "Content-Type: application/octet-stream;\r\n " + NameParameter(name) + "\r\n" +
           "Content-Disposition: attachment;\r\n " + FileNameParameter(name) + "\r\n" +
           "Content-Transfer-Encoding: base64\r\n\r\n";
}

bool MimeMessage::Compose(const Submission& submission, std::time_t now, MessageSource* source, std::string* error)
{
    const std::string textHeaders = "Content-Type: text/plain; charset=UTF-8\r\n"
                                    "Content-Transfer-Encoding: base64\r\n\r\n";
    std::string body = Base64Lines(WithCrLf(ValidUtf8(submission.body)));
    if (body.empty())
        body = "\r\n"; // keeps the blank line that ends the part's headers

    if (submission.attachments.empty()) {
        source->AddText(Headers(submission, now) + textHeaders + body);
        return true;
    }
    // "=_" never occurs in base64, so the boundary cannot occur in a part.
    const std::string boundary = "=_tessaly_" + RandomHex(24);
    source->AddText(Headers(submission, now) + "Content-Type: multipart/mixed;\r\n boundary=\"" + boundary +
                    "\"\r\n\r\nThis is a multi-part message in MIME format.\r\n\r\n--" + boundary + "\r\n" +
                    textHeaders + body);
    for (const std::string& path : submission.attachments) {
        std::FILE* file = OpenAttachment(path, error);
        if (!file)
            return false;
        source->AddText(AttachmentHeaders(path, boundary));
        source->AddBase64File(file, path);
    }
    source->AddText("--" + boundary + "--\r\n");
    return true;
}

} // namespace tessaly::mail

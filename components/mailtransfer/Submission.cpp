// SPDX-License-Identifier: MIT
#include "Submission.h"

#include <strings.h>

namespace tessaly::mail {
namespace {

constexpr int kDefaultSmtpPort = 25;

std::vector<std::string_view> SplitAtTabs(std::string_view text)
{
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = text.find('\t', start);
        fields.push_back(text.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

bool SameLetters(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

/// An address fit for MAIL FROM or RCPT TO: no spaces, brackets or control
/// characters that could end the command or open another one.
bool IsUsableAddress(std::string_view address)
{
    if (address.empty() || HasControlCharacter(address))
        return false;
    return address.find_first_of(" <>,;\"") == std::string_view::npos;
}

/// A bearer token as RFC 6750 writes it: letters, digits, "-._~+/", then
/// any "=".
bool IsBearerToken(std::string_view token)
{
    size_t end = token.find_last_not_of('=');
    if (end == std::string_view::npos)
        return false;
    for (char c : token.substr(0, end + 1)) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                  std::string_view("-._~+/").find(c) != std::string_view::npos;
        if (!ok)
            return false;
    }
    return true;
}

/// The mechanism the third field of the sender names; PLAIN or LOGIN for
/// any other text, as before there were others.
Credentials::Mechanism MechanismNamed(std::string_view name)
{
    name = Trimmed(name);
    if (SameLetters(name, "CRAM-MD5"))
        return Credentials::Mechanism::CramMd5;
    if (SameLetters(name, "XOAUTH2"))
        return Credentials::Mechanism::XOAuth2;
    if (SameLetters(name, "OAUTHBEARER"))
        return Credentials::Mechanism::OAuthBearer;
    return Credentials::Mechanism::Password;
}

bool ParseRecipients(std::string_view text, std::vector<Recipient>* recipients, std::string* error)
{
    Recipient::Kind kind = Recipient::Kind::To;
    for (std::string_view field : SplitAtTabs(text)) {
        field = Trimmed(field);
        if (field.empty())
            continue;
        if (SameLetters(field, "to") || SameLetters(field, "cc") || SameLetters(field, "bcc")) {
            kind = SameLetters(field, "to")   ? Recipient::Kind::To
                   : SameLetters(field, "cc") ? Recipient::Kind::Cc
                                              : Recipient::Kind::Bcc;
            continue;
        }
        if (!IsUsableAddress(field)) {
            *error = "宛先のアドレスが正しくありません: \"" + std::string(field) + "\"";
            return false;
        }
        recipients->push_back({std::string(field), kind});
    }
    if (recipients->empty()) {
        *error = "宛先のアドレスが設定されていません";
        return false;
    }
    return true;
}

bool ParseSender(std::string_view text, Submission* submission, std::string* error)
{
    std::vector<std::string_view> fields = SplitAtTabs(text);
    std::string_view address = Trimmed(fields[0]);
    if (address.empty()) {
        *error = "送信者のアドレスが設定されていません";
        return false;
    }
    if (!IsUsableAddress(address)) {
        *error = "送信者のアドレスが正しくありません: \"" + std::string(address) + "\"";
        return false;
    }
    submission->sender = std::string(address);
    if (fields.size() < 2)
        return true;
    std::string_view login = fields[1];
    size_t colon = login.find(':');
    Credentials credentials;
    credentials.user = std::string(login.substr(0, colon));
    if (colon != std::string_view::npos)
        credentials.password = std::string(login.substr(colon + 1));
    if (fields.size() > 2)
        credentials.mechanism = MechanismNamed(fields[2]);
    if (credentials.user.empty()) {
        *error = "SMTP 認証を使う設定ですが、ユーザー名が設定されていません";
        return false;
    }
    if (HasControlCharacter(credentials.user) || HasControlCharacter(credentials.password)) {
        *error = "SMTP のユーザー名またはパスワードに制御文字が含まれています";
        return false;
    }
    if (credentials.isToken() && credentials.password.empty()) {
        *error = "OAuth 2.0 で認証する設定ですが、アクセストークンがありません。サインインし直してください";
        return false;
    }
    if (credentials.isToken() && !IsBearerToken(credentials.password)) {
        *error = "OAuth 2.0 のアクセストークンに使えない文字が含まれています。サインインし直してください";
        return false;
    }
    submission->credentials = std::move(credentials);
    return true;
}

} // namespace

bool ParseSubmission(const SubmissionTexts& texts, Submission* submission, std::string* error)
{
    if (!ParseServerSpec(texts.serverSpec, kDefaultSmtpPort, "SMTP", &submission->server, error))
        return false;
    if (!ParseSender(texts.senderSpec, submission, error))
        return false;
    if (!ParseRecipients(texts.recipients, &submission->recipients, error))
        return false;
    submission->toThoseTaken = texts.toThoseTaken;
    submission->subject = texts.subject;
    submission->body = texts.body;
    for (std::string_view path : SplitAtTabs(texts.attachments)) {
        if (!path.empty())
            submission->attachments.emplace_back(path);
    }
    for (const std::string& path : texts.attachmentPaths) {
        if (!path.empty())
            submission->attachments.push_back(path);
    }
    return true;
}

} // namespace tessaly::mail

// SPDX-License-Identifier: MIT
// The C contract of the mail-transfer component. Every text crosses as
// UTF-8; paths are byte strings handed to the file system unchanged. A
// returned text stays valid until the next call on the same thread.
// Nothing is thrown across this boundary.
//
// The sender argument is "address[TAB user:secret[TAB mechanism]]": no
// mechanism for PLAIN or LOGIN with a password, "CRAM-MD5", or "XOAUTH2" or
// "OAUTHBEARER" with an OAuth 2.0 access token as the secret (see
// SubmissionTexts).
#include "CurlExchange.h"
#include "OAuthHttp.h"
#include "PopLogin.h"
#include "SmtpSubmitter.h"

#include <cstdint>

#define TESSALY_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::string Text(const char* text)
{
    return text ? std::string(text) : std::string();
}

} // namespace

/// Submits one mail; "" when the server accepted it, otherwise why not.
TESSALY_EXPORT const char* SendMailEx(const char* logPath, const char* serverSpec, const char* recipients,
                                      const char* senderSpec, const char* subject, const char* body,
                                      const char* attachments)
{
    thread_local std::string result;
    try {
        tessaly::mail::SubmissionTexts texts{Text(serverSpec), Text(recipients), Text(senderSpec),
                                             Text(subject),    Text(body),       Text(attachments)};
        tessaly::mail::TransferLog log(Text(logPath));
        result = tessaly::mail::SmtpSubmitter().Submit(texts, log);
    } catch (...) {
        // Only memory exhaustion can get here.
        result = "メモリが足りないため、メールを準備できませんでした";
    }
    return result.c_str();
}

/// SendMailEx with the attachments as a list of `attachmentCount` paths,
/// each taken whole: a path may hold any byte but NUL, a Tab included.
/// With `partly` given, the mail goes to the recipients the server takes
/// even when it refuses others; *partly is then 1 when it did so, and the
/// text names the refused recipients with the server's replies.
TESSALY_EXPORT const char* SendMailFiles(const char* logPath, const char* serverSpec, const char* recipients,
                                         const char* senderSpec, const char* subject, const char* body,
                                         const char* const* attachments, int32_t attachmentCount, int32_t* partly)
{
    thread_local std::string result;
    if (partly)
        *partly = 0;
    try {
        tessaly::mail::SubmissionTexts texts{Text(serverSpec), Text(recipients), Text(senderSpec),
                                             Text(subject),    Text(body),       {}};
        for (int32_t i = 0; attachments && i < attachmentCount; ++i)
            texts.attachmentPaths.push_back(Text(attachments[i]));
        texts.toThoseTaken = partly != nullptr;
        tessaly::mail::TransferLog log(Text(logPath));
        bool taken = false;
        result = tessaly::mail::SmtpSubmitter().Submit(texts, log, &taken);
        if (partly)
            *partly = taken ? 1 : 0;
    } catch (...) {
        result = "メモリが足りないため、メールを準備できませんでした";
    }
    return result.c_str();
}

/// Logs in to a POP3 server and sends one command; "" on success.
TESSALY_EXPORT const char* RcvMail(const char* popServerSpec, const char* user, const char* password,
                                   const char* command, const char* outputPath)
{
    thread_local std::string result;
    try {
        tessaly::mail::PopLoginTexts texts{Text(popServerSpec), Text(user), Text(password), Text(command),
                                           Text(outputPath)};
        result = tessaly::mail::PopLogin().Run(texts);
    } catch (...) {
        result = "メモリが足りないため、POP3 のログインを準備できませんでした";
    }
    return result.c_str();
}

/// Non-zero: every exchange in progress, on any thread, ends at once with a
/// text that says so, and so does every one started later; 0 lets them run
/// again. For a program that is ending.
TESSALY_EXPORT void SendMailCancel(int32_t cancel)
{
    tessaly::mail::CurlExchange::CancelAll(cancel != 0);
}

/// POSTs the form `form` (application/x-www-form-urlencoded) to the OAuth
/// 2.0 endpoint `url` (https; http only to this machine). Returns the
/// answer's body and sets *httpStatus to its HTTP status; when no answer
/// came, *httpStatus is 0 and the text says why. TLS is verified, redirects
/// are not followed, the exchange ends within 30 seconds, and nothing of
/// the form or the answer is logged.
TESSALY_EXPORT const char* OAuthPost(const char* url, const char* form, int32_t* httpStatus)
{
    thread_local std::string result;
    if (httpStatus)
        *httpStatus = 0;
    try {
        tessaly::mail::HttpAnswer answer = tessaly::mail::PostForm(Text(url), Text(form));
        if (httpStatus)
            *httpStatus = static_cast<int32_t>(answer.status);
        result = std::move(answer.body);
    } catch (...) {
        result = "メモリが足りないため、トークンを要求できませんでした";
    }
    return result.c_str();
}

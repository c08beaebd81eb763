// SPDX-License-Identifier: MIT
// The C contract of the mail-transfer component. Every text crosses in
// code page 932; a returned text stays valid until the next call on the
// same thread. Nothing is thrown across this boundary.
#include "PopLogin.h"
#include "SmtpSubmitter.h"
#include "common/Cp932.h"

#define TESSALY_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::string Text(const char* cp932)
{
    return cp932 ? tessaly::Cp932ToUtf8(cp932) : std::string();
}

const char* Result(std::string* storage, const std::string& utf8)
{
    *storage = tessaly::Utf8ToCp932(utf8);
    return storage->c_str();
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
        return Result(&result, tessaly::mail::SmtpSubmitter().Submit(texts, log));
    } catch (...) {
        // Only memory exhaustion can get here.
        result = "the mail could not be prepared: out of memory";
        return result.c_str();
    }
}

/// Logs in to a POP3 server and sends one command; "" on success.
TESSALY_EXPORT const char* RcvMail(const char* popServerSpec, const char* user, const char* password,
                                   const char* command, const char* outputPath)
{
    thread_local std::string result;
    try {
        tessaly::mail::PopLoginTexts texts{Text(popServerSpec), Text(user), Text(password), Text(command),
                                           Text(outputPath)};
        return Result(&result, tessaly::mail::PopLogin().Run(texts));
    } catch (...) {
        result = "the POP3 login could not be prepared: out of memory";
        return result.c_str();
    }
}

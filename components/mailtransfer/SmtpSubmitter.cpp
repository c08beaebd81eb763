// SPDX-License-Identifier: MIT
#include "SmtpSubmitter.h"

#include "CurlExchange.h"
#include "MimeMessage.h"
#include "common/PathField.h"

#include <ctime>
#include <memory>
#include <unistd.h>

namespace tessaly::mail {
namespace {

constexpr int kImplicitTlsPort = 465;

struct ListFreer {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlList = std::unique_ptr<curl_slist, ListFreer>;

/// The name this machine gives itself in EHLO; "localhost" when its host
/// name is not a plain domain name.
std::string HeloName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    for (const char* c = name; *c; ++c) {
        bool ok =
            (*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z') || (*c >= '0' && *c <= '9') || *c == '.' || *c == '-';
        if (!ok)
            return "localhost";
    }
    return name;
}

size_t ReadMessage(char* buffer, size_t size, size_t count, void* source)
{
    auto* message = static_cast<MessageSource*>(source);
    size_t n = message->Read(buffer, size * count);
    return message->Failed() ? CURL_READFUNC_ABORT : n;
}

/// MAIL FROM and every RCPT TO; false when memory ran out. The strings are
/// copied by libcurl, the list must live as long as the handle is used.
bool SetEnvelope(CURL* curl, const Submission& submission, CurlList* recipients)
{
    const std::string from = "<" + submission.sender + ">";
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.c_str());
    curl_slist* head = nullptr;
    for (const Recipient& recipient : submission.recipients) {
        curl_slist* longer = curl_slist_append(head, ("<" + recipient.address + ">").c_str());
        if (!longer) {
            curl_slist_free_all(head);
            return false;
        }
        head = longer;
    }
    recipients->reset(head);
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, head);
    return true;
}

void SetLogin(CURL* curl, const Credentials& login)
{
    curl_easy_setopt(curl, CURLOPT_USERNAME, login.user.c_str());
    if (login.isToken()) {
        // Only the mechanism asked for: a server without it refuses the
        // login rather than getting the token as a password.
        curl_easy_setopt(curl, CURLOPT_XOAUTH2_BEARER, login.password.c_str());
        curl_easy_setopt(curl, CURLOPT_LOGIN_OPTIONS,
                         login.mechanism == Credentials::Mechanism::XOAuth2 ? "AUTH=XOAUTH2" : "AUTH=OAUTHBEARER");
        return;
    }
    curl_easy_setopt(curl, CURLOPT_PASSWORD, login.password.c_str());
    // Without the CRAM-MD5 request the password goes as PLAIN or LOGIN,
    // which every server can check, over TLS wherever it is offered, in
    // clear only to a server that never offers it.
    curl_easy_setopt(curl, CURLOPT_LOGIN_OPTIONS,
                     login.mechanism == Credentials::Mechanism::CramMd5 ? "AUTH=CRAM-MD5" : "AUTH=PLAIN;AUTH=LOGIN");
}

} // namespace

SmtpSubmitter::SmtpSubmitter(TransferOptions options) : m_options(options) {}

std::string SmtpSubmitter::Submit(const SubmissionTexts& texts, TransferLog& log, bool* partly) const
{
    bool taken = false;
    Submission submission;
    std::string error;
    std::string server = texts.serverSpec;
    for (char& c : server)
        c = c == '\t' ? ':' : c;
    log.Begin("SendMailEx " + server);
    // A link or a pipe in the log's place stops the mail before anything
    // is sent: nothing is written through it, nothing waits on it.
    if (!log.Open(&error))
        return ValidUtf8(error);
    if (ParseSubmission(texts, &submission, &error)) {
        if (submission.credentials)
            log.AddSecret(submission.credentials->password);
        error = Send(submission, log, &taken);
    }
    if (partly)
        *partly = taken;
    log.Finish(error);
    return ValidUtf8(error);
}

std::string SmtpSubmitter::Send(const Submission& submission, TransferLog& log, bool* partly) const
{
    MessageSource message;
    std::string error;
    if (!MimeMessage::Compose(submission, std::time(nullptr), &message, &error))
        return error;

    ServerTrust trust(ServerTrust::FolderOf(log.Path()));
    if (!trust.Load(&error))
        return error;
    CurlList recipients; // outlives the handle that points to it
    CurlExchange exchange(submission.server, m_options, &log, &trust);
    CURL* curl = exchange.Handle();
    if (!curl || !SetEnvelope(curl, submission, &recipients))
        return exchange.Describe(curl ? CURLE_OUT_OF_MEMORY : CURLE_FAILED_INIT);
    const bool implicitTls = submission.server.port == kImplicitTlsPort;
    exchange.SetTarget(implicitTls ? "smtps" : "smtp", implicitTls, HeloName());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    if (submission.credentials) {
        SetLogin(curl, *submission.credentials);
        // CRAM-MD5 hides the password, yet a listener can still try words
        // against its answer, and a bearer token is as good as a password
        // to whoever reads it: every mechanism waits for TLS where offered.
        exchange.GuardCredentials();
    }
    // (libcurl spells the option with three L until 8.2, and keeps that name.)
    if (submission.toThoseTaken)
        curl_easy_setopt(curl, CURLOPT_MAIL_RCPT_ALLLOWFAILS, 1L);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, &ReadMessage);
    curl_easy_setopt(curl, CURLOPT_READDATA, &message);

    CURLcode code = exchange.Perform([&] { return message.Rewind(); });
    if (message.Failed())
        return message.Error();
    const std::vector<std::string>& refused = exchange.RefusedRecipients();
    if (code != CURLE_OK || refused.empty())
        return exchange.Describe(code);
    // The server took the mail for the others.
    *partly = true;
    std::string text;
    for (const std::string& refusal : refused)
        text += (text.empty() ? "" : " / ") + refusal;
    return text;
}

} // namespace tessaly::mail

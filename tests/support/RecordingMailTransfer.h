// SPDX-License-Identifier: MIT
#pragma once

#include "notify/MailTransfer.h"

#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessaly::test {

/// Takes every mail instead of sending it, and records every call.
/// `refuseFrom` makes the n-th mail (0-based) and every later one be refused
/// with `refusal`; `sendMissing` and `rcvResult` without a value stand for
/// a function the component lacks; `throwOnSend` for a transfer that breaks.
class RecordingMailTransfer final : public MailTransfer {
public:
    std::optional<MailReply> sendMailEx(const SendMailExArguments& arguments, std::string* error) override
    {
        calls.push_back("SendMailEx");
        if (throwOnSend)
            throw std::runtime_error("broken transfer");
        if (sendMissing) {
            *error = "SendMailEx is missing";
            return std::nullopt;
        }
        if (static_cast<int>(sent.size()) >= refuseFrom) {
            if (logRefusals)
                std::ofstream(arguments.logPath, std::ios::app) << refusal << "\r\n";
            return refusal;
        }
        if (onSend)
            onSend(arguments);
        sent.push_back(arguments);
        return std::string();
    }
    std::optional<std::string> rcvMail(const RcvMailArguments& arguments, std::string* error) override
    {
        calls.push_back("RcvMail");
        logins.push_back(arguments);
        if (!rcvResult)
            *error = "RcvMail is missing";
        return rcvResult;
    }

    std::optional<OAuthAnswer> oauthPost(const std::string& url, const std::string& form, std::string* error) override
    {
        posts.push_back(url + " " + form);
        if (onOAuthPost)
            onOAuthPost();
        if (!oauthAnswer)
            *error = "no answer";
        return oauthAnswer;
    }

    std::vector<std::string> calls;
    std::vector<SendMailExArguments> sent;
    std::vector<std::string> posts; ///< url, a blank and the form of each token request
    /// What every token request is answered; nothing: no answer came.
    std::optional<OAuthAnswer> oauthAnswer;
    /// Called during each token request, as the provider works on it.
    std::function<void()> onOAuthPost;
    std::vector<RcvMailArguments> logins;
    /// Called with each mail that is taken, while its attachments exist.
    std::function<void(const SendMailExArguments&)> onSend;
    int refuseFrom = 1 << 30;
    std::string refusal = "550 5.7.1 refused";
    /// Refusals are written to the mail's log, as when the server was reached.
    bool logRefusals = false;
    bool sendMissing = false;
    bool throwOnSend = false;
    std::optional<std::string> rcvResult = std::string();
};

} // namespace tessaly::test

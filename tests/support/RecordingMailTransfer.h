// SPDX-License-Identifier: MIT
#pragma once

#include "notify/MailTransfer.h"

#include <fstream>
#include <functional>
#include <vector>

namespace tessaly::test {

/// Takes every mail instead of sending it. `refuseFrom` makes the n-th mail
/// (0-based) and every later one be refused with `refusal`.
class RecordingMailTransfer final : public MailTransfer {
public:
    std::optional<std::string> sendMailEx(const SendMailExArguments& arguments, std::string*) override
    {
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
    std::optional<std::string> rcvMail(const RcvMailArguments& arguments, std::string*) override
    {
        logins.push_back(arguments);
        return std::string();
    }

    std::vector<SendMailExArguments> sent;
    std::vector<RcvMailArguments> logins;
    /// Called with each mail that is taken, while its attachments exist.
    std::function<void(const SendMailExArguments&)> onSend;
    int refuseFrom = 1 << 30;
    std::string refusal = "550 5.7.1 refused";
    /// Refusals are written to the mail's log, as when the server was reached.
    bool logRefusals = false;
};

} // namespace tessaly::test

// SPDX-License-Identifier: MIT
#pragma once

#include "notify/MailTransfer.h"

#include <vector>

namespace tessaly::test {

/// Takes every mail instead of sending it. `refuseFrom` makes the n-th mail
/// (0-based) and every later one be refused with `refusal`.
class RecordingMailTransfer final : public MailTransfer {
public:
    std::optional<std::string> sendMailEx(const SendMailExArguments& arguments, std::string*) override
    {
        if (static_cast<int>(sent.size()) >= refuseFrom)
            return refusal;
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
    int refuseFrom = 1 << 30;
    std::string refusal = "550 5.7.1 refused";
};

} // namespace tessaly::test

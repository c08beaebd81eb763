// SPDX-License-Identifier: MIT
#pragma once

#include "notify/MailTransfer.h"
#include "settings/BasicSettings.h"

#include <string>

namespace tessaly {

/// What both notification mails take from the program: the mail-transfer
/// component, the basic settings (SMTP, authentication, POP before SMTP)
/// and the data folder that receives mail.log and RcvMail.txt. The
/// references must outlive the calls that use them.
struct MailDelivery {
    MailTransfer& transfer;
    const BasicSettings& settings;
    std::string dataFolder;
};

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include "TransferOptions.h"

#include <string>

namespace tessaly::mail {

/// The texts handed to RcvMail: UTF-8, the output path as bytes.
struct PopLoginTexts {
    std::string serverSpec; ///< "host<TAB>port"
    std::string user;
    std::string password;
    std::string command;    ///< a POP3 command, e.g. "STAT"
    std::string outputPath; ///< where the server's answer goes; "" for nowhere
};

/// One POP3 login with one command: what RcvMail does behind its C
/// contract, for servers that accept SMTP only after a POP3 login. Logs in
/// with the server's SASL mechanisms or USER/PASS, over STLS when offered.
class PopLogin final {
public:
    explicit PopLogin(TransferOptions options = {});

    /// Logs in, sends the command and writes the server's answer (or the
    /// failure text, UTF-8) to the output file. Returns "" on success,
    /// otherwise a short text for the user.
    std::string Run(const PopLoginTexts& texts) const;

private:
    std::string Exchange(const PopLoginTexts& texts, std::string* answer) const;

    TransferOptions m_options;
};

} // namespace tessaly::mail

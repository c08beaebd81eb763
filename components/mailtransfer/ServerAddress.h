// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace tessaly::mail {

/// Where a mail server listens, read from a "host<TAB>port" text.
struct ServerAddress {
    std::string host;
    int port = 0;

    /// "host:port" ("[::1]:25" for an IPv6 address), for messages.
    std::string Text() const;
    /// "scheme://host:port/path" with the host bracketed when it is IPv6.
    std::string Url(std::string_view scheme, std::string_view path = {}) const;
};

/// Reads a "host<TAB>port" server argument. Spaces around either part are
/// ignored; an empty port gives `defaultPort`. False with `error` set when
/// the host is empty or not a plain host name or address, or the port is
/// not a number from 1 to 65535. `what` names the server in messages
/// ("SMTP", "POP3").
bool ParseServerSpec(std::string_view text, int defaultPort, std::string_view what, ServerAddress* server,
                     std::string* error);

/// Spaces and tabs removed from both ends.
std::string_view Trimmed(std::string_view text);

/// True when `text` holds a control character (CR, LF, NUL and the like),
/// which must never reach a protocol line.
bool HasControlCharacter(std::string_view text);

} // namespace tessaly::mail

// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <string>

namespace tessaly::test {

/// The Postfix and Dovecot that start-mail-server.sh started for this test
/// run, read from the file named by $TESSALY_MAIL_SERVER_ENV.
class MailServer final {
public:
    /// The running servers; fails the calling test when there are none.
    static const MailServer& Get();

    /// Submission without a duty to authenticate (relay only for AUTH).
    int submitPort() const { return port("SUBMIT_PORT"); }
    /// Submission that accepts mail only after AUTH.
    int authPort() const { return port("AUTH_PORT"); }
    int popPort() const { return port("POP_PORT"); }
    /// A loopback address with submission over implicit TLS on port 465.
    std::string tlsHost() const { return value("TLS_HOST"); }

    /// "name@tessaly.test"
    std::string address(const std::string& user) const;
    std::string password(const std::string& user) const;
    /// The user's Maildir (new/ and cur/ below it).
    std::string maildir(const std::string& user) const;
    /// The combined log of both servers, in the order things happened.
    std::string logPath() const { return value("SERVER_LOG"); }

    std::string value(const std::string& key) const;

private:
    int port(const std::string& key) const;

    std::map<std::string, std::string> m_values;
};

} // namespace tessaly::test

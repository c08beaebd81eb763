// SPDX-License-Identifier: MIT
#pragma once

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

namespace tessaly::test {

/// The Postfix and Dovecot that start-mail-server.sh started for this test
/// run, read from the file named by $TESSALY_MAIL_SERVER_ENV.
class MailServer final {
public:
    /// The running servers; fails the calling test when there are none.
    static const MailServer& Get()
    {
        static const MailServer server = [] {
            MailServer loaded;
            const char* path = std::getenv("TESSALY_MAIL_SERVER_ENV");
            std::istringstream in(ReadFile(path ? path : ""));
            for (std::string line; std::getline(in, line);)
                if (size_t equals = line.find('='); equals != std::string::npos)
                    loaded.m_values[line.substr(0, equals)] = line.substr(equals + 1);
            return loaded;
        }();
        EXPECT_FALSE(server.m_values.empty()) << "no mail server: run the test through ctest (fixture mail_server)";
        return server;
    }

    int submitPort() const { return std::atoi(value("SUBMIT_PORT").c_str()); } ///< no duty to authenticate
    int authPort() const { return std::atoi(value("AUTH_PORT").c_str()); }     ///< mail only after AUTH
    int popPort() const { return std::atoi(value("POP_PORT").c_str()); }
    /// A loopback address with submission over implicit TLS on port 465.
    std::string tlsHost() const { return value("TLS_HOST"); }
    std::string address(const std::string& user) const { return user + "@" + value("DOMAIN"); }
    std::string password(const std::string& user) const { return value("PASSWORD_" + user); }
    std::string maildir(const std::string& user) const { return value("MAIL_BASE") + "/" + user; }
    /// The token service that Dovecot asks about bearer tokens.
    std::string tokenUrl() const { return value("TOKEN_URL"); }
    /// The combined log of both servers, in the order things happened.
    std::string logPath() const { return value("SERVER_LOG"); }
    std::string value(const std::string& key) const
    {
        auto it = m_values.find(key);
        return it == m_values.end() ? std::string() : it->second;
    }

private:
    std::map<std::string, std::string> m_values;
};

} // namespace tessaly::test

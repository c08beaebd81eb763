// SPDX-License-Identifier: MIT
#pragma once

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>
#include <thread>

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
    /// Waits (at most 20 s) until Postfix's queue holds nothing for `users`:
    /// every mail submitted to them before has then reached their mailboxes,
    /// and one that is not there was never sent.
    bool queueHoldsNothingFor(std::initializer_list<const char*> users) const
    {
        const std::string list = "/usr/sbin/postqueue -c '" + value("RUN_DIR") + "/conf' -p 2>&1";
        std::string queue;
        for (int attempt = 0; attempt < 400; ++attempt) {
            queue.clear();
            if (std::FILE* pipe = ::popen(list.c_str(), "r")) {
                char buffer[4096];
                while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
                    queue.append(buffer, n);
                ::pclose(pipe);
            }
            if (queue.find("Queue ID") == std::string::npos && queue.find("Mail queue is empty") == std::string::npos)
                break; // the queue does not answer
            if (std::none_of(users.begin(), users.end(),
                             [&](const char* user) { return queue.find(address(user)) != std::string::npos; }))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ADD_FAILURE() << "mail stays queued:\n" << queue;
        return false;
    }
    std::string value(const std::string& key) const
    {
        auto it = m_values.find(key);
        return it == m_values.end() ? std::string() : it->second;
    }

private:
    std::map<std::string, std::string> m_values;
};

} // namespace tessaly::test

// SPDX-License-Identifier: MIT
#include "MailServer.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace tessaly::test {

const MailServer& MailServer::Get()
{
    static const MailServer server = [] {
        MailServer loaded;
        const char* path = std::getenv("TESSALY_MAIL_SERVER_ENV");
        std::istringstream in(ReadFile(path ? path : ""));
        for (std::string line; std::getline(in, line);) {
            size_t equals = line.find('=');
            if (equals != std::string::npos)
                loaded.m_values[line.substr(0, equals)] = line.substr(equals + 1);
        }
        return loaded;
    }();
    EXPECT_FALSE(server.m_values.empty()) << "no mail server: run the test through ctest (fixture mail_server)";
    return server;
}

std::string MailServer::value(const std::string& key) const
{
    auto it = m_values.find(key);
    return it == m_values.end() ? std::string() : it->second;
}

int MailServer::port(const std::string& key) const
{
    return std::atoi(value(key).c_str());
}

std::string MailServer::address(const std::string& user) const
{
    return user + "@" + value("DOMAIN");
}

std::string MailServer::password(const std::string& user) const
{
    return value("PASSWORD_" + user);
}

std::string MailServer::maildir(const std::string& user) const
{
    return value("MAIL_BASE") + "/" + user;
}

} // namespace tessaly::test

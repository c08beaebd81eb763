// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <thread>

namespace tessaly::test {

/// A mail server on 127.0.0.1 that misbehaves in ways a real one cannot be
/// made to: it never speaks, hangs up after its greeting, or takes a whole
/// message and then never answers. Serves one connection.
class ScriptedSmtpServer final {
public:
    enum class Behaviour {
        Silent,              ///< accepts connections (backlog) and never speaks
        HangUpAfterGreeting, ///< greets, then closes the connection
        StallAfterData,      ///< plays along until the message ends, then waits
    };

    explicit ScriptedSmtpServer(Behaviour behaviour);
    ~ScriptedSmtpServer();
    ScriptedSmtpServer(const ScriptedSmtpServer&) = delete;
    ScriptedSmtpServer& operator=(const ScriptedSmtpServer&) = delete;

    int port() const { return m_port; }
    /// True once the whole message (up to the final ".") was received.
    bool receivedMessage() const { return m_receivedMessage; }

private:
    void Serve(Behaviour behaviour);
    void PlayAlong(int client);
    bool ReadLine(int client, std::string* line);

    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_receivedMessage{false};
    std::thread m_thread;
};

/// A port on 127.0.0.1 where nothing listens.
int ClosedPort();

} // namespace tessaly::test

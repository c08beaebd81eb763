// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace tessaly::test {

/// A certificate and its key in PEM, and the certificate's SHA-256 as
/// "AB:CD:..." (the form a user compares with other tools).
struct TlsIdentity {
    std::string certificatePem;
    std::string keyPem;
    std::string fingerprint;
};

/// A fresh self-signed certificate (P-256) for `commonName`, valid now.
TlsIdentity SelfSignedIdentity(const std::string& commonName);

/// A mail server on 127.0.0.1 that behaves in ways a real one cannot be
/// made to: it never speaks, hangs up after its greeting, takes a whole
/// message and then never answers, or (as a machine in the middle would
/// make it look) offers STARTTLS with any certificate or not at all. It
/// serves connection after connection on the same port, each with the
/// behaviour set when it arrives.
class ScriptedSmtpServer final {
public:
    enum class Behaviour {
        Silent,              ///< accepts connections (backlog) and never speaks
        HangUpAfterGreeting, ///< greets, then closes the connection
        StallAfterData,      ///< plays along until the message ends, then waits
        StartTls,            ///< offers STARTTLS with the identity, AUTH PLAIN, LOGIN and CRAM-MD5, and takes the mail
        NoStartTls,          ///< the same without STARTTLS: everything in clear
        StartTlsRefused,     ///< offers STARTTLS, answers it 454, then takes the login and the mail in clear
        Pop3StartTls,        ///< a POP3 server offering STLS with the identity and USER/PASS
        Pop3NoStartTls,      ///< the same without STLS
        Pop3StlsRefused,     ///< offers STLS, APOP and SASL PLAIN too, answers STLS "-ERR", takes any login
    };

    explicit ScriptedSmtpServer(Behaviour behaviour, TlsIdentity identity = {});
    ~ScriptedSmtpServer();
    ScriptedSmtpServer(const ScriptedSmtpServer&) = delete;
    ScriptedSmtpServer& operator=(const ScriptedSmtpServer&) = delete;

    /// Behaves so from the next connection on (not for Silent).
    void Become(Behaviour behaviour, TlsIdentity identity = {});
    /// Behaves so from the connection after the next one on, as a server
    /// that changes between a client's first attempt and its retry.
    void BecomeAfterNext(Behaviour behaviour);

    int port() const { return m_port; }
    /// True once the whole message (up to the final ".") was received.
    bool receivedMessage() const { return m_messages > 0; }
    /// How many messages were taken ("250" after the final "."), or POP3
    /// logins accepted.
    int messages() const { return m_messages; }
    /// Every line received on any connection so far, after decryption,
    /// each ended by "\n".
    std::string received() const;

private:
    struct Connection;

    void Serve();
    void Handle(int client);
    void PlayAlong(Connection& connection, Behaviour behaviour, const TlsIdentity& identity);
    void PlayPop3(Connection& connection, Behaviour behaviour, const TlsIdentity& identity);
    bool ReadLine(Connection& connection, std::string* line);
    bool StartTls(Connection& connection, const TlsIdentity& identity);

    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_messages{0};
    mutable std::mutex m_mutex;
    Behaviour m_behaviour;
    std::optional<Behaviour> m_afterNext;
    TlsIdentity m_identity;
    std::string m_received;
    std::thread m_thread;
};

/// A port on 127.0.0.1 where nothing listens.
int ClosedPort();

} // namespace tessaly::test

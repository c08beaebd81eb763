// SPDX-License-Identifier: MIT
#include "ScriptedSmtpServer.h"

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <utility>

namespace tessaly::test {
namespace {

int ListenOnLoopback(int* port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return fd;
}

std::string MemoryText(BIO* bio)
{
    char* data = nullptr;
    long size = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<size_t>(size));
}

std::string UpperWord(const std::string& line)
{
    std::string word = line.substr(0, line.find(' '));
    for (char& c : word)
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    return word;
}

} // namespace

TlsIdentity SelfSignedIdentity(const std::string& commonName)
{
    TlsIdentity identity;
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* certificate = X509_new();
    if (!key || !certificate)
        return identity;
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), static_cast<long>(std::random_device()() & 0x7FFFFFFF));
    X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 2 * 86400);
    X509_set_pubkey(certificate, key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                               -1, 0);
    X509_set_issuer_name(certificate, name);
    X509_sign(certificate, key, EVP_sha256());

    BIO* pem = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(pem, certificate);
    identity.certificatePem = MemoryText(pem);
    BIO_free(pem);
    pem = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(pem, key, nullptr, nullptr, 0, nullptr, nullptr);
    identity.keyPem = MemoryText(pem);
    BIO_free(pem);

    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    X509_digest(certificate, EVP_sha256(), digest, &size);
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (unsigned int i = 0; i < size; ++i) {
        identity.fingerprint += (i ? ":" : "");
        identity.fingerprint += {kHex[digest[i] >> 4], kHex[digest[i] & 0x0F]};
    }
    X509_free(certificate);
    EVP_PKEY_free(key);
    return identity;
}

/// One client: the socket, and its TLS session once STARTTLS was done.
struct ScriptedSmtpServer::Connection {
    int fd = -1;
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;

    ~Connection()
    {
        if (ssl)
            SSL_free(ssl);
        if (context)
            SSL_CTX_free(context);
    }

    void Say(const std::string& line)
    {
        std::string text = line + "\r\n";
        if (ssl)
            SSL_write(ssl, text.data(), static_cast<int>(text.size()));
        else
            (void)!::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
    }
};

int ClosedPort()
{
    int port = 0;
    int fd = ListenOnLoopback(&port);
    ::close(fd);
    return port;
}

ScriptedSmtpServer::ScriptedSmtpServer(Behaviour behaviour, TlsIdentity identity)
    : m_behaviour(behaviour), m_identity(std::move(identity))
{
    // A client that hangs up must not end the test through a write on TLS.
    std::signal(SIGPIPE, SIG_IGN);
    m_listen = ListenOnLoopback(&m_port);
    if (behaviour != Behaviour::Silent && m_listen >= 0)
        m_thread = std::thread([this] { Serve(); });
}

ScriptedSmtpServer::~ScriptedSmtpServer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listen >= 0)
        ::close(m_listen);
}

void ScriptedSmtpServer::Become(Behaviour behaviour, TlsIdentity identity)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_behaviour = behaviour;
    m_identity = std::move(identity);
}

void ScriptedSmtpServer::BecomeAfterNext(Behaviour behaviour)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_afterNext = behaviour;
}

std::string ScriptedSmtpServer::received() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

bool ScriptedSmtpServer::ReadLine(Connection& connection, std::string* line)
{
    line->clear();
    while (!m_stop) {
        if (!connection.ssl || SSL_pending(connection.ssl) == 0) {
            pollfd ready{connection.fd, POLLIN, 0};
            if (::poll(&ready, 1, 50) <= 0)
                continue;
        }
        char c = 0;
        int got = connection.ssl ? SSL_read(connection.ssl, &c, 1) : static_cast<int>(::recv(connection.fd, &c, 1, 0));
        if (got != 1)
            return false;
        if (c == '\n') {
            if (!line->empty() && line->back() == '\r')
                line->pop_back();
            std::lock_guard<std::mutex> lock(m_mutex);
            m_received += *line + "\n";
            return true;
        }
        line->push_back(c);
    }
    return false;
}

bool ScriptedSmtpServer::StartTls(Connection& connection, const TlsIdentity& identity)
{
    connection.context = SSL_CTX_new(TLS_server_method());
    BIO* certificate =
        BIO_new_mem_buf(identity.certificatePem.data(), static_cast<int>(identity.certificatePem.size()));
    BIO* key = BIO_new_mem_buf(identity.keyPem.data(), static_cast<int>(identity.keyPem.size()));
    X509* x509 = PEM_read_bio_X509(certificate, nullptr, nullptr, nullptr);
    EVP_PKEY* pkey = PEM_read_bio_PrivateKey(key, nullptr, nullptr, nullptr);
    bool ready = connection.context && x509 && pkey && SSL_CTX_use_certificate(connection.context, x509) == 1 &&
                 SSL_CTX_use_PrivateKey(connection.context, pkey) == 1;
    X509_free(x509);
    EVP_PKEY_free(pkey);
    BIO_free(certificate);
    BIO_free(key);
    if (!ready)
        return false;
    connection.ssl = SSL_new(connection.context);
    SSL_set_fd(connection.ssl, connection.fd);
    // A client that refuses the certificate ends the handshake with an alert.
    return SSL_accept(connection.ssl) == 1;
}

void ScriptedSmtpServer::PlayAlong(Connection& connection, Behaviour behaviour, const TlsIdentity& identity)
{
    connection.Say("220 fake ESMTP");
    const bool offersTls = behaviour == Behaviour::StartTls || behaviour == Behaviour::StartTlsRefused;
    std::string line;
    while (ReadLine(connection, &line)) {
        const std::string verb = UpperWord(line);
        if (verb == "EHLO" && behaviour != Behaviour::StallAfterData) {
            connection.Say("250-fake");
            if (offersTls && !connection.ssl)
                connection.Say("250-STARTTLS");
            connection.Say("250 AUTH PLAIN LOGIN CRAM-MD5");
        } else if (verb == "STARTTLS" && behaviour == Behaviour::StartTlsRefused) {
            connection.Say("454 4.7.0 TLS not available due to local problem");
        } else if (verb == "STARTTLS" && offersTls && !connection.ssl) {
            connection.Say("220 go ahead");
            if (!StartTls(connection, identity))
                return;
        } else if (verb == "AUTH") {
            // PLAIN without an initial response, or LOGIN: one or two
            // challenges, each answered by a line of credentials.
            const bool login = line.find("LOGIN") != std::string::npos;
            const bool initial = !login && line.find(' ', 5) != std::string::npos;
            for (int challenge = initial ? 0 : login ? 2 : 1; challenge > 0; --challenge) {
                connection.Say("334 ");
                if (!ReadLine(connection, &line))
                    return;
            }
            connection.Say("235 ok");
        } else if (verb == "DATA") {
            connection.Say("354 go ahead");
            while (ReadLine(connection, &line) && line != ".") {
            }
            if (line != ".")
                return;
            if (behaviour == Behaviour::StallAfterData) {
                ++m_messages;
                // Never answers the end of the message: wait for the client
                // to give up and hang up.
                while (ReadLine(connection, &line)) {
                }
                return;
            }
            ++m_messages;
            connection.Say("250 queued");
        } else if (verb == "QUIT") {
            connection.Say("221 bye");
            return;
        } else {
            connection.Say("250 ok");
        }
    }
}

void ScriptedSmtpServer::PlayPop3(Connection& connection, Behaviour behaviour, const TlsIdentity& identity)
{
    const bool refuses = behaviour == Behaviour::Pop3StlsRefused;
    connection.Say(refuses ? "+OK fake POP3 <1896.697170952@pop.example.jp>" : "+OK fake POP3");
    std::string line;
    while (ReadLine(connection, &line)) {
        const std::string verb = UpperWord(line);
        if (verb == "CAPA") {
            connection.Say("+OK");
            connection.Say("USER");
            if (refuses)
                connection.Say("SASL PLAIN");
            if ((behaviour == Behaviour::Pop3StartTls || refuses) && !connection.ssl)
                connection.Say("STLS");
            connection.Say(".");
        } else if (verb == "STLS" && refuses) {
            connection.Say("-ERR TLS not available");
        } else if (verb == "STLS" && behaviour == Behaviour::Pop3StartTls && !connection.ssl) {
            connection.Say("+OK go ahead");
            if (!StartTls(connection, identity))
                return;
        } else if (verb == "PASS" || verb == "APOP" || verb == "AUTH") {
            ++m_messages;
            connection.Say("+OK logged in");
        } else if (verb == "STAT") {
            connection.Say("+OK 0 0");
        } else if (verb == "QUIT") {
            connection.Say("+OK bye");
            return;
        } else {
            connection.Say(verb == "USER" ? "+OK" : "-ERR unknown");
        }
    }
}

void ScriptedSmtpServer::Handle(int client)
{
    Behaviour behaviour;
    TlsIdentity identity;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        behaviour = m_behaviour;
        identity = m_identity;
        if (m_afterNext)
            m_behaviour = *std::exchange(m_afterNext, std::nullopt);
    }
    // Only a safety net against a client that stops in the middle of a TLS
    // record: no test waits on it.
    timeval limit{30, 0};
    ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    Connection connection;
    connection.fd = client;
    if (behaviour == Behaviour::HangUpAfterGreeting)
        connection.Say("220 fake ESMTP");
    else if (behaviour == Behaviour::Pop3StartTls || behaviour == Behaviour::Pop3NoStartTls ||
             behaviour == Behaviour::Pop3StlsRefused)
        PlayPop3(connection, behaviour, identity);
    else
        PlayAlong(connection, behaviour, identity);
}

void ScriptedSmtpServer::Serve()
{
    while (!m_stop) {
        pollfd ready{m_listen, POLLIN, 0};
        if (::poll(&ready, 1, 50) <= 0)
            continue;
        int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        Handle(client);
        ::close(client);
    }
}

} // namespace tessaly::test

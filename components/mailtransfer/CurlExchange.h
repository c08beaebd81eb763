// SPDX-License-Identifier: MIT
#pragma once

#include "ServerAddress.h"
#include "ServerTrust.h"
#include "TransferLog.h"
#include "TransferOptions.h"

#include <curl/curl.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tessaly::mail {

/// One libcurl exchange with a mail server, with what every exchange of the
/// component shares: the time bounds, TLS (STARTTLS when the server offers
/// it, implicit TLS on the dedicated ports) with the certificate verified
/// against the system's store or else trusted on first use, the dialogue
/// going to the transfer log, and the translation of a failure into a text
/// the user can act on. The protocol's own options are set on Handle().
///
/// Credentials go in clear only to a server that never offers STARTTLS.
/// libcurl's "STARTTLS when offered" carries on in clear when the server
/// refuses it, so the exchange watches the dialogue itself: a refused
/// STARTTLS or STLS shuts the connection's socket before libcurl gets to
/// the next command, and a server that offered STARTTLS before, or whose
/// certificate failed a moment ago, is spoken to with TLS demanded.
/// Not thread-safe; one exchange per object.
class CurlExchange final {
public:
    /// `trust` (may be null: nothing is remembered) must outlive the
    /// exchange and be loaded.
    CurlExchange(ServerAddress server, const TransferOptions& options, TransferLog* log, ServerTrust* trust);
    ~CurlExchange();
    CurlExchange(const CurlExchange&) = delete;
    CurlExchange& operator=(const CurlExchange&) = delete;

    /// With `cancel`, ends every exchange in progress at once and every one
    /// started later before it begins, until called again without it.
    /// Thread-safe.
    static void CancelAll(bool cancel);
    /// True while CancelAll(true) holds.
    static bool Cancelled();

    /// The easy handle; nullptr when libcurl could not provide one.
    CURL* Handle() const { return m_curl; }

    /// Sets the URL: `scheme` speaks TLS from the first byte when
    /// `implicitTls`, otherwise it is upgraded by STARTTLS when offered.
    void SetTarget(std::string_view scheme, bool implicitTls, std::string_view path = {});

    /// The exchange logs in (SMTP AUTH of any mechanism, POP3 USER/PASS,
    /// APOP or SASL): it ends before the credentials are sent when the
    /// server refuses the STARTTLS it offers, did not offer it although it
    /// offered it before, or drops it on the run after a failed certificate.
    void GuardCredentials() { m_guardCredentials = true; }

    /// Runs the exchange. A server certificate that the system's store
    /// cannot verify (an intranet server's own certificate) is noted in the
    /// log, `rewind` is called, and the exchange runs once more, with TLS
    /// demanded, accepting only the certificate recorded for the server, or
    /// any on first use (then recorded). A failed `rewind` ends it with
    /// CURLE_SEND_FAIL_REWIND. Afterwards the record notes a STARTTLS offer.
    CURLcode Perform(const std::function<bool()>& rewind);

    /// A short text for the user about a failed exchange: the server's
    /// reply, a refused connection, a time-out, failed authentication.
    std::string Describe(CURLcode code) const;

    /// The first reply line that answered `command` (matched by its first
    /// word), or "" when it was never sent or answered.
    std::string ReplyTo(std::string_view command) const;

    /// Each refusal of a recipient (RCPT) in the last run, as Describe words
    /// a refusal.
    const std::vector<std::string>& RefusedRecipients() const { return m_refusedRecipients; }

private:
    friend struct PinnedCertificate;

    static int OnDebug(CURL* curl, curl_infotype type, char* data, size_t size, void* self);
    static curl_socket_t OnOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address);
    static int OnCloseSocket(void* self, curl_socket_t socket);
    /// STARTTLS is demanded (libcurl then stops by itself when it is not
    /// offered or refused) or taken when offered.
    void DemandTls(bool demand);
    /// Shuts the connection before libcurl sends another command.
    void HangUp();
    void OnData(curl_infotype type, std::string_view data);
    void OnLine(curl_infotype type, std::string_view line);
    std::string DescribeTimeOut() const;
    /// A bearer token refused at login, with the server's `reply` if any.
    std::string DescribeRefusedToken(const std::string& reply) const;
    std::string DescribeConnectFailure() const;
    bool Connected() const;
    void ResetDialogue();
    /// During the handshake of the second run: whether the server's
    /// certificate (its SHA-256) may be used.
    bool AcceptCertificate(const std::string& fingerprint);
    /// Remembers what this exchange learnt and notes it in the log.
    void Conclude();
    /// "host:port" of the server, for messages.
    std::string where() const { return m_server.Text(); }

    ServerAddress m_server;
    TransferLog* m_log;
    ServerTrust* m_trust;
    std::string m_key; ///< the server in the trust record
    bool m_implicitTls = false;
    bool m_guardCredentials = false;
    bool m_tlsRequired = false;    ///< STARTTLS demanded: offered before
    bool m_tlsFailed = false;      ///< STARTTLS demanded: the first run's certificate failed
    bool m_offersStartTls = false; ///< seen in this exchange
    bool m_tlsActive = false;
    bool m_passwordInClear = false;
    bool m_certificateChanged = false;
    bool m_pinSetUpFailed = false;
    std::string m_verifyError;      ///< why the system's store refused the certificate
    std::string m_newFingerprint;   ///< accepted on first use, to record
    std::string m_knownFingerprint; ///< accepted as recorded
    CURL* m_curl = nullptr;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    std::string m_partial[3];
    std::string m_lastCommand;
    std::string m_lastReply;
    std::string m_authMechanism;   ///< of the last AUTH command
    std::string m_refusal;         ///< the last refusing reply
    std::string m_refusedCommand;  ///< the command it answered
    std::string m_startTlsRefusal; ///< the reply that refused STARTTLS or STLS
    std::vector<std::string> m_refusedRecipients;
    std::vector<curl_socket_t> m_sockets; ///< open sockets of the exchange
    std::vector<std::pair<std::string, std::string>> m_answers;
};

/// curl_global_init, once per process.
void InitialiseCurlOnce();

/// True for a reply that refuses: an SMTP code 4xx or 5xx, or POP3 "-ERR".
bool IsRefusal(std::string_view reply);

} // namespace tessaly::mail

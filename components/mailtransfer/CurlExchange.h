// SPDX-License-Identifier: MIT
#pragma once

#include "ServerAddress.h"
#include "TransferLog.h"
#include "TransferOptions.h"

#include <curl/curl.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tessaly::mail {

/// One libcurl exchange with a mail server, with what every exchange of the
/// component shares: the time bounds, opportunistic TLS (STARTTLS when the
/// server offers it, implicit TLS on the dedicated ports), the dialogue
/// going to the transfer log, and the translation of a failure into a text
/// the user can act on. The protocol's own options are set on Handle().
/// Not thread-safe; one exchange per object.
class CurlExchange final {
public:
    CurlExchange(ServerAddress server, const TransferOptions& options, TransferLog* log);
    ~CurlExchange();
    CurlExchange(const CurlExchange&) = delete;
    CurlExchange& operator=(const CurlExchange&) = delete;

    /// The easy handle; nullptr when libcurl could not provide one.
    CURL* Handle() const { return m_curl; }

    /// Runs the exchange. A server certificate that the system's store
    /// cannot verify (an intranet server's own certificate) is noted in the
    /// log, `rewind` is called, and the exchange runs once more encrypted but
    /// without verification. A failed `rewind` ends it with
    /// CURLE_SEND_FAIL_REWIND.
    CURLcode Perform(const std::function<bool()>& rewind);

    /// A short text for the user about a failed exchange: the server's
    /// reply, a refused connection, a time-out, failed authentication.
    std::string Describe(CURLcode code) const;

    /// The first reply line that answered `command` (matched by its first
    /// word), or "" when it was never sent or answered.
    std::string ReplyTo(std::string_view command) const;

private:
    static int OnDebug(CURL* curl, curl_infotype type, char* data, size_t size, void* self);
    void OnData(curl_infotype type, std::string_view data);
    void OnLine(curl_infotype type, std::string_view line);
    std::string DescribeTimeOut() const;
    std::string DescribeConnectFailure() const;
    bool Connected() const;
    /// "host:port" of the server, for messages.
    std::string where() const { return m_server.Text(); }

    ServerAddress m_server;
    TransferLog* m_log;
    CURL* m_curl = nullptr;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    std::string m_partial[3];
    std::string m_lastCommand;
    std::string m_lastReply;
    std::string m_refusal;          ///< the last refusing reply
    std::string m_refusedCommand;   ///< the command it answered
    std::vector<std::pair<std::string, std::string>> m_answers;
};

/// True for a reply that refuses: an SMTP code 4xx or 5xx, or POP3 "-ERR".
bool IsRefusal(std::string_view reply);

} // namespace tessaly::mail

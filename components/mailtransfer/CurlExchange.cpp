// SPDX-License-Identifier: MIT
#include "CurlExchange.h"

#include "common/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace tessaly::mail {
namespace {

void InitialiseCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

int PartialIndex(curl_infotype type)
{
    return type == CURLINFO_TEXT ? 0 : type == CURLINFO_HEADER_IN ? 1 : 2;
}

std::string_view FirstWord(std::string_view line)
{
    return line.substr(0, line.find(' '));
}

/// Remarks of libcurl that say nothing a reader of the log needs: the
/// records of every TLS handshake and its name cache.
bool IsNoise(std::string_view text)
{
    std::string_view trimmed = text.substr(std::min(text.find_first_not_of(' '), text.size()));
    return trimmed.starts_with("TLSv") || trimmed.starts_with("SSLv") || trimmed.starts_with("Hostname ");
}

bool IsCertificateFailure(CURLcode code)
{
    return code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CACERT_BADFILE;
}

} // namespace

bool IsRefusal(std::string_view reply)
{
    return (!reply.empty() && (reply[0] == '4' || reply[0] == '5')) || reply.starts_with("-ERR");
}

CurlExchange::CurlExchange(ServerAddress server, const TransferOptions& options, TransferLog* log)
    : m_server(std::move(server)), m_log(log)
{
    InitialiseCurlOnce();
    m_curl = curl_easy_init();
    if (!m_curl)
        return;
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, m_errorBuffer);
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds);
    curl_easy_setopt(m_curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, options.responseTimeoutSeconds);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, options.lowSpeedSeconds);
    curl_easy_setopt(m_curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
    curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(m_curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGFUNCTION, &CurlExchange::OnDebug);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGDATA, this);
}

CurlExchange::~CurlExchange()
{
    if (m_curl)
        curl_easy_cleanup(m_curl);
}

CURLcode CurlExchange::Perform(const std::function<bool()>& rewind)
{
    if (!m_curl)
        return CURLE_FAILED_INIT;
    CURLcode code = curl_easy_perform(m_curl);
    if (!IsCertificateFailure(code))
        return code;
    if (m_log) {
        m_log->Note(std::string("the certificate of ") + m_server.host +
                    " cannot be verified against the system's certificates (" + m_errorBuffer +
                    "); the connection stays encrypted, without verification");
    }
    if (!rewind())
        return CURLE_SEND_FAIL_REWIND;
    m_errorBuffer[0] = '\0';
    m_lastCommand.clear();
    m_lastReply.clear();
    m_refusal.clear();
    m_refusedCommand.clear();
    m_answers.clear();
    for (std::string& partial : m_partial)
        partial.clear();
    curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYHOST, 0L);
    return curl_easy_perform(m_curl);
}

int CurlExchange::OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* self)
{
    // Message content (CURLINFO_DATA_*) and TLS records are never looked at.
    if (type == CURLINFO_TEXT || type == CURLINFO_HEADER_IN || type == CURLINFO_HEADER_OUT)
        static_cast<CurlExchange*>(self)->OnData(type, std::string_view(data, size));
    return 0;
}

void CurlExchange::OnData(curl_infotype type, std::string_view data)
{
    std::string& partial = m_partial[PartialIndex(type)];
    partial.append(data);
    for (size_t end = partial.find('\n'); end != std::string::npos; end = partial.find('\n')) {
        std::string line = partial.substr(0, end);
        partial.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        OnLine(type, line);
    }
}

void CurlExchange::OnLine(curl_infotype type, std::string_view line)
{
    if (type == CURLINFO_HEADER_OUT) {
        // Answers to AUTH challenges are credentials, not commands: they
        // never become the command named in a message.
        bool authAnswer = m_lastCommand == "AUTH" &&
                          (m_lastReply.starts_with("334") || m_lastReply.starts_with("+ ") || m_lastReply == "+");
        if (!authAnswer) {
            bool secret = FirstWord(line) == "AUTH" || FirstWord(line) == "PASS";
            m_lastCommand = std::string(secret ? FirstWord(line) : line);
            m_answers.emplace_back(m_lastCommand, std::string());
        }
        if (m_log)
            m_log->Sent(line);
        return;
    }
    if (type == CURLINFO_HEADER_IN) {
        m_lastReply = std::string(line);
        if (IsRefusal(line)) {
            m_refusal = m_lastReply;
            m_refusedCommand = m_lastCommand;
        }
        if (!m_answers.empty() && m_answers.back().second.empty())
            m_answers.back().second = m_lastReply;
    }
    if (!m_log)
        return;
    if (type == CURLINFO_HEADER_IN)
        m_log->Received(line);
    else if (!IsNoise(line))
        m_log->Note(line);
}

std::string CurlExchange::ReplyTo(std::string_view command) const
{
    for (const auto& [sent, reply] : m_answers) {
        if (FirstWord(sent) == FirstWord(command))
            return reply;
    }
    return {};
}

bool CurlExchange::Connected() const
{
    curl_off_t connectTime = 0;
    return curl_easy_getinfo(m_curl, CURLINFO_CONNECT_TIME_T, &connectTime) == CURLE_OK && connectTime > 0;
}

std::string CurlExchange::DescribeTimeOut() const
{
    if (!m_lastCommand.empty())
        return "時間切れ: " + where() + " が " + m_lastCommand + " に時間内に応答しませんでした";
    if (Connected())
        return "時間切れ: " + where() + " は接続を受け付けましたが、応答しませんでした";
    return "時間切れ: " + where() + " に接続できませんでした";
}

std::string CurlExchange::DescribeConnectFailure() const
{
    long osError = 0;
    curl_easy_getinfo(m_curl, CURLINFO_OS_ERRNO, &osError);
    if (osError == ECONNREFUSED)
        return where() + " に接続を拒否されました";
    std::string why = osError ? ErrorText(static_cast<int>(osError)) : std::string(m_errorBuffer);
    return where() + " に接続できません" + (why.empty() ? "" : ": " + why);
}

std::string CurlExchange::Describe(CURLcode code) const
{
    switch (code) {
    case CURLE_OK:
        return {};
    case CURLE_FAILED_INIT:
        return "メール送受信ライブラリを初期化できません";
    case CURLE_OUT_OF_MEMORY:
        return "メモリが足りないため、" + where() + " とやり取りできません";
    case CURLE_COULDNT_RESOLVE_HOST:
        return "サーバー " + m_server.host + " が見つかりません";
    case CURLE_COULDNT_CONNECT:
        return DescribeConnectFailure();
    case CURLE_OPERATION_TIMEDOUT:
        return DescribeTimeOut();
    case CURLE_LOGIN_DENIED:
        if (!m_refusal.empty())
            return "認証に失敗しました: " + m_refusal;
        return "認証に失敗しました: " + where() + " には使える認証方式がありません";
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_USE_SSL_FAILED:
        return where() + " との暗号化通信に失敗しました: " + m_errorBuffer;
    default:
        break;
    }
    // After a refusal libcurl still says QUIT: the refusal is the cause.
    if (!m_refusal.empty())
        return m_refusal + " (" + where() + " の " + m_refusedCommand + " への応答)";
    if (code == CURLE_GOT_NOTHING || code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR)
        return where() + " が接続を切断しました";
    std::string detail = m_errorBuffer[0] ? m_errorBuffer : curl_easy_strerror(code);
    return where() + " とのメールのやり取りに失敗しました: " + detail;
}

} // namespace tessaly::mail

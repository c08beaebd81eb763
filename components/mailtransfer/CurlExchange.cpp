// SPDX-License-Identifier: MIT
#include "CurlExchange.h"

#include "common/FileSystem.h"

#include "common/PathField.h"

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tessaly::mail {
namespace {

/// Set while every exchange is to end at once (the program is ending).
std::atomic<bool> g_cancelled{false};

/// libcurl asks at least once a second, while connecting and while waiting
/// for a reply too: a non-zero answer ends the exchange.
int OnProgress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return g_cancelled.load() ? 1 : 0;
}

} // namespace

void InitialiseCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

namespace {

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

bool SameLetters(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

/// "250-STARTTLS" or "250 STARTTLS" in a reply to EHLO.
bool OffersStartTls(std::string_view reply)
{
    return reply.size() > 4 && reply.starts_with("250") && (reply[3] == '-' || reply[3] == ' ') &&
           SameLetters(Trimmed(reply.substr(4)), "STARTTLS");
}

bool IsBearerMechanism(std::string_view mechanism)
{
    return SameLetters(mechanism, "XOAUTH2") || SameLetters(mechanism, "OAUTHBEARER");
}

/// Commands that carry a password or a bearer token as it is (or announce
/// that the next lines will): AUTH PLAIN, LOGIN, XOAUTH2 and OAUTHBEARER,
/// POP3 PASS.
bool SendsPassword(std::string_view line)
{
    std::string_view word = FirstWord(line);
    if (SameLetters(word, "PASS"))
        return true;
    if (!SameLetters(word, "AUTH") || line.size() <= 5)
        return false;
    std::string_view mechanism = FirstWord(line.substr(5));
    return SameLetters(mechanism, "PLAIN") || SameLetters(mechanism, "LOGIN") || IsBearerMechanism(mechanism);
}

/// The text of a base64 challenge, "" when it is not base64 of printable
/// ASCII (the error report of a refused XOAUTH2 token is a line of JSON).
std::string DecodedChallenge(std::string_view base64)
{
    constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    uint32_t bits = 0;
    int count = 0;
    for (char c : Trimmed(base64)) {
        if (c == '=')
            break;
        const size_t value = kAlphabet.find(c);
        if (value == std::string_view::npos)
            return {};
        bits = (bits << 6) | static_cast<uint32_t>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            text.push_back(static_cast<char>((bits >> count) & 0xFF));
        }
    }
    for (char c : text) {
        if (c < ' ' || c > '~')
            return {};
    }
    return text;
}

} // namespace

/// The OpenSSL side of the second run: the server's certificate is judged
/// by its fingerprint alone, during the handshake, so that nothing is sent
/// to a server whose certificate is refused.
struct PinnedCertificate {
    static int Verify(X509_STORE_CTX* store, void* self)
    {
        X509* leaf = X509_STORE_CTX_get0_cert(store);
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        bool accepted = leaf && X509_digest(leaf, EVP_sha256(), digest, &size) == 1 &&
                        static_cast<CurlExchange*>(self)->AcceptCertificate(FingerprintText(digest, size));
        if (!accepted)
            X509_STORE_CTX_set_error(store, X509_V_ERR_CERT_REJECTED);
        return accepted ? 1 : 0;
    }

    static CURLcode SetUp(CURL*, void* context, void* self)
    {
        auto* ssl = static_cast<SSL_CTX*>(context);
        SSL_CTX_set_verify(ssl, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_cert_verify_callback(ssl, &PinnedCertificate::Verify, self);
        return CURLE_OK;
    }
};

bool IsRefusal(std::string_view reply)
{
    return (!reply.empty() && (reply[0] == '4' || reply[0] == '5')) || reply.starts_with("-ERR");
}

CurlExchange::CurlExchange(ServerAddress server, const TransferOptions& options, TransferLog* log, ServerTrust* trust)
    : m_server(std::move(server)), m_log(log), m_trust(trust), m_key(ServerTrust::KeyOf(m_server.Text()))
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
    m_sockets.reserve(4);
    curl_easy_setopt(m_curl, CURLOPT_OPENSOCKETFUNCTION, &CurlExchange::OnOpenSocket);
    curl_easy_setopt(m_curl, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_CLOSESOCKETFUNCTION, &CurlExchange::OnCloseSocket);
    curl_easy_setopt(m_curl, CURLOPT_CLOSESOCKETDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYHOST, 2L);
    // Every TLS session is a full handshake, so every certificate is seen.
    curl_easy_setopt(m_curl, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    curl_easy_setopt(m_curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGFUNCTION, &CurlExchange::OnDebug);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
}

void CurlExchange::CancelAll(bool cancel)
{
    g_cancelled = cancel;
}

bool CurlExchange::Cancelled()
{
    return g_cancelled.load();
}

CurlExchange::~CurlExchange()
{
    if (m_curl)
        curl_easy_cleanup(m_curl);
}

void CurlExchange::SetTarget(std::string_view scheme, bool implicitTls, std::string_view path)
{
    m_implicitTls = implicitTls;
    m_tlsActive = implicitTls;
    if (m_curl)
        curl_easy_setopt(m_curl, CURLOPT_URL, m_server.Url(scheme, path).c_str());
}

void CurlExchange::ResetDialogue()
{
    m_errorBuffer[0] = '\0';
    m_lastCommand.clear();
    m_lastReply.clear();
    m_authMechanism.clear();
    m_refusal.clear();
    m_refusedCommand.clear();
    m_refusedRecipients.clear();
    m_answers.clear();
    m_tlsActive = m_implicitTls;
    m_passwordInClear = false;
    m_startTlsRefusal.clear();
    for (std::string& partial : m_partial)
        partial.clear();
}

CURLcode CurlExchange::Perform(const std::function<bool()>& rewind)
{
    if (!m_curl)
        return CURLE_FAILED_INIT;
    if (g_cancelled)
        return CURLE_ABORTED_BY_CALLBACK;
    m_tlsRequired = m_guardCredentials && !m_implicitTls && m_trust && m_trust->OffersStartTls(m_key);
    DemandTls(m_tlsRequired);
    CURLcode code = curl_easy_perform(m_curl);
    if (IsCertificateFailure(code)) {
        m_verifyError = m_errorBuffer;
        if (m_log) {
            m_log->Note("サーバー " + where() + " の証明書はシステムの証明書で検証できません (" + m_verifyError +
                        ")。初めて接続したときに記録した証明書と照合します");
        }
        if (!rewind()) {
            code = CURLE_SEND_FAIL_REWIND;
        } else {
            ResetDialogue();
            // The second run exists for the certificate alone: a server that
            // now speaks without TLS gets nothing.
            m_tlsFailed = true;
            DemandTls(true);
            curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYPEER, 0L);
            curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYHOST, 0L);
            // Without a hook into the handshake no certificate can be judged:
            // then none is accepted.
            if (curl_easy_setopt(m_curl, CURLOPT_SSL_CTX_DATA, this) != CURLE_OK ||
                curl_easy_setopt(m_curl, CURLOPT_SSL_CTX_FUNCTION, &PinnedCertificate::SetUp) != CURLE_OK) {
                m_pinSetUpFailed = true;
                code = CURLE_PEER_FAILED_VERIFICATION;
            } else {
                code = curl_easy_perform(m_curl);
            }
        }
    }
    Conclude();
    return code;
}

void CurlExchange::DemandTls(bool demand)
{
    curl_easy_setopt(m_curl, CURLOPT_USE_SSL, static_cast<long>(demand ? CURLUSESSL_ALL : CURLUSESSL_TRY));
}

curl_socket_t CurlExchange::OnOpenSocket(void* self, curlsocktype, curl_sockaddr* address)
{
    const int fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    if (fd < 0)
        return CURL_SOCKET_BAD;
    try {
        static_cast<CurlExchange*>(self)->m_sockets.push_back(fd);
    } catch (...) {
        // A socket the exchange could not shut is never used.
        ::close(fd);
        return CURL_SOCKET_BAD;
    }
    return fd;
}

int CurlExchange::OnCloseSocket(void* self, curl_socket_t socket)
{
    std::erase(static_cast<CurlExchange*>(self)->m_sockets, socket);
    return ::close(socket);
}

void CurlExchange::HangUp()
{
    // libcurl's next write fails (EPIPE) and nothing more goes on the wire.
    for (curl_socket_t socket : m_sockets)
        ::shutdown(socket, SHUT_RDWR);
    if (m_log)
        m_log->Note("暗号化 (STARTTLS) を拒否されたため、認証情報を送らずに接続を切りました");
}

bool CurlExchange::AcceptCertificate(const std::string& fingerprint)
{
    const std::string recorded = m_trust ? m_trust->Fingerprint(m_key) : std::string();
    if (recorded.empty()) {
        m_newFingerprint = fingerprint;
        return true;
    }
    if (recorded == fingerprint) {
        m_knownFingerprint = fingerprint;
        return true;
    }
    m_certificateChanged = true;
    if (m_log)
        m_log->Note("サーバー " + where() + " の証明書 (SHA-256 " + fingerprint + ") は記録と違います");
    return false;
}

void CurlExchange::Conclude()
{
    const bool recordable = m_trust && m_trust->Enabled();
    const std::string file = recordable ? ValidUtf8(m_trust->Path()) : std::string();
    const bool newStartTls = m_offersStartTls && !m_implicitTls && recordable && !m_trust->OffersStartTls(m_key);
    std::string error;
    if (recordable && (!m_newFingerprint.empty() || newStartTls) &&
        !m_trust->Record(m_key, m_newFingerprint, m_offersStartTls, &error) && m_log)
        m_log->Note(error);
    if (!m_log)
        return;
    if (!m_newFingerprint.empty()) {
        m_log->Note("サーバー " + where() + " の証明書 (SHA-256 " + m_newFingerprint +
                    ") を初めての接続として信頼しました" +
                    (recordable ? "。以後はこの証明書だけを受け入れます (記録: " + file + ")"
                                : " (記録するデータフォルダがありません)"));
    }
    if (!m_knownFingerprint.empty())
        m_log->Note("証明書は " + file + " に記録したものと同じです");
    if (m_passwordInClear) {
        m_log->Note("サーバー " + where() +
                    " は暗号化 (STARTTLS) に対応していないため、パスワードを暗号化せずに送りました");
    }
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
        if (!m_tlsActive && !authAnswer && SendsPassword(line))
            m_passwordInClear = true;
        if (!authAnswer) {
            bool secret = FirstWord(line) == "AUTH" || FirstWord(line) == "PASS";
            if (FirstWord(line) == "AUTH")
                m_authMechanism = std::string(FirstWord(line.substr(std::min<size_t>(5, line.size()))));
            m_lastCommand = std::string(secret ? FirstWord(line) : line);
            m_answers.emplace_back(m_lastCommand, std::string());
        }
        if (m_log)
            m_log->Sent(line);
        return;
    }
    if (type != CURLINFO_HEADER_IN) {
        if (m_log && !IsNoise(line))
            m_log->Note(line);
        return;
    }
    m_lastReply = std::string(line);
    if (IsRefusal(line)) {
        m_refusal = m_lastReply;
        m_refusedCommand = m_lastCommand;
        if (FirstWord(m_lastCommand) == "RCPT")
            m_refusedRecipients.push_back(m_refusal + " (" + where() + " の " + m_refusedCommand + " への応答)");
    }
    if (!m_answers.empty() && m_answers.back().second.empty())
        m_answers.back().second = m_lastReply;
    const std::string_view command = FirstWord(m_lastCommand);
    if ((command == "EHLO" && OffersStartTls(line)) || (command == "CAPA" && SameLetters(Trimmed(line), "STLS")))
        m_offersStartTls = true;
    if ((command == "STARTTLS" && line.starts_with("220")) || (command == "STLS" && line.starts_with("+OK")))
        m_tlsActive = true;
    if (m_log)
        m_log->Received(line);
    // Told before libcurl acts on the reply: with STARTTLS taken when
    // offered, its next command after a refusal would be the login.
    if ((command == "STARTTLS" || command == "STLS") && IsRefusal(line) && m_startTlsRefusal.empty()) {
        m_startTlsRefusal = m_lastReply;
        if (m_guardCredentials)
            HangUp();
    }
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

std::string CurlExchange::DescribeRefusedToken(const std::string& reply) const
{
    return "認証に失敗しました: " + where() +
           " がアクセストークンを受け付けませんでした。サインインし直してください (トークンの期限切れや取り消し、"
           "別のユーザーのトークン、メールボックスで SMTP 認証が無効なことなどが考えられます)" +
           (reply.empty() ? std::string() : "。サーバーの応答: " + reply);
}

std::string CurlExchange::Describe(CURLcode code) const
{
    if (code == CURLE_OK)
        return {};
    const std::string file = m_trust && m_trust->Enabled() ? ValidUtf8(m_trust->Path()) : std::string();
    if (m_certificateChanged) {
        return "サーバー " + where() + " の証明書が前回と違います。信頼できる場合は " + file +
               " から該当行を削除してください。";
    }
    if (m_pinSetUpFailed)
        return "サーバー " + where() + " の証明書を検証できません: " + m_verifyError;
    if (!m_startTlsRefusal.empty()) {
        return "サーバー " + where() + " は暗号化 (STARTTLS) を拒否しました: " + m_startTlsRefusal +
               "。パスワードやメールを暗号化せずに送らないよう、中止しました。";
    }
    if (code == CURLE_USE_SSL_FAILED && m_tlsFailed) {
        return "サーバー " + where() + " の証明書をシステムの証明書で検証できません (" + m_verifyError +
               ")。接続し直すと暗号化 (STARTTLS) に対応していませんでした。通信が途中で書き換えられているおそれが"
               "あるため、パスワードやメールを送らずに中止しました。";
    }
    if (code == CURLE_USE_SSL_FAILED && m_tlsRequired && !m_offersStartTls) {
        return "サーバー " + where() +
               " は以前は暗号化 (STARTTLS) に対応していましたが、今回は対応していません。通信が途中で"
               "書き換えられているおそれがあるため、パスワードを送らずに中止しました。サーバーの設定を"
               "変えた場合は " +
               file + " から該当行を削除してください。";
    }
    switch (code) {
    case CURLE_FAILED_INIT: return "メール送受信ライブラリを初期化できません";
    case CURLE_OUT_OF_MEMORY: return "メモリが足りないため、" + where() + " とやり取りできません";
    case CURLE_COULDNT_RESOLVE_HOST: return "サーバー " + m_server.host + " が見つかりません";
    case CURLE_COULDNT_CONNECT: return DescribeConnectFailure();
    case CURLE_OPERATION_TIMEDOUT: return DescribeTimeOut();
    case CURLE_ABORTED_BY_CALLBACK: return where() + " とのやり取りを取り消しました";
    case CURLE_LOGIN_DENIED:
        if (m_refusedCommand == "AUTH" && IsBearerMechanism(m_authMechanism))
            return DescribeRefusedToken(m_refusal);
        if (!m_refusal.empty())
            return "認証に失敗しました: " + m_refusal;
        // XOAUTH2 refuses a token with a challenge that holds the reason
        // (a line of JSON); libcurl ends there, without a refusing reply.
        if (m_lastCommand == "AUTH" && IsBearerMechanism(m_authMechanism) && m_lastReply.starts_with("334 "))
            return DescribeRefusedToken(DecodedChallenge(m_lastReply.substr(4)));
        return "認証に失敗しました: " + where() + " には使える認証方式がありません";
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_USE_SSL_FAILED: return where() + " との暗号化通信に失敗しました: " + m_errorBuffer;
    default: break;
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

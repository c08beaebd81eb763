// SPDX-License-Identifier: MIT
#include "notify/OAuthGrant.h"

#include "common/Clock.h"
#include "common/FileSystem.h"
#include "common/Json.h"
#include "common/PathField.h"
#include "notify/OAuthSignIn.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tessaly {
namespace {

constexpr const char* kDeviceGrant = "urn:ietf:params:oauth:grant-type:device_code";
/// RFC 8628: the interval when the answer names none, and its step on
/// slow_down; bounds, so that a strange answer cannot hold a sign-in for days.
constexpr int64_t kDefaultInterval = 5;
constexpr int64_t kSlowDownStep = 5;
/// Polls in a row that may fail for want of an answer before a device
/// sign-in gives up.
constexpr int kNetworkRetries = 3;
constexpr int64_t kDefaultDeviceSeconds = 900;
constexpr int64_t kMaxInterval = 60;
constexpr int64_t kMaxDeviceSeconds = 3600;
constexpr int64_t kDefaultAccessSeconds = 3600;
/// How long the browser has to send its request once connected, and how
/// much of it is read.
constexpr int kRequestMilliseconds = 10000;
constexpr size_t kMaxRequestBytes = 8192;
/// How long a sign-in waits for the data folder to store its tokens (a
/// check run may hold it): as long as tessalyctl waits.
constexpr double kSaveWaitSeconds = 60;

std::string Base64Url(const unsigned char* bytes, size_t size)
{
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (size_t i = 0; i < size; ++i) {
        bits = bits << 8 | bytes[i];
        count += 8;
        while (count >= 6) {
            count -= 6;
            out.push_back(kDigits[(bits >> count) & 0x3F]);
        }
    }
    if (count > 0)
        out.push_back(kDigits[(bits << (6 - count)) & 0x3F]);
    return out;
}

/// `text` decoded from base64url (padding allowed), nothing when it is not.
std::optional<std::string> FromBase64Url(std::string_view text)
{
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        int value = -1;
        if (c >= 'A' && c <= 'Z')
            value = c - 'A';
        else if (c >= 'a' && c <= 'z')
            value = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            value = c - '0' + 52;
        else if (c == '-' || c == '+')
            value = 62;
        else if (c == '_' || c == '/')
            value = 63;
        else if (c == '=')
            break;
        else
            return std::nullopt;
        bits = bits << 6 | static_cast<uint32_t>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<char>((bits >> count) & 0xFF));
        }
    }
    return out;
}

/// `bytes` random bytes in base64url, "" when the system gives none.
std::string RandomText(int bytes)
{
    unsigned char random[64];
    if (bytes > static_cast<int>(sizeof random) || RAND_bytes(random, bytes) != 1)
        return {};
    return Base64Url(random, static_cast<size_t>(bytes));
}

/// RFC 7636 S256: the code challenge of `verifier`.
std::string Challenge(const std::string& verifier)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(verifier.data(), verifier.size(), digest, &size, EVP_sha256(), nullptr) != 1)
        return {};
    return Base64Url(digest, size);
}

/// The parameters of a query ("a=1&b=x%20y"), decoded.
std::map<std::string, std::string> QueryParameters(std::string_view query)
{
    const auto decode = [](std::string_view text) {
        std::string out;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '+') {
                out.push_back(' ');
            } else if (const std::optional<char> byte = PercentByteAt(text, i)) {
                out.push_back(*byte);
                i += 2;
            } else {
                out.push_back(text[i]);
            }
        }
        return out;
    };
    std::map<std::string, std::string> parameters;
    while (!query.empty()) {
        const size_t end = std::min(query.find('&'), query.size());
        const std::string_view pair = query.substr(0, end);
        const size_t equals = std::min(pair.find('='), pair.size());
        parameters.emplace(decode(pair.substr(0, equals)),
                           decode(equals < pair.size() ? pair.substr(equals + 1) : std::string_view()));
        query.remove_prefix(std::min(end + 1, query.size()));
    }
    return parameters;
}

/// The address the token answer names in its id_token (email, else
/// preferred_username), or "". The token comes straight from the token
/// endpoint, so its signature is not checked: it only names the account.
std::string IdTokenAccount(const std::string& idToken)
{
    const size_t first = idToken.find('.');
    const size_t second = first == std::string::npos ? first : idToken.find('.', first + 1);
    if (second == std::string::npos)
        return {};
    const std::optional<std::string> payload =
        FromBase64Url(std::string_view(idToken).substr(first + 1, second - first - 1));
    const FlatJson claims = ParseFlatJson(payload.value_or("")).value_or(FlatJson{});
    const std::string email = claims.text("email");
    return email.empty() ? claims.text("preferred_username") : email;
}

SignInOutcome Failure(std::string message)
{
    SignInOutcome outcome;
    outcome.message = std::move(message);
    return outcome;
}

/// The outcome of a token request that ends a sign-in: the tokens stored,
/// or why not.
SignInOutcome TakeTokens(const BasicSettings& settings, const std::string& folder,
                         const std::optional<OAuthAnswer>& answer, const std::string& error)
{
    if (!answer)
        return Failure("サインインを完了できませんでした: " + error);
    const FlatJson json = ParseFlatJson(answer->body).value_or(FlatJson{});
    const std::string accessToken = json.text("access_token");
    const std::string refreshToken = json.text("refresh_token");
    if (answer->status != 200 || accessToken.empty()) {
        return Failure(DescribeTokenError(json.text("error"), json.text("error_description")) + " (HTTP " +
                       std::to_string(answer->status) + ")");
    }
    if (refreshToken.empty())
        return Failure("更新用のトークンが届きませんでした。スコープに offline_access などの継続的なアクセスを含めて"
                       "ください。");
    std::string account = IdTokenAccount(json.text("id_token"));
    if (account.empty())
        account = settings.Conf_SmtpAuthUser;
    const SystemClock clock;
    const StoredTokens tokens{settings.Conf_OAuthClient,
                              account,
                              refreshToken,
                              accessToken,
                              clock.UnixNow() + json.integer("expires_in").value_or(kDefaultAccessSeconds),
                              {}};
    std::string failure;
    if (!SaveStoredTokens(folder, tokens, kSaveWaitSeconds, &failure))
        return Failure("サインインを保存できませんでした: " + failure);
    SignInOutcome outcome;
    outcome.signedIn = true;
    outcome.account = account;
    return outcome;
}

SignInOutcome Cancelled()
{
    SignInOutcome outcome;
    outcome.cancelled = true;
    outcome.message = "サインインを取り消しました。";
    return outcome;
}

/// Sends `page` to the browser as the answer, and closes the connection.
void AnswerBrowser(int client, int status, const std::string& text)
{
    const std::string body = "<!DOCTYPE html><html lang=\"ja\"><head><meta charset=\"utf-8\"><title>Tessaly</title>"
                             "</head><body><p>" +
                             text + "</p></body></html>";
    const std::string answer = "HTTP/1.1 " + std::to_string(status) + (status == 200 ? " OK" : " Not Found") +
                               "\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n"
                               "Connection: close\r\nContent-Length: " +
                               std::to_string(body.size()) + "\r\n\r\n" + body;
    size_t sent = 0;
    while (sent < answer.size()) {
        const ssize_t n =
            RetryOnEintr([&] { return ::send(client, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL); });
        if (n <= 0)
            break;
        sent += static_cast<size_t>(n);
    }
    ::close(client);
}

/// The request line's target ("/?code=..."), read from `client` within a
/// bound; "" when none came.
std::string RequestTarget(int client, const SignInCancel& cancel)
{
    std::string request;
    int left = kRequestMilliseconds;
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequestBytes && left > 0) {
        pollfd fds[2] = {{client, POLLIN, 0}, {cancel.fd(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, 100);
        left -= 100;
        if (ready < 0 && errno != EINTR)
            break;
        if (fds[1].revents != 0)
            return {};
        if (fds[0].revents == 0)
            continue;
        char buffer[2048];
        const ssize_t n = RetryOnEintr([&] { return ::recv(client, buffer, sizeof buffer, 0); });
        if (n <= 0)
            break;
        request.append(buffer, static_cast<size_t>(n));
    }
    const size_t lineEnd = request.find("\r\n");
    if (lineEnd == std::string::npos || !request.starts_with("GET "))
        return {};
    const std::string line = request.substr(4, lineEnd - 4);
    return line.substr(0, line.find(' '));
}

} // namespace

SignInCancel::SignInCancel()
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        m_pipe[0] = m_pipe[1] = -1;
}

SignInCancel::~SignInCancel()
{
    for (int fd : m_pipe) {
        if (fd >= 0)
            ::close(fd);
    }
}

void SignInCancel::cancel()
{
    const char byte = 1;
    if (m_pipe[1] >= 0)
        (void)!::write(m_pipe[1], &byte, 1);
}

bool SignInCancel::cancelled() const
{
    return wait(0);
}

bool SignInCancel::wait(int64_t milliseconds) const
{
    pollfd fd{m_pipe[0], POLLIN, 0};
    const int64_t bounded = std::clamp<int64_t>(milliseconds, 0, INT32_MAX);
    return ::poll(&fd, 1, static_cast<int>(bounded)) > 0;
}

BrowserSignIn::~BrowserSignIn()
{
    if (m_listener >= 0)
        ::close(m_listener);
}

bool BrowserSignIn::start(const BasicSettings& settings, std::string* error)
{
    const OAuthEndpoints endpoints = EndpointsOf(settings);
    if (endpoints.authUrl.empty()) {
        *error = "Conf_OAuthAuthUrl にブラウザーでのサインインのアドレスを指定してください。";
        return false;
    }
    m_settings = settings;
    m_verifier = RandomText(32);
    m_state = RandomText(16);
    const std::string challenge = Challenge(m_verifier);
    if (m_verifier.empty() || m_state.empty() || challenge.empty()) {
        *error = "サインインに使う乱数を得られませんでした。";
        return false;
    }
    // Loopback only: nothing but this machine's browser can reach the code.
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 4) != 0 || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        *error = std::string("サインインの受け口を開けませんでした: ") + std::strerror(errno);
        return false;
    }
    m_redirect = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
    m_address = endpoints.authUrl + (endpoints.authUrl.find('?') == std::string::npos ? "?" : "&") +
                "response_type=code&client_id=" + FormEncode(settings.Conf_OAuthClient) +
                "&redirect_uri=" + FormEncode(m_redirect) + "&scope=" + FormEncode(endpoints.scope) +
                "&state=" + m_state + "&code_challenge=" + challenge + "&code_challenge_method=S256" +
                endpoints.authExtra;
    if (!settings.Conf_SmtpAuthUser.empty())
        m_address += "&login_hint=" + FormEncode(settings.Conf_SmtpAuthUser);
    return true;
}

SignInOutcome BrowserSignIn::finish(MailTransfer& transfer, const std::string& folder, const SignInCancel& cancel,
                                    int waitSeconds)
{
    std::map<std::string, std::string> redirect;
    const SystemClock clock;
    const int64_t deadline = clock.UnixNow() + waitSeconds;
    for (;;) {
        const int64_t left = deadline - clock.UnixNow();
        if (left <= 0)
            return Failure("ブラウザーでのサインインが " + std::to_string(waitSeconds / 60) +
                           " 分以内に終わりませんでした。もう一度サインインしてください。");
        pollfd fds[2] = {{m_listener, POLLIN, 0}, {cancel.fd(), POLLIN, 0}};
        if (::poll(fds, 2, static_cast<int>(std::min<int64_t>(left, 60) * 1000)) < 0 && errno != EINTR)
            return Failure(std::string("サインインの受け口が壊れました: ") + std::strerror(errno));
        if (fds[1].revents != 0)
            return Cancelled();
        if (fds[0].revents == 0)
            continue;
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        const std::string target = RequestTarget(client, cancel);
        if (cancel.cancelled()) {
            ::close(client);
            return Cancelled();
        }
        // Anything else the browser asks for (an icon) is not the redirect.
        if (target != "/" && !target.starts_with("/?")) {
            AnswerBrowser(client, 404, "Not Found");
            continue;
        }
        redirect = QueryParameters(target.size() > 2 ? std::string_view(target).substr(2) : std::string_view());
        const bool good = redirect["state"] == m_state && !redirect["code"].empty();
        AnswerBrowser(client, 200,
                      good ? "サインインを受け付けました。このページを閉じて Tessaly に戻ってください。"
                           : "サインインできませんでした。このページを閉じて Tessaly の表示を確認してください。");
        break;
    }
    ::close(m_listener);
    m_listener = -1;
    // One redirect only: a page of another sign-in (or of someone else)
    // cannot hand in its code.
    if (redirect["state"] != m_state)
        return Failure("ブラウザーから届いた応答がこのサインインのものではありません (state が一致しません)。"
                       "もう一度サインインしてください。");
    if (redirect["error"] == "access_denied")
        return Failure("サインインが拒否されました。");
    if (redirect["code"].empty())
        return Failure(DescribeTokenError(redirect["error"], redirect["error_description"]));
    const OAuthEndpoints endpoints = EndpointsOf(m_settings);
    std::string error;
    const std::optional<OAuthAnswer> answer =
        transfer.oauthPost(endpoints.tokenUrl,
                           "grant_type=authorization_code&code=" + FormEncode(redirect["code"]) + "&redirect_uri=" +
                               FormEncode(m_redirect) + "&" + ClientForm(m_settings) + "&code_verifier=" + m_verifier,
                           &error);
    return TakeTokens(m_settings, folder, answer, error);
}

bool OffersDeviceSignIn(const BasicSettings& settings)
{
    return !EndpointsOf(settings).deviceUrl.empty();
}

std::optional<DeviceSignIn> StartDeviceSignIn(MailTransfer& transfer, const BasicSettings& settings, std::string* error)
{
    const OAuthEndpoints endpoints = EndpointsOf(settings);
    if (endpoints.deviceUrl.empty()) {
        *error = settings.Conf_MailAuth == kMailAuthGoogle
                     ? "Google ではコードでのサインインでﾒｰﾙを送れません。ブラウザーでサインインしてください。"
                     : "Conf_OAuthDeviceUrl にデバイス認可のアドレスを指定してください。";
        return std::nullopt;
    }
    const std::optional<OAuthAnswer> answer =
        transfer.oauthPost(endpoints.deviceUrl, ClientForm(settings) + "&scope=" + FormEncode(endpoints.scope), error);
    if (!answer) {
        *error = "サインインを始められませんでした: " + *error;
        return std::nullopt;
    }
    const FlatJson json = ParseFlatJson(answer->body).value_or(FlatJson{});
    DeviceSignIn device;
    device.deviceCode = json.text("device_code");
    device.userCode = json.text("user_code");
    // Some providers name the address verification_url.
    device.address = json.text("verification_uri");
    if (device.address.empty())
        device.address = json.text("verification_url");
    if (answer->status != 200 || device.deviceCode.empty() || device.address.empty()) {
        *error = DescribeTokenError(json.text("error"), json.text("error_description")) + " (HTTP " +
                 std::to_string(answer->status) + ")";
        return std::nullopt;
    }
    device.interval = std::clamp<int64_t>(json.integer("interval").value_or(kDefaultInterval), 1, kMaxInterval);
    device.deadline = SystemClock().UnixNow() +
                      std::min<int64_t>(json.integer("expires_in").value_or(kDefaultDeviceSeconds), kMaxDeviceSeconds);
    return device;
}

SignInOutcome FinishDeviceSignIn(MailTransfer& transfer, const BasicSettings& settings, const std::string& folder,
                                 DeviceSignIn device, const SignInCancel& cancel)
{
    const std::string poll = "grant_type=" + FormEncode(kDeviceGrant) + "&" + ClientForm(settings) +
                             "&device_code=" + FormEncode(device.deviceCode);
    const std::string tokenUrl = EndpointsOf(settings).tokenUrl;
    const SystemClock clock;
    const std::string expired = "コードの有効期限が切れました。もう一度サインインしてください。";
    int networkFailures = 0;
    for (;;) {
        if (cancel.wait(device.interval * 1000))
            return Cancelled();
        if (clock.UnixNow() > device.deadline)
            return Failure(expired);
        std::string error;
        const std::optional<OAuthAnswer> answer = transfer.oauthPost(tokenUrl, poll, &error);
        // A network that drops for a moment is polled through, a few times.
        if (!answer && ++networkFailures <= kNetworkRetries)
            continue;
        if (answer)
            networkFailures = 0;
        const FlatJson json = answer ? ParseFlatJson(answer->body).value_or(FlatJson{}) : FlatJson{};
        const std::string code = json.text("error");
        if (code == "authorization_pending")
            continue;
        if (code == "slow_down") {
            device.interval = std::min(device.interval + kSlowDownStep, kMaxInterval);
            continue;
        }
        if (code == "expired_token")
            return Failure(expired);
        if (code == "access_denied")
            return Failure("サインインが拒否されました。");
        return TakeTokens(settings, folder, answer, error);
    }
}

} // namespace tessaly

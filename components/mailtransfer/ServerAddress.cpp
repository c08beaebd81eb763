// SPDX-License-Identifier: MIT
#include "ServerAddress.h"

#include <charconv>

namespace tessaly::mail {
namespace {

/// Host names, IPv4 and IPv6 addresses: nothing that could change the
/// meaning of the URL built from them.
bool IsPlainHost(std::string_view host)
{
    if (host.empty())
        return false;
    for (unsigned char c : host) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
                  c == '_' || c == ':';
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool HasControlCharacter(std::string_view text)
{
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F)
            return true;
    }
    return false;
}

std::string ServerAddress::Text() const
{
    bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string ServerAddress::Url(std::string_view scheme, std::string_view path) const
{
    return std::string(scheme) + "://" + Text() + "/" + std::string(path);
}

bool ParseServerSpec(std::string_view text, int defaultPort, std::string_view what, ServerAddress* server,
                     std::string* error)
{
    size_t tab = text.find('\t');
    std::string_view host = Trimmed(text.substr(0, tab));
    std::string_view port = tab == std::string_view::npos ? std::string_view() : Trimmed(text.substr(tab + 1));
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty()) {
        *error = std::string(what) + " サーバーが設定されていません";
        return false;
    }
    if (!IsPlainHost(host)) {
        *error = std::string(what) + " サーバー名が正しくありません: " + std::string(host);
        return false;
    }
    int number = defaultPort;
    if (!port.empty()) {
        auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), number);
        if (ec != std::errc() || end != port.data() + port.size() || number < 1 || number > 65535) {
            *error = std::string(what) + " のポート番号が正しくありません: " + std::string(port);
            return false;
        }
    }
    server->host = std::string(host);
    server->port = number;
    return true;
}

} // namespace tessaly::mail

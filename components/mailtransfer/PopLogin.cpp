// SPDX-License-Identifier: MIT
#include "PopLogin.h"

#include "CurlExchange.h"
#include "ServerAddress.h"
#include "common/PathField.h"

#include <fstream>

namespace tessaly::mail {
namespace {

constexpr int kDefaultPopPort = 110;
constexpr int kImplicitTlsPort = 995;

/// Commands whose answer is one line. libcurl reads any other custom
/// command's answer as a multi-line list; for a one-line answer it would
/// wait for a terminating "." until the server gives up on it.
bool HasOneLineAnswer(std::string_view command)
{
    std::string_view word = command.substr(0, command.find(' '));
    bool hasArgument = word.size() < command.size();
    if (word == "LIST" || word == "UIDL")
        return hasArgument;
    return word != "RETR" && word != "TOP" && word != "CAPA";
}

size_t CollectBody(char* data, size_t size, size_t count, void* answer)
{
    static_cast<std::string*>(answer)->append(data, size * count);
    return size * count;
}

void WriteOutput(const std::string& path, const std::string& text)
{
    if (path.empty())
        return;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string UpperCase(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

} // namespace

PopLogin::PopLogin(TransferOptions options) : m_options(options) {}

std::string PopLogin::Run(const PopLoginTexts& texts) const
{
    std::string answer;
    const std::string error = ValidUtf8(Exchange(texts, &answer));
    WriteOutput(texts.outputPath, error.empty() ? answer : error + "\r\n");
    return error;
}

std::string PopLogin::Exchange(const PopLoginTexts& texts, std::string* answer) const
{
    ServerAddress server;
    std::string error;
    if (!ParseServerSpec(texts.serverSpec, kDefaultPopPort, "POP3", &server, &error))
        return error;
    if (texts.user.empty())
        return "POP3 のユーザー名が設定されていません";
    std::string command = UpperCase(Trimmed(texts.command));
    if (command.empty())
        command = "STAT";
    if (HasControlCharacter(texts.user) || HasControlCharacter(texts.password) || HasControlCharacter(command))
        return "POP3 のユーザー名、パスワードまたはコマンドに制御文字が含まれています";

    TransferLog quiet("");
    CurlExchange exchange(server, m_options, &quiet);
    CURL* curl = exchange.Handle();
    if (!curl)
        return exchange.Describe(CURLE_FAILED_INIT);
    const std::string url = server.Url(server.port == kImplicitTlsPort ? "pop3s" : "pop3");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "pop3,pop3s");
    curl_easy_setopt(curl, CURLOPT_USERNAME, texts.user.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, texts.password.c_str());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, command.c_str());
    std::string body;
    if (HasOneLineAnswer(command)) {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    } else {
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CollectBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    }
    CURLcode code = exchange.Perform([&] {
        body.clear();
        return true;
    });
    if (code != CURLE_OK)
        return exchange.Describe(code);
    *answer = exchange.ReplyTo(command) + "\r\n" + body;
    return {};
}

} // namespace tessaly::mail

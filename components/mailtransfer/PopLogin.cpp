// SPDX-License-Identifier: MIT
#include "PopLogin.h"

#include "CurlExchange.h"
#include "ServerAddress.h"
#include "common/PathField.h"

#include "common/FileSystem.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

/// The output file, opened before the login: never through a link, never
/// waiting on a pipe. -1 when there is none or it cannot be opened (the
/// answer is then only returned); false with `error` set when something
/// that is not a regular file has its name.
bool OpenOutput(const std::string& path, int* fd, std::string* error)
{
    *fd = -1;
    if (path.empty())
        return true;
    int opened = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (opened < 0) {
        if (errno != ELOOP && errno != ENXIO)
            return true;
        *error = "POP3 の結果ファイル " + ValidUtf8(path) +
                 " が通常のファイルではない (シンボリックリンクやパイプなど) ため、ログインしませんでした";
        return false;
    }
    struct stat status {};
    if (::fstat(opened, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(opened);
        *error = "POP3 の結果ファイル " + ValidUtf8(path) +
                 " が通常のファイルではない (シンボリックリンクやパイプなど) ため、ログインしませんでした";
        return false;
    }
    *fd = opened;
    return true;
}

void WriteOutput(int fd, std::string_view text)
{
    if (fd < 0)
        return;
    if (::ftruncate(fd, 0) == 0) {
        while (!text.empty()) {
            const ssize_t n = RetryOnEintr([&] { return ::write(fd, text.data(), text.size()); });
            if (n <= 0)
                break;
            text.remove_prefix(static_cast<size_t>(n));
        }
    }
    ::close(fd);
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
    std::string error;
    int output = -1;
    if (!OpenOutput(texts.outputPath, &output, &error))
        return ValidUtf8(error);
    error = ValidUtf8(Exchange(texts, &answer));
    WriteOutput(output, error.empty() ? answer : error + "\r\n");
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

    // What is known about the server sits beside the output file, in the
    // data folder.
    ServerTrust trust(ServerTrust::FolderOf(texts.outputPath));
    if (!trust.Load(&error))
        return error;
    TransferLog quiet("");
    CurlExchange exchange(server, m_options, &quiet, &trust);
    CURL* curl = exchange.Handle();
    if (!curl)
        return exchange.Describe(CURLE_FAILED_INIT);
    const bool implicitTls = server.port == kImplicitTlsPort;
    exchange.SetTarget(implicitTls ? "pop3s" : "pop3", implicitTls);
    // The server chooses how the password goes (USER/PASS, PLAIN, APOP,
    // CRAM-MD5): any of them must be protected as if it went as it is.
    exchange.GuardCredentials();
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

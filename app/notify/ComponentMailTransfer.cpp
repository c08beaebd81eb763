// SPDX-License-Identifier: MIT
#include "notify/ComponentMailTransfer.h"

#include "common/Cp932.h"

namespace tessaly {
namespace {

/// The first tab-separated path that code page 932 cannot carry, or "".
std::string FirstUnrepresentablePath(const std::string& attachments)
{
    size_t start = 0;
    while (start <= attachments.size()) {
        size_t tab = attachments.find('\t', start);
        std::string path = attachments.substr(start, tab == std::string::npos ? tab : tab - start);
        if (!IsCp932Representable(path))
            return path;
        if (tab == std::string::npos)
            break;
        start = tab + 1;
    }
    return {};
}

std::string FromComponent(const char* text)
{
    return text ? Cp932ToUtf8(text) : std::string();
}

} // namespace

ComponentMailTransfer::ComponentMailTransfer(std::vector<std::string> folders)
    : m_library(kFileName, std::move(folders))
{
}

void* ComponentMailTransfer::bind(const char* name, std::string* error)
{
    void* function = m_library.symbol(name);
    if (!function && error)
        *error = m_library.error();
    return function;
}

std::optional<std::string> ComponentMailTransfer::sendMailEx(const SendMailExArguments& arguments,
                                                             std::string* error)
{
    auto send = reinterpret_cast<SendMailExFunction>(bind("SendMailEx", error));
    if (!send)
        return std::nullopt;
    const std::string unfit = FirstUnrepresentablePath(arguments.attachments);
    if (!unfit.empty())
        return "attachment path cannot be passed in Shift-JIS: " + unfit;
    const std::string logPath = Utf8ToCp932(arguments.logPath);
    const std::string serverSpec = Utf8ToCp932(arguments.serverSpec);
    const std::string recipients = Utf8ToCp932(arguments.recipients);
    const std::string senderSpec = Utf8ToCp932(arguments.senderSpec);
    const std::string subject = Utf8ToCp932(arguments.subject);
    const std::string body = Utf8ToCp932(arguments.body);
    const std::string attachments = Utf8ToCp932(arguments.attachments);
    return FromComponent(send(logPath.c_str(), serverSpec.c_str(), recipients.c_str(), senderSpec.c_str(),
                              subject.c_str(), body.c_str(), attachments.c_str()));
}

std::optional<std::string> ComponentMailTransfer::rcvMail(const RcvMailArguments& arguments, std::string* error)
{
    auto receive = reinterpret_cast<RcvMailFunction>(bind("RcvMail", error));
    if (!receive)
        return std::nullopt;
    const std::string server = Utf8ToCp932(arguments.popServerSpec);
    const std::string user = Utf8ToCp932(arguments.user);
    const std::string password = Utf8ToCp932(arguments.password);
    const std::string command = Utf8ToCp932(arguments.command);
    const std::string outputPath = Utf8ToCp932(arguments.outputPath);
    return FromComponent(
        receive(server.c_str(), user.c_str(), password.c_str(), command.c_str(), outputPath.c_str()));
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "notify/ComponentMailTransfer.h"

namespace tessaly {
namespace {

std::string FromComponent(const char* text)
{
    return text ? std::string(text) : std::string();
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
    if (function && !m_cancel.load())
        m_cancel = reinterpret_cast<CancelFunction>(m_library.symbol("SendMailCancel"));
    return function;
}

void ComponentMailTransfer::cancel()
{
    if (CancelFunction cancel = m_cancel.load())
        cancel(1);
}

std::optional<MailReply> ComponentMailTransfer::sendMailEx(const SendMailExArguments& arguments, std::string* error)
{
    auto send = reinterpret_cast<SendMailFilesFunction>(bind("SendMailFiles", error));
    if (!send)
        return std::nullopt;
    std::vector<const char*> attachments;
    attachments.reserve(arguments.attachments.size());
    for (const std::string& path : arguments.attachments)
        attachments.push_back(path.c_str());
    std::int32_t partly = 0;
    std::string text =
        FromComponent(send(arguments.logPath.c_str(), arguments.serverSpec.c_str(), arguments.recipients.c_str(),
                           arguments.senderSpec.c_str(), arguments.subject.c_str(), arguments.body.c_str(),
                           attachments.data(), static_cast<std::int32_t>(attachments.size()), &partly));
    return MailReply(std::move(text), partly != 0);
}

std::optional<std::string> ComponentMailTransfer::rcvMail(const RcvMailArguments& arguments, std::string* error)
{
    auto receive = reinterpret_cast<RcvMailFunction>(bind("RcvMail", error));
    if (!receive)
        return std::nullopt;
    return FromComponent(receive(arguments.popServerSpec.c_str(), arguments.user.c_str(), arguments.password.c_str(),
                                 arguments.command.c_str(), arguments.outputPath.c_str()));
}

std::optional<OAuthAnswer> ComponentMailTransfer::oauthPost(const std::string& url, const std::string& form,
                                                            std::string* error)
{
    auto post = reinterpret_cast<OAuthPostFunction>(bind("OAuthPost", error));
    if (!post)
        return std::nullopt;
    std::int32_t status = 0;
    std::string body = FromComponent(post(url.c_str(), form.c_str(), &status));
    if (status == 0) {
        if (error)
            *error = std::move(body);
        return std::nullopt;
    }
    return OAuthAnswer{status, std::move(body)};
}

MailTransfer& InstalledMailTransfer()
{
    static ComponentMailTransfer installed;
    return installed;
}

} // namespace tessaly

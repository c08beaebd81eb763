// SPDX-License-Identifier: MIT
#pragma once

#include "notify/ComponentLibrary.h"
#include "notify/MailTransfer.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

/// The mail-transfer component libtessaly_mail.so, loaded on first use from
/// the given folders (by default the executable's folder, then the
/// install's component folder). Texts cross to it as they are: UTF-8, paths
/// as their bytes. Not thread-safe, but for cancel().
class ComponentMailTransfer final : public MailTransfer {
public:
    /// The component's file name.
    static constexpr const char* kFileName = "libtessaly_mail.so";

    explicit ComponentMailTransfer(std::vector<std::string> folders = ComponentLibrary::DefaultFolders());

    std::optional<MailReply> sendMailEx(const SendMailExArguments& arguments, std::string* error) override;
    std::optional<std::string> rcvMail(const RcvMailArguments& arguments, std::string* error) override;
    std::optional<OAuthAnswer> oauthPost(const std::string& url, const std::string& form, std::string* error) override;
    /// Reaches the component only once it is loaded: before that nothing
    /// can be in progress, and a later call is refused by the caller.
    void cancel() override;

private:
    using SendMailFilesFunction = const char* (*)(const char*, const char*, const char*, const char*, const char*,
                                                  const char*, const char* const*, std::int32_t, std::int32_t*);
    using RcvMailFunction = const char* (*)(const char*, const char*, const char*, const char*, const char*);
    using CancelFunction = void (*)(std::int32_t);
    using OAuthPostFunction = const char* (*)(const char*, const char*, std::int32_t*);

    /// The function `name`, or nullptr with `error` set.
    void* bind(const char* name, std::string* error);

    ComponentLibrary m_library;
    /// The component's SendMailCancel, once it was loaded (older builds
    /// of the component lack it).
    std::atomic<CancelFunction> m_cancel{nullptr};
};

/// The installed mail-transfer component, loaded by name on first use and
/// kept for the life of the process.
MailTransfer& InstalledMailTransfer();

} // namespace tessaly

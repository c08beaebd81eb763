// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tessaly {

/// The arguments of SendMailEx, in its order: UTF-8 texts; the log path and
/// the attachment paths are byte strings, passed on unchanged. The
/// attachments go as a list (the component's SendMailFiles), so that a
/// path may hold a Tab.
struct SendMailExArguments {
    std::string logPath;
    std::string serverSpec; ///< host, TAB, port
    std::string recipients; ///< "bcc", TAB, addresses separated by TAB
    /// address [TAB user ":" password [TAB "CRAM-MD5"]], or with TAB
    /// "XOAUTH2" or "OAUTHBEARER" the OAuth 2.0 access token in place of
    /// the password.
    std::string senderSpec;
    std::string subject;
    std::string body;
    std::vector<std::string> attachments; ///< full paths

    friend bool operator==(const SendMailExArguments&, const SendMailExArguments&) = default;
};

/// What the component answered to a mail.
struct MailReply {
    MailReply(std::string reply = {}, bool sentToOthers = false) : text(std::move(reply)), partly(sentToOthers) {}
    std::string text; ///< "" when the server took the mail for every recipient
    bool partly;      ///< the server took it for some and refused those `text` names
};

/// The arguments of RcvMail, in its order: UTF-8 texts; the output path is a
/// byte string, passed on unchanged.
struct RcvMailArguments {
    std::string popServerSpec; ///< host, TAB, port
    std::string user;
    std::string password;
    std::string command;
    std::string outputPath;

    friend bool operator==(const RcvMailArguments&, const RcvMailArguments&) = default;
};

/// What an OAuth 2.0 endpoint answered.
struct OAuthAnswer {
    int status = 0;   ///< the HTTP status
    std::string body; ///< the answer's body (JSON)
};

/// The program's view of the mail-transfer component: its functions.
/// The real one loads the component library on first use; tests supply
/// their own. Both calls block until the exchange with the server is over.
class MailTransfer {
public:
    virtual ~MailTransfer() = default;

    /// Submits one mail, to the recipients the server takes even when it
    /// refuses others. The component's answer, or nothing when the component
    /// or the function cannot be had; `error` then says why.
    virtual std::optional<MailReply> sendMailEx(const SendMailExArguments& arguments, std::string* error) = 0;

    /// One POP3 login with one command. The component's result text, or
    /// nothing (with `error` set) when it cannot be called.
    virtual std::optional<std::string> rcvMail(const RcvMailArguments& arguments, std::string* error) = 0;

    /// POSTs `form` to the OAuth 2.0 endpoint `url` (the component's
    /// OAuthPost). The answer, or nothing with `error` set when no answer
    /// came (or the component cannot do it). By default it cannot.
    virtual std::optional<OAuthAnswer> oauthPost(const std::string& url, const std::string& form, std::string* error)
    {
        (void)url;
        (void)form;
        if (error)
            *error = "このメール部品は OAuth 2.0 のサインインに対応していません";
        return std::nullopt;
    }

    /// Ends every exchange in progress at once, and every one started
    /// later, which then fail with a text that says so: the program is
    /// ending. Callable from any thread. By default nothing can be ended.
    virtual void cancel() {}
};

} // namespace tessaly

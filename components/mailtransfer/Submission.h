// SPDX-License-Identifier: MIT
#pragma once

#include "ServerAddress.h"

#include <optional>
#include <string>
#include <vector>

namespace tessaly::mail {

/// The texts handed to SendMailEx: UTF-8, the attachment paths as bytes.
struct SubmissionTexts {
    std::string serverSpec; ///< "host<TAB>port"
    std::string recipients; ///< "bcc<TAB>addr<TAB>addr..." ("to" and "cc" switch the kind too)
    /// "addr[<TAB>user:secret[<TAB>mechanism]]". The mechanism, in any
    /// case: none (or one not listed) for PLAIN or LOGIN with a password,
    /// "CRAM-MD5" for a password that only CRAM-MD5 may carry, "XOAUTH2"
    /// or "OAUTHBEARER" for an OAuth 2.0 sign-in, the secret then being
    /// the access token (the user is the mailbox it was issued for). Every
    /// secret waits for TLS where the server offers it and is masked in
    /// mail.log.
    std::string senderSpec;
    std::string subject;
    std::string body;
    std::string attachments; ///< full paths separated by tabs, or ""
    /// Further paths, each taken whole (a Tab included), after those above.
    std::vector<std::string> attachmentPaths = {};
    /// The mail goes to the recipients the server takes even when it
    /// refuses others (by default one refusal stops the whole mail).
    bool toThoseTaken = false;
};

/// One recipient and whether the mail shows it (To, Cc) or not (Bcc).
struct Recipient {
    enum class Kind { To, Cc, Bcc };
    std::string address;
    Kind kind = Kind::Bcc;
};

/// SMTP authentication data from the sender argument.
struct Credentials {
    enum class Mechanism {
        Password,   ///< PLAIN or LOGIN, whichever the server offers
        CramMd5,    ///< only CRAM-MD5 may carry the password
        XOAuth2,    ///< the password is an OAuth 2.0 access token
        OAuthBearer ///< the same, by the standard mechanism (RFC 7628)
    };
    std::string user;
    std::string password; ///< or the access token
    Mechanism mechanism = Mechanism::Password;

    bool isToken() const { return mechanism == Mechanism::XOAuth2 || mechanism == Mechanism::OAuthBearer; }
};

/// A mail ready to be submitted.
struct Submission {
    ServerAddress server;
    std::string sender;
    std::optional<Credentials> credentials;
    std::vector<Recipient> recipients;
    std::string subject;
    std::string body;
    std::vector<std::string> attachments;
    bool toThoseTaken = false; ///< see SubmissionTexts
};

/// Reads the arguments of SendMailEx. Addresses lose surrounding spaces and
/// empty entries are skipped. False with `error` set (a text for the user)
/// when the mail cannot be sent as given: no server, no sender, no
/// recipient, authentication without a user name, an address, user or
/// password holding characters that would break the protocol, or an OAuth
/// mechanism without an access token or with one that is not a token.
bool ParseSubmission(const SubmissionTexts& texts, Submission* submission, std::string* error);

} // namespace tessaly::mail

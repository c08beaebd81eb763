// SPDX-License-Identifier: MIT
#pragma once

#include "notify/MailTransfer.h"
#include "settings/BasicSettings.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly {

class Clock;

/// Where and how an OAuth 2.0 sign-in goes: the presets of Microsoft 365
/// and Google, or the settings' own addresses for another provider.
struct OAuthEndpoints {
    std::string tokenUrl;
    std::string deviceUrl; ///< "" where the device flow is not offered
    std::string authUrl;   ///< the authorization endpoint of the browser flow
    std::string authExtra; ///< parameters the preset adds to the authorization address
    std::string scope;
    std::string mechanism; ///< the SASL mechanism of the SMTP login
};

/// The endpoints for the settings' Conf_MailAuth (Microsoft's tenant
/// "common" when Conf_OAuthTenant is empty). A token, device or
/// authorization address set in the settings takes the place of a preset's.
/// Google offers no device flow: its device grant cannot reach mail.
OAuthEndpoints EndpointsOf(const BasicSettings& settings);

/// The client's part of every token request: client_id, and client_secret
/// when the settings hold one.
std::string ClientForm(const BasicSettings& settings);

/// The file in the data folder that holds the tokens of the sign-in.
inline constexpr std::string_view kOAuthTokenFileName = "oauth-token.dat";

/// What the token file holds. Secrets: never logged, never shown.
struct StoredTokens {
    std::string client;       ///< the client id the tokens were issued to
    std::string account;      ///< the address that signed in
    std::string refreshToken; ///< "" when a new sign-in is needed
    std::string accessToken;
    int64_t accessExpires = 0; ///< Unix time the access token ends
    /// What the user was last told of a sign-in that cannot go on (kTold*),
    /// so that it is told once: "" nothing.
    std::string told;

    friend bool operator==(const StoredTokens&, const StoredTokens&) = default;
};

inline constexpr std::string_view kToldSignIn = "signin";
inline constexpr std::string_view kToldClient = "client";

/// Who signed in in a data folder, as its token file tells.
struct SignInRecord {
    std::string client;    ///< the client id of the sign-in
    std::string account;   ///< the address that signed in
    bool signedIn = false; ///< a refresh token is kept, in the file or the keyring
};

/// The sign-in of `folder` from its token file alone: the keyring is not
/// asked, so a window may read it without waiting. Not signed in when
/// there is no file or it cannot be read.
SignInRecord ReadSignInRecord(const std::string& folder);

/// Reads the token file of `folder`, and the tokens from the keyring when
/// the file says they are there. False when there is none or it cannot be
/// read (`error` says why; "" for a missing file).
bool LoadStoredTokens(const std::string& folder, StoredTokens* tokens, std::string* error);

/// Writes the token file (0600, scrambled, replaced whole) under the data
/// folder's lock, waited for at most `lockWaitSeconds`. The refresh and
/// access tokens go into the desktop's keyring (common/SecretStore.h) when
/// one answers, the file then holding the rest; else into the file, and
/// `notice`, when given, receives the message that says so when the user
/// has not been told yet.
bool SaveStoredTokens(const std::string& folder, const StoredTokens& tokens, double lockWaitSeconds, std::string* error,
                      std::string* notice = nullptr);

/// Removes the token file, and the tokens from the keyring, under the
/// data folder's lock. True when there is none afterwards.
bool RemoveStoredTokens(const std::string& folder, double lockWaitSeconds, std::string* error);

/// `text` percent-encoded for a form (RFC 3986 unreserved kept).
std::string FormEncode(std::string_view text);

/// What became of asking for an access token before a mail session.
struct AccessTokenResult {
    enum class Status {
        Ready,          ///< `token` can be used
        SignInNeeded,   ///< no usable refresh token: `tessalyctl mail login`
        ClientRejected, ///< the provider does not know the client id
        Failed,         ///< no answer or a passing failure: try again later
    };
    Status status = Status::Failed;
    std::string token;
    /// For the user: why not (empty when Ready).
    std::string message;
    /// True when `message` is to be told now: a sign-in problem is told
    /// once, until a sign-in mends it; a passing failure every time.
    bool tell = false;
    /// Where renewed tokens went instead of the keyring, to be told once.
    std::string notice;
};

/// The message that asks for a new sign-in.
std::string SignInNeededMessage();

/// An access token for the SMTP login of `settings`: the stored one while
/// it is good for at least 60 more seconds, else a new one from the
/// refresh token (stored in its place), all under one hold of the data
/// folder's lock. An `invalid_grant` answer drops the
/// refresh token and asks for a sign-in; `invalid_client` says the client
/// id is wrong. Blocks during the exchange with the token endpoint.
AccessTokenResult ObtainAccessToken(MailTransfer& transfer, const BasicSettings& settings, const std::string& folder,
                                    const Clock& clock, double lockWaitSeconds);

/// Forgets the stored access token when it is `token`, which the mail
/// server refused: the next session renews it (or finds the sign-in gone)
/// instead of offering it again until it ends.
void ForgetAccessToken(const std::string& folder, const std::string& token, double lockWaitSeconds);

/// True when `reply` (a text of the mail component) says the server
/// refused the access token.
bool IsRefusedToken(std::string_view reply);

/// The provider's error code and description of a refused token request
/// as one text for the user.
std::string DescribeTokenError(const std::string& code, const std::string& description);

} // namespace tessaly

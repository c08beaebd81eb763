// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

/// The secrets a data folder may keep in the desktop's keyring (the Secret
/// Service of the session bus: GNOME Keyring, KWallet, KeePassXC), each an
/// item of the program's own schema with the attributes "folder" (the data
/// folder), "kind" (below) and "account".
inline constexpr std::string_view kSecretOAuthTokens = "oauth-tokens";
inline constexpr std::string_view kSecretSmtpPassword = "smtp-password";
inline constexpr std::string_view kSecretPopPassword = "pop-password";
inline constexpr std::string_view kSecretZipPassword = "zip-password";
inline constexpr std::string_view kSecretOAuthClientSecret = "oauth-client-secret";

/// What became of a request to the keyring.
enum class SecretResult {
    Done,        ///< stored, found or removed
    Missing,     ///< a lookup found no such secret
    Unavailable, ///< no keyring to use: no session bus, no Secret Service,
                 ///< no default keyring, a locked one, or no answer in time
};

/// With TESSALY_KEYRING=0 in the environment (the user service, which may
/// run while the keyring is locked) nothing is stored there; secrets that
/// are there are still found and removed. Every call is bounded in time (a few seconds) and never asks the user
/// for anything: a keyring that would prompt (locked, or none to create one
/// in) is Unavailable. `why` (Japanese) tells what was wrong.
SecretResult StoreSecret(const std::string& folder, std::string_view kind, const std::string& account,
                         const std::string& secret, std::string* why);
SecretResult LookupSecret(const std::string& folder, std::string_view kind, std::string* secret, std::string* why);
/// Removes the secret of `kind`; Done also when there was none.
SecretResult RemoveSecret(const std::string& folder, std::string_view kind, std::string* why);

/// The message that tells the user where secrets went instead of the
/// keyring: "秘密情報はキーリングではなく <path> に保存しました (<why>)".
std::string SecretsInFileMessage(const std::string& path, const std::string& why);

} // namespace tessaly

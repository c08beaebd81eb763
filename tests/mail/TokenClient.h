// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace tessaly::test {

/// A client of the fixture's token service (token_service.py) at `baseUrl`,
/// for tests that need bearer tokens.
class TokenClient final {
public:
    static constexpr const char* kClientId = "tessaly-desktop";

    explicit TokenClient(std::string baseUrl) : m_baseUrl(std::move(baseUrl)) {}

    /// Posts `form` (application/x-www-form-urlencoded) to `path`: the
    /// answer's JSON, "" when the service could not be reached.
    std::string Post(const std::string& path, const std::string& form, long* status = nullptr) const;

    /// The test grant: tokens for `user` at once, the access token good for
    /// `expiresIn` seconds (0: expired already). The answer's JSON.
    std::string Issue(const std::string& user, int expiresIn = 3600) const;

    /// Revokes an access or refresh token.
    void Revoke(const std::string& token) const;

private:
    std::string m_baseUrl;
};

/// GETs `url` as a browser would, without following a redirect: the body,
/// and the redirect's address in `location` when there is one.
std::string BrowserGet(const std::string& url, std::string* location = nullptr);

/// The string `key` holds in a flat JSON object, "" when it has none.
std::string JsonString(const std::string& json, const std::string& key);

} // namespace tessaly::test

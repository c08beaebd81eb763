// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

/// What the user can do about a refusal whose reply code names a cause the
/// server's own words leave unclear (large providers that turn password
/// logins off): Japanese, "" when `reply` holds none of those codes.
/// `reply` is the component's text, which quotes the server's reply line,
/// e.g. "認証に失敗しました: 535 5.7.3 Authentication unsuccessful".
/// `bearer`: the login was by an OAuth 2.0 token, for which advice about
/// passwords (app passwords, basic authentication) does not hold.
std::string ProviderAdvice(std::string_view reply, bool bearer = false);

/// `reply` with its advice after it on the same line, or unchanged.
std::string WithProviderAdvice(std::string reply, bool bearer = false);

} // namespace tessaly

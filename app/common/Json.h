// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

/// `text` (UTF-8) as a JSON string literal, quotes included. Control
/// characters are escaped; other characters pass through unchanged.
std::string JsonQuote(std::string_view text);

} // namespace tessaly

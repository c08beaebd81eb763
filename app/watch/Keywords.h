// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

/// The keyword words of a subscription: ideographic spaces count as blanks,
/// and every blank separates, so two blanks in a row give an empty word
/// (which every name contains). An empty keyword gives no words at all.
/// The words are upper-cased as names are for matching.
std::vector<std::string> KeywordTokens(const std::string& keyword);

/// True when the file name of `path` contains one of the words (compared
/// upper-cased), or when there are no words.
bool PassesKeywords(const std::vector<std::string>& tokens, std::string_view path);

} // namespace tessaly

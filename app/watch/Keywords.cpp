// SPDX-License-Identifier: MIT
#include "watch/Keywords.h"

#include "common/PathParts.h"
#include "watch/NameCase.h"

namespace tessaly {

std::vector<std::string> KeywordTokens(const std::string& keyword)
{
    std::vector<std::string> tokens;
    if (keyword.empty())
        return tokens;
    std::string text = keyword;
    for (size_t pos = text.find("\u3000"); pos != std::string::npos; pos = text.find("\u3000", pos))
        text.replace(pos, 3, 1, ' ');
    size_t start = 0;
    for (;;) {
        size_t blank = text.find(' ', start);
        tokens.push_back(UpperCaseName(text.substr(start, blank - start)));
        if (blank == std::string::npos)
            break;
        start = blank + 1;
    }
    return tokens;
}

bool PassesKeywords(const std::vector<std::string>& tokens, std::string_view path)
{
    if (tokens.empty())
        return true;
    const std::string name = UpperCaseName(FileNameOf(path));
    for (const std::string& token : tokens) {
        if (name.find(token) != std::string::npos)
            return true;
    }
    return false;
}

} // namespace tessaly

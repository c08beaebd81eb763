// SPDX-License-Identifier: MIT
#include "ZipOutput.h"

#include "common/PathField.h"

#include <cstring>
#include <string>

namespace tessaly::zip {
namespace {

bool IsContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

/// The longest prefix of the valid UTF-8 `text` of at most `limit` bytes
/// that ends on a character boundary.
size_t FittingLength(const std::string& text, size_t limit)
{
    if (text.size() <= limit)
        return text.size();
    size_t length = limit;
    while (length > 0 && IsContinuationByte(text[length]))
        --length;
    return length;
}

} // namespace

void PutOutput(std::string_view text, char* output, int32_t outputSize)
{
    if (!output || outputSize <= 0)
        return;
    const std::string utf8 = ValidUtf8(text);
    const size_t length = FittingLength(utf8, static_cast<size_t>(outputSize) - 1);
    std::memcpy(output, utf8.data(), length);
    output[length] = '\0';
}

} // namespace tessaly::zip

// SPDX-License-Identifier: MIT
#include "ZipOutput.h"

#include "common/Cp932.h"

#include <cstring>
#include <string>

namespace tessaly::zip {
namespace {

bool IsLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9f) || (byte >= 0xe0 && byte <= 0xfc);
}

/// The longest prefix of `bytes` of at most `limit` bytes that ends on a
/// character boundary.
size_t FittingLength(const std::string& bytes, size_t limit)
{
    size_t length = 0;
    while (length < bytes.size()) {
        const size_t width = IsLeadByte(static_cast<unsigned char>(bytes[length])) ? 2 : 1;
        if (length + width > limit)
            break;
        length += width;
    }
    return length;
}

} // namespace

void PutOutput(std::string_view text, char* output, int32_t outputSize)
{
    if (!output || outputSize <= 0)
        return;
    const std::string bytes = Utf8ToCp932(text);
    const size_t length = FittingLength(bytes, static_cast<size_t>(outputSize) - 1);
    std::memcpy(output, bytes.data(), length);
    output[length] = '\0';
}

} // namespace tessaly::zip

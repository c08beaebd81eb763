// SPDX-License-Identifier: MIT
#include "watch/NameCase.h"

#include "common/Cp932.h"

namespace tessaly {
namespace {

bool IsContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

} // namespace

char32_t DecodeNameCharacter(std::string_view text, size_t pos, size_t* length)
{
    auto b0 = static_cast<unsigned char>(text[pos]);
    *length = 1;
    if (b0 < 0x80)
        return b0;
    size_t left = text.size() - pos;
    auto at = [&](size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    if (b0 >= 0xC2 && b0 <= 0xDF && left >= 2 && IsContinuation(at(1))) {
        *length = 2;
        return (char32_t(b0 & 0x1F) << 6) | (at(1) & 0x3F);
    }
    if (b0 >= 0xE0 && b0 <= 0xEF && left >= 3) {
        unsigned char low = b0 == 0xE0 ? 0xA0 : 0x80;
        unsigned char high = b0 == 0xED ? 0x9F : 0xBF;
        if (at(1) >= low && at(1) <= high && IsContinuation(at(2))) {
            *length = 3;
            return (char32_t(b0 & 0x0F) << 12) | (char32_t(at(1) & 0x3F) << 6) | (at(2) & 0x3F);
        }
    }
    if (b0 >= 0xF0 && b0 <= 0xF4 && left >= 4) {
        unsigned char low = b0 == 0xF0 ? 0x90 : 0x80;
        unsigned char high = b0 == 0xF4 ? 0x8F : 0xBF;
        if (at(1) >= low && at(1) <= high && IsContinuation(at(2)) && IsContinuation(at(3))) {
            *length = 4;
            return (char32_t(b0 & 0x07) << 18) | (char32_t(at(1) & 0x3F) << 12) | (char32_t(at(2) & 0x3F) << 6) |
                   (at(3) & 0x3F);
        }
    }
    return kInvalidByteBase + b0;
}

char32_t UpperCodePoint(char32_t c)
{
    if (c >= 'a' && c <= 'z')
        return c - 0x20;
    if (c < 0xE0)
        return c;
    if (c <= 0xFE)
        return c == 0xF7 ? c : c - 0x20;
    if (c == 0x3C2) // final sigma
        return 0x3A3;
    if ((c >= 0x3B1 && c <= 0x3C9) || (c >= 0x430 && c <= 0x44F) || (c >= 0xFF41 && c <= 0xFF5A))
        return c - 0x20;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    return c;
}

std::string UpperCaseName(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        size_t length = 1;
        char32_t c = DecodeNameCharacter(text, pos, &length);
        if (c >= kInvalidByteBase)
            out.push_back(text[pos]);
        else
            AppendUtf8(&out, UpperCodePoint(c));
        pos += length;
    }
    return out;
}

} // namespace tessaly

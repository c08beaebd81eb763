// SPDX-License-Identifier: MIT
#include "common/PathField.h"

#include "common/Cp932.h"

namespace tessaly {
namespace {

constexpr char kEscapeMark = '|';
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool IsSeparatorByte(char c)
{
    return c == ',' || c == '\r' || c == '\n' || c == '\t';
}

/// Length of the well-formed UTF-8 sequence at the start of `rest`
/// (shortest form, no surrogates, at most U+10FFFF), or 0.
size_t Utf8SequenceLength(std::string_view rest)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(rest[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (rest.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    }
    return length;
}

} // namespace

void AppendPercentByte(std::string* out, unsigned char byte)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    out->push_back('%');
    out->push_back(kHex[byte >> 4]);
    out->push_back(kHex[byte & 0x0F]);
}

bool IsPlainPathField(std::string_view path)
{
    if (!path.empty() && path.front() == kEscapeMark)
        return false;
    for (char c : path) {
        if (IsSeparatorByte(c))
            return false;
    }
    return IsCp932Representable(path);
}

std::string EncodePathField(std::string_view path)
{
    if (IsPlainPathField(path))
        return Utf8ToCp932(path);
    std::string field(1, kEscapeMark);
    field.reserve(path.size() + 16);
    for (size_t pos = 0; pos < path.size();) {
        const std::string_view rest = path.substr(pos);
        const size_t length = Utf8SequenceLength(rest);
        if (length == 0) {
            AppendPercentByte(&field, static_cast<unsigned char>(rest.front()));
            ++pos;
            continue;
        }
        const std::string_view character = rest.substr(0, length);
        const char first = character.front();
        const bool special = first == '%' || IsSeparatorByte(first) || (pos == 0 && first == kEscapeMark);
        if (special || (length > 1 && !IsCp932Representable(character))) {
            for (char c : character)
                AppendPercentByte(&field, static_cast<unsigned char>(c));
        } else {
            field += length == 1 ? std::string(character) : Utf8ToCp932(character);
        }
        pos += length;
    }
    return field;
}

std::optional<char> PercentByteAt(std::string_view text, size_t at)
{
    const auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    if (text[at] != '%' || at + 2 >= text.size() || hex(text[at + 1]) < 0 || hex(text[at + 2]) < 0)
        return std::nullopt;
    return static_cast<char>(hex(text[at + 1]) * 16 + hex(text[at + 2]));
}

std::string DecodePathField(std::string_view field)
{
    if (field.empty() || field.front() != kEscapeMark)
        return Cp932ToUtf8(field);
    const std::string text = Cp932ToUtf8(field.substr(1));
    std::string path;
    path.reserve(text.size());
    for (size_t pos = 0; pos < text.size(); ++pos) {
        if (const std::optional<char> byte = PercentByteAt(text, pos)) {
            path.push_back(*byte);
            pos += 2;
            continue;
        }
        path.push_back(text[pos]);
    }
    return path;
}

std::string ValidUtf8(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (size_t pos = 0; pos < bytes.size();) {
        const size_t length = Utf8SequenceLength(bytes.substr(pos));
        if (length == 0) {
            text += kReplacement;
            ++pos;
        } else {
            text.append(bytes.substr(pos, length));
            pos += length;
        }
    }
    return text;
}

std::string OneLineExcerpt(std::string_view text, size_t maxBytes)
{
    size_t length = text.size();
    if (length > maxBytes) {
        length = maxBytes;
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
            --length;
    }
    std::string shown;
    for (char c : text.substr(0, length))
        shown.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c);
    return length < text.size() ? shown + "…" : shown;
}

} // namespace tessaly

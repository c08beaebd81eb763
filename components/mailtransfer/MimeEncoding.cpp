// SPDX-License-Identifier: MIT
#include "MimeEncoding.h"

#include <algorithm>
#include <cstdio>

namespace tessaly::mail {
namespace {

constexpr char kBase64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// 36 bytes make 48 base64 characters: an encoded word of 60 characters, so
// that "Subject: " and the first word stay within 78 columns.
constexpr size_t kBytesPerEncodedWord = 36;
constexpr size_t kPlainHeaderRoom = 66;
constexpr size_t kParameterPieceRoom = 60;

bool IsContinuationByte(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

/// Splits `text` into pieces of at most `limit` bytes, cutting only in front
/// of the first byte of a UTF-8 character.
template <typename Emit>
void SplitAtCharacters(std::string_view text, size_t limit, Emit emit)
{
    while (!text.empty()) {
        size_t n = std::min(limit, text.size());
        while (n < text.size() && n > 1 && IsContinuationByte(static_cast<unsigned char>(text[n])))
            --n;
        emit(text.substr(0, n));
        text.remove_prefix(n);
    }
}

std::string EncodedWords(std::string_view utf8, std::string_view separator)
{
    std::string out;
    SplitAtCharacters(utf8, kBytesPerEncodedWord, [&](std::string_view piece) {
        if (!out.empty())
            out += separator;
        out += "=?UTF-8?B?" + Base64(piece) + "?=";
    });
    return out;
}

std::string QuotedString(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

/// RFC 2231 attribute-char: what may stand unescaped in an extended value.
bool IsAttributeChar(unsigned char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    return std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

std::string PercentEncoded(std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (IsAttributeChar(c)) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0x0F]);
        }
    }
    return out;
}

} // namespace

std::string Base64(std::string_view bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                     static_cast<unsigned char>(bytes[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6)
            out.push_back(kBase64Digits[(v >> shift) & 0x3F]);
    }
    size_t rest = bytes.size() - i;
    if (rest > 0) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2)
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out.push_back(kBase64Digits[(v >> 18) & 0x3F]);
        out.push_back(kBase64Digits[(v >> 12) & 0x3F]);
        out.push_back(rest == 2 ? kBase64Digits[(v >> 6) & 0x3F] : '=');
        out.push_back('=');
    }
    return out;
}

std::string Base64Lines(std::string_view bytes)
{
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 57)
        out += Base64(bytes.substr(i, 57)) + "\r\n";
    return out;
}

bool IsPrintableAscii(std::string_view text)
{
    for (unsigned char c : text) {
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

std::string EncodeHeaderText(std::string_view utf8)
{
    // "=?" in plain text would be read as the start of an encoded word.
    if (IsPrintableAscii(utf8) && utf8.size() <= kPlainHeaderRoom && utf8.find("=?") == std::string_view::npos)
        return std::string(utf8);
    return EncodedWords(utf8, "\r\n ");
}

std::string FileNameParameter(std::string_view utf8)
{
    if (IsPrintableAscii(utf8) && utf8.size() <= kParameterPieceRoom && utf8.find("=?") == std::string_view::npos)
        return "filename=" + QuotedString(utf8);
    std::string encoded = PercentEncoded(utf8);
    if (encoded.size() + 7 <= kParameterPieceRoom)
        return "filename*=UTF-8''" + encoded;
    // Numbered continuations, cut only between whole characters so that no
    // reader has to join a split %XX or a split UTF-8 sequence.
    std::string out;
    int index = 0;
    std::string piece;
    auto flush = [&] {
        if (!out.empty())
            out += ";\r\n ";
        out += "filename*" + std::to_string(index) + "*=" + (index == 0 ? "UTF-8''" : "") + piece;
        ++index;
        piece.clear();
    };
    SplitAtCharacters(utf8, 4, [&](std::string_view character) {
        std::string part = PercentEncoded(character);
        if (!piece.empty() && piece.size() + part.size() > kParameterPieceRoom - 20)
            flush();
        piece += part;
    });
    if (!piece.empty())
        flush();
    return out;
}

std::string NameParameter(std::string_view utf8)
{
    if (IsPrintableAscii(utf8) && utf8.size() <= kParameterPieceRoom && utf8.find("=?") == std::string_view::npos)
        return "name=" + QuotedString(utf8);
    return "name=\"" + EncodedWords(utf8, "\r\n ") + "\"";
}

std::string MailDate(std::time_t when)
{
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm local{};
    ::localtime_r(&when, &local);
    long offset = local.tm_gmtoff / 60;
    char sign = offset < 0 ? '-' : '+';
    if (offset < 0)
        offset = -offset;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[local.tm_wday % 7],
                  local.tm_mday, kMonths[local.tm_mon % 12], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec, sign, offset / 60, offset % 60);
    return text;
}

std::string WithCrLf(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

} // namespace tessaly::mail

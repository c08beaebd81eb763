// SPDX-License-Identifier: MIT
#include "traycontrol/AnsiText.h"

#include <QByteArray>

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace lumitray::AnsiText {
namespace {

bool IsLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

/// Length of the UTF-8 sequence at `rest`, 1 when it is malformed.
std::size_t Utf8Length(const char* rest, std::size_t left)
{
    const auto lead = static_cast<unsigned char>(rest[0]);
    const std::size_t n = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return n <= left ? n : 1;
}

/// The text as code page 932; each character that does not convert becomes "?".
QByteArray Encode(const QString& text)
{
    const QByteArray in = text.toUtf8();
    QByteArray out;
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        for (char c : in)
            out.append(static_cast<unsigned char>(c) < 0x80 ? c : '?');
        return out;
    }
    char* src = const_cast<char*>(in.constData());
    std::size_t srcLeft = static_cast<std::size_t>(in.size());
    char buffer[512];
    while (srcLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<qsizetype>(dst - buffer));
        if (rc != static_cast<std::size_t>(-1) || errno == E2BIG)
            continue;
        out.append('?');
        const std::size_t n = Utf8Length(src, srcLeft);
        src += n;
        srcLeft -= n;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

/// The longest prefix of `bytes` of at most `maxBytes` bytes that does not
/// end in the middle of a double-byte character.
QByteArray CutOnCharacter(const QByteArray& bytes, std::size_t maxBytes)
{
    std::size_t end = 0;
    const auto size = static_cast<std::size_t>(bytes.size());
    while (end < size) {
        const std::size_t length = IsLeadByte(static_cast<unsigned char>(bytes[end])) ? 2 : 1;
        if (end + length > maxBytes || end + length > size)
            break;
        end += length;
    }
    return bytes.left(static_cast<qsizetype>(end));
}

} // namespace

void FillField(std::uint8_t* field, std::size_t size, const QString& text)
{
    if (size == 0)
        return;
    const QByteArray bytes = CutOnCharacter(Encode(text), size - 1);
    std::memset(field, ' ', size);
    std::memcpy(field, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    field[bytes.size()] = 0;
}

} // namespace lumitray::AnsiText

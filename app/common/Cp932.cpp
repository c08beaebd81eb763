// SPDX-License-Identifier: MIT
#include "common/Cp932.h"

#include <cerrno>
#include <iconv.h>

namespace tessaly {
namespace {

/// One iconv descriptor per thread and direction, opened on first use.
class Converter final {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (m_cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    /// Converts `in`; on an unconvertible or incomplete sequence appends "?"
    /// and skips `skip(rest)` bytes of the input.
    template <typename Skip>
    std::string convert(std::string_view in, Skip skip, bool* lossless)
    {
        std::string out;
        out.reserve(in.size() * 3 / 2 + 8);
        if (!valid()) {
            // Without a converter keep ASCII and mark everything else.
            for (unsigned char c : in)
                out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
            if (lossless)
                *lossless = false;
            return out;
        }
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char buffer[1024];
        while (srcLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            size_t rc = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, dst - buffer);
            if (rc != static_cast<size_t>(-1))
                continue;
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL: replace one character and resynchronise.
            out.push_back('?');
            if (lossless)
                *lossless = false;
            size_t n = skip(std::string_view(src, srcLeft));
            src += n;
            srcLeft -= n;
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

private:
    iconv_t m_cd;
};

size_t SkipOneByte(std::string_view)
{
    return 1;
}

/// Length of the UTF-8 sequence at the start of `rest`, or 1 when it is not
/// a well-formed sequence.
size_t SkipOneUtf8Character(std::string_view rest)
{
    auto lead = static_cast<unsigned char>(rest[0]);
    size_t n = lead < 0x80 ? 1 : lead >= 0xF0 && lead < 0xF5 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 1;
    if (n > rest.size())
        return 1;
    for (size_t i = 1; i < n; ++i) {
        if ((static_cast<unsigned char>(rest[i]) & 0xC0) != 0x80)
            return 1;
    }
    return n;
}

} // namespace

std::string Cp932ToUtf8(std::string_view bytes)
{
    // Pure ASCII needs no conversion; most setting and path texts are.
    bool ascii = true;
    for (unsigned char c : bytes)
        ascii = ascii && c < 0x80;
    if (ascii)
        return std::string(bytes);
    thread_local Converter decoder("UTF-8", "CP932");
    return decoder.convert(bytes, SkipOneByte, nullptr);
}

std::string Utf8ToCp932(std::string_view text, bool* lossless)
{
    if (lossless)
        *lossless = true;
    bool ascii = true;
    for (unsigned char c : text)
        ascii = ascii && c < 0x80;
    if (ascii)
        return std::string(text);
    thread_local Converter encoder("CP932", "UTF-8");
    return encoder.convert(text, SkipOneUtf8Character, lossless);
}

bool IsCp932Representable(std::string_view text)
{
    bool lossless = true;
    std::string bytes = Utf8ToCp932(text, &lossless);
    return lossless && Cp932ToUtf8(bytes) == text;
}

void AppendUtf8(std::string* out, char32_t c)
{
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

} // namespace tessaly

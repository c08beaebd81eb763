// SPDX-License-Identifier: MIT
#include "resident/HeadlessBalloon.h"

namespace tessaly {

namespace {

/// `text` with its control characters in caret notation; CR and LF stay
/// when `keepLineBreaks`.
std::string Visible(std::string_view text, bool keepLineBreaks)
{
    std::string shown;
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool lineBreak = byte == '\r' || byte == '\n';
        if ((byte < 0x20 && byte != '\t' && !(lineBreak && keepLineBreaks)) || byte == 0x7F) {
            shown += '^';
            shown += static_cast<char>(byte ^ 0x40);
        } else if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0 &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80) {
            // U+0080..U+009F: the one-character form of ESC and a letter.
            shown += "^[";
            shown += static_cast<char>(static_cast<unsigned char>(text[++i]) - 0x40);
        } else {
            shown += static_cast<char>(byte);
        }
    }
    return shown;
}

} // namespace

std::string HeadlessBalloon::BalloonText() const
{
    return m_text;
}

void HeadlessBalloon::SetBalloonTitle(std::string_view title)
{
    m_title = title;
}

void HeadlessBalloon::SetBalloonText(std::string_view text)
{
    m_text = text;
    PrintBalloon(m_out, Visible(m_title, false), Visible(m_text, true));
    m_out.flush();
}

} // namespace tessaly

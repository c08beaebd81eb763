// SPDX-License-Identifier: MIT
#include "resident/HeadlessBalloon.h"

namespace tessaly {

std::string HeadlessBalloon::BalloonText() const
{
    std::lock_guard lock(m_mutex);
    return m_text;
}

void HeadlessBalloon::SetBalloonText(std::string_view text)
{
    std::lock_guard lock(m_mutex);
    setText(text);
}

void HeadlessBalloon::SetBalloonTitle(std::string_view title)
{
    std::lock_guard lock(m_mutex);
    m_title = title;
}

void HeadlessBalloon::SetFeedTexts(std::string_view title, std::string_view text)
{
    std::lock_guard lock(m_mutex);
    m_title = title;
    setText(text);
}

void HeadlessBalloon::setText(std::string_view text)
{
    m_text = text;
    PrintBalloon(m_out, m_title, m_text);
    m_out.flush();
}

} // namespace tessaly

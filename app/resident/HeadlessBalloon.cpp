// SPDX-License-Identifier: MIT
#include "resident/HeadlessBalloon.h"

namespace tessaly {

void HeadlessBalloon::SetBalloonText(std::string_view text)
{
    m_text = text;
    PrintBalloon(m_out, m_title, m_text);
    m_out.flush();
}

} // namespace tessaly

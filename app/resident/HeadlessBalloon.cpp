// SPDX-License-Identifier: MIT
#include "resident/HeadlessBalloon.h"

namespace tessaly {

void HeadlessBalloon::SetBalloonText(std::string_view text)
{
    m_text = text;
    if (m_text.empty())
        return;
    m_out << m_title << '\n';
    std::string_view rest = m_text;
    while (!rest.empty()) {
        const size_t end = rest.find_first_of("\r\n");
        m_out << rest.substr(0, end) << '\n';
        if (end == std::string_view::npos)
            break;
        // CR LF, a lone CR or a lone LF each end one line.
        const size_t skip = rest.compare(end, 2, "\r\n") == 0 ? 2 : 1;
        rest.remove_prefix(end + skip);
    }
    m_out.flush();
}

} // namespace tessaly

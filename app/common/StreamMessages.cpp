// SPDX-License-Identifier: MIT
#include "common/StreamMessages.h"

#include "common/TextLines.h"

#include <string>

namespace tessaly {

std::string StreamMessages::OneLine(std::string_view text)
{
    std::string line;
    TextLines lines(text);
    std::string_view part;
    bool first = true;
    while (lines.next(&part)) {
        if (!first)
            line += " / ";
        line += part;
        first = false;
    }
    return line;
}

void StreamMessages::ShowMessage(std::string_view text)
{
    ++m_count;
    m_err << OneLine(text) << '\n';
}

bool StreamMessages::AskYesNo(std::string_view question)
{
    ++m_count;
    m_err << OneLine(question) << " (answered No)\n";
    return false;
}

} // namespace tessaly

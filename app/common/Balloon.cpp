// SPDX-License-Identifier: MIT
#include "common/Balloon.h"

#include "common/TextLines.h"

namespace tessaly {

void PrintBalloon(std::ostream& out, std::string_view title, std::string_view text)
{
    if (text.empty())
        return;
    out << title << '\n';
    TextLines lines(text);
    std::string_view line;
    while (lines.next(&line))
        out << line << '\n';
}

} // namespace tessaly

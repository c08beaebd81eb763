// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>

namespace tessaly {

/// Walks the lines of a text held in memory. A line ends at CR LF, at a CR
/// alone or at a LF alone; the terminator is not part of the line. A last
/// line without terminator counts; a text that ends with a terminator has
/// no empty line after it.
class TextLines final {
public:
    explicit TextLines(std::string_view text) : m_rest(text) {}

    /// The next line in `line`; false when the text is used up.
    bool next(std::string_view* line)
    {
        if (m_rest.empty())
            return false;
        size_t end = m_rest.find_first_of("\r\n");
        if (end == std::string_view::npos) {
            *line = m_rest;
            m_rest = {};
            return true;
        }
        *line = m_rest.substr(0, end);
        size_t skip = m_rest[end] == '\r' && end + 1 < m_rest.size() && m_rest[end + 1] == '\n' ? 2 : 1;
        m_rest.remove_prefix(end + skip);
        return true;
    }

private:
    std::string_view m_rest;
};

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <string_view>

namespace tessaly {

/// A UTF-8 text of the core as a QString.
inline QString Utf8Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include "common/AutomationDate.h"

#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

/// "yyyy/mm/dd HH:MM:SS", the default date-time text of the program.
std::string FormatDateTime(AutomationDate value);

/// "yyyy/mm/dd".
std::string FormatDate(AutomationDate value);

/// "yy年mm月dd_HH:MM:SS", the time form of history lines (UTF-8).
std::string FormatHistoryTime(AutomationDate value);

/// "HHMMSSDDMM": hour, minute, second, day of month, month.
std::string FormatManagementNo(AutomationDate value);

/// Parses a local date-time text. Accepted forms, nothing looser:
/// "yyyy/m/d", "yyyy/m/d H:MM", "yyyy/m/d H:MM:SS" (one or two digits for
/// month, day and hour; "yyyy/mm/dd HH:MM:SS" is one of them) and
/// "yyyy-mm-dd", "yyyy-mm-dd HH:MM", "yyyy-mm-dd HH:MM:SS". Blanks around the
/// text are ignored. Gives nothing for any other text or an impossible date.
std::optional<AutomationDate> ParseDateTime(std::string_view text);

} // namespace tessaly

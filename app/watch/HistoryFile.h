// SPDX-License-Identifier: MIT
#pragma once

#include "common/AutomationDate.h"
#include "watch/UpdateRecord.h"

#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

class Clock;

/// The inbox the check run appends to.
inline constexpr std::string_view kHistoryInboxFileName = "history.dat";
/// The accumulated history the history list keeps.
inline constexpr std::string_view kHistoryFileName = "history.hst";

/// The bytes of the history line of one record (code page 932, without
/// CR LF): detection time, subscription, folder, file name and file time,
/// each followed by ",". The folder and the file name are path fields (see
/// PathField.h), so any path comes back exactly. The file time is `Created`
/// when it is strictly later than `Written`, else `Written`; both times use
/// the form "yy年mm月dd_HH:MM:SS".
std::string HistoryLine(const UpdateRecord& record, AutomationDate detected);

/// Appends the line of `record` with CR LF to history.dat in `folder`
/// (created owner-only when missing, never written through a link or into
/// anything but a regular file), in code page 932, reading `clock` once for the
/// detection time. False on any failure, with `error` set when given; a
/// line that could not be written completely is taken back, so the file
/// never ends in half a line.
bool WriteHistory(const std::string& folder, const UpdateRecord& record, const Clock& clock,
                  std::string* error = nullptr);

/// Makes the lines appended to history.dat in `folder` reach the disk
/// (fsync of the file and its folder). False with `error` set on failure.
bool SyncHistory(const std::string& folder, std::string* error = nullptr);

/// The five cells of one history line: texts in UTF-8, the folder and the
/// file name as the bytes of the paths they stand for.
struct HistoryEntry {
    std::string detected;
    std::string subscription;
    std::string folder;
    std::string file;
    std::string fileTime;

    friend bool operator==(const HistoryEntry&, const HistoryEntry&) = default;
};

/// Splits the bytes of a history line (code page 932) at every ","; parts 0
/// to 4 become the five cells, the path fields decoded. Missing parts are
/// empty cells; parts beyond the fifth are dropped.
HistoryEntry ParseHistoryLine(std::string_view line);

/// The lines of a history file as their bytes (code page 932), in file
/// order. A missing file gives no lines and true; false with `error` set
/// when the file exists but cannot be read.
bool ReadHistoryLines(const std::string& path, std::vector<std::string>* lines, std::string* error);

} // namespace tessaly

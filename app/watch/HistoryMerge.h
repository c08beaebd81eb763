// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

namespace tessaly {

/// Moves the lines of the inbox `inboxPath` (history.dat) to the end of the
/// accumulated history `historyPath` (history.hst), byte for byte, and
/// removes the inbox. The new history file replaces the old one only once
/// it is complete, and the inbox is removed only after that, so a failure at
/// any point loses no line. A history file whose last line lacks its line
/// end gets CR LF before the inbox's lines, so two lines never run into one.
/// False with `error` set (when given) on failure.
bool MergeHistory(const std::string& historyPath, const std::string& inboxPath, std::string* error = nullptr);

/// The five cells of one history row, as bytes in code page 932.
using HistoryCells = std::array<std::string_view, 5>;

/// Replaces the history file with `rows` in their order: each row is its five
/// cells, each followed by ",", then CR LF. The old file stays as it was when
/// the new one cannot be written completely. False with `error` set (when
/// given) on failure.
bool RewriteHistory(const std::string& historyPath, std::span<const HistoryCells> rows, std::string* error = nullptr);

/// Deletes the history file. True also when there was none; false with
/// `error` set (when given) when it exists and cannot be deleted.
bool RemoveHistory(const std::string& historyPath, std::string* error = nullptr);

} // namespace tessaly

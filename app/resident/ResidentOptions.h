// SPDX-License-Identifier: MIT
#pragma once

#include "watch/LiveWatch.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

/// What the command line of `tessaly` asks for.
struct ResidentOptions {
    std::optional<std::string> folder; ///< --dir DIR
    bool headless = false;             ///< --headless
    bool help = false;                 ///< --help
    bool version = false;              ///< --version
};

/// Parses the arguments (without the program name). False with `error` set
/// on wrong usage. Arguments Qt takes for itself are not accepted here.
bool ParseResidentOptions(const std::vector<std::string>& args, ResidentOptions* options, std::string* error);

/// The usage text, several lines.
std::string ResidentUsage();

/// The length of the timer's minute: 60000 ms. Test builds take a shorter
/// one from TESSALY_TEST_MINUTE_MS (100 to 60000), so the desktop test does
/// not wait whole minutes.
std::chrono::milliseconds MinuteLength();

/// Test builds run with TESSALY_TEST_TRACE set report `line` on standard
/// error as "tessaly-trace: LINE", so the desktop test can see what opens
/// inside the main window. Does nothing otherwise.
void TestTrace(std::string_view line);

/// True in such a run: a message that would end start-up in a box is only
/// traced, since nobody is there to close the box.
bool TestTracing();

/// The system calls of live watching: the real ones, except in test builds
/// run with TESSALY_TEST_WATCH_LIMIT=N (at most N watches are ever set, as
/// under a low fs.inotify.max_user_watches) or TESSALY_TEST_EVENT_QUEUE=N
/// (events are read late, and whatever is beyond N at a time is lost with
/// an overflow, as with a tiny fs.inotify.max_queued_events).
LiveWatch::System LiveWatchTestSeams();

} // namespace tessaly

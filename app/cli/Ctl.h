// SPDX-License-Identifier: MIT
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tessaly {

/// Exit statuses of the command-line companion.
enum CtlStatus : int {
    kCtlOk = 0,
    kCtlFailed = 1, ///< the operation failed (a file could not be read or written)
    kCtlUsage = 2,  ///< wrong usage; nothing was changed
};

/// Runs one tessalyctl command line (without the program name), printing
/// results to `out` and reasons to `err`, and returns the exit status.
int RunCtl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

/// What every command gets to work with.
struct CtlContext {
    std::string folder; ///< the resolved data folder
    bool json = false;
    std::ostream& out;
    std::ostream& err;
};

int RunSettingsShow(CtlContext& context);
int RunSettingsSet(CtlContext& context, const std::string& key, const std::string& value);
int RunSubsShow(CtlContext& context);
int RunSubsSet(CtlContext& context, const std::string& row, const std::string& field, const std::string& value);
int RunHistory(CtlContext& context);
int RunCheck(CtlContext& context);
int RunBalloon(CtlContext& context, const std::string& title, const std::string& text);

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace tessaly {

class DataFolderLock;

/// Exit statuses of the command-line companion.
enum CtlStatus : int {
    kCtlOk = 0,
    kCtlFailed = 1, ///< the operation failed (a file could not be read or written)
    kCtlUsage = 2,  ///< wrong usage; nothing was changed
};

/// Runs one tessalyctl command line (without the program name), printing
/// results to `out` and reasons to `err`, and returns the exit status.
/// Values asked for on standard input are read from `in` (std::cin when
/// not given).
int RunCtl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, std::istream* in = nullptr);

/// What every command gets to work with.
struct CtlContext {
    std::string folder; ///< the resolved data folder
    bool json = false;
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
};

/// How long a set waits for a check run or another save on the same data
/// folder to finish before it gives up.
inline constexpr double kCtlLockWaitSeconds = 60;

/// Tells why the data folder's lock (`lock`, with its `error`) was not
/// taken and that nothing was `done` ("saved", "dropped"): a folder that
/// is no longer to be trusted in the words the command refuses it with at
/// start, another holder as busy. Gives kCtlFailed.
int LockNotTaken(CtlContext& context, const DataFolderLock& lock, const std::string& error, const char* done);

/// The value word that stands for one line of standard input.
inline constexpr const char* kValueFromInput = "-";

int RunSettingsShow(CtlContext& context);
int RunSettingsSet(CtlContext& context, const std::string& key, const std::string& value);
int RunSubsShow(CtlContext& context);
int RunSubsSet(CtlContext& context, const std::string& row, const std::string& field, const std::string& value);
int RunHistory(CtlContext& context);
int RunCheck(CtlContext& context);
int RunBalloon(CtlContext& context, const std::string& title, const std::string& text);
int RunOutboxShow(CtlContext& context);
int RunOutboxRetry(CtlContext& context);
int RunOutboxDrop(CtlContext& context, const std::string& id);
int RunMailLogin(CtlContext& context, bool browser);
int RunMailLogout(CtlContext& context);

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include "resident/CheckRunner.h"

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <vector>

namespace tessaly {

class Balloon;
class Clock;
class MailTransfer;
class UserMessages;
struct ResidentData;

/// What one program's runs keep from one run to the next (see
/// CheckRunContext); each is touched by one run at a time. Null: every run
/// tells every skipped folder, or an untrusted data folder, anew.
struct RunMemory {
    std::set<std::string>* toldSkippedFolders = nullptr;
    bool* toldUntrustedFolder = nullptr;
};

/// The resident program's check run on a thread of its own. As it starts it
/// takes copies of the settings and the subscriptions, so the windows may
/// go on editing the program's records; it speaks to the user through
/// `balloon` and `messages` on the UI thread; and as it
/// ends it gives the last checks it set to the program's table, leaving
/// every other cell as the windows left it. Every reference must outlive
/// the run; `clock` is read on the run's thread. `mail` is the mail-transfer
/// component, the installed one when null (the program's case); `rows`
/// the rows to check; `cancel`, when given, ends the run early once it
/// turns true; `holdBack` the documents a live check leaves out (see
/// CheckRunContext). Messages never hold up the run (see UiThreadMessages).
CheckRunner::Job MakeBackgroundCheck(ResidentData& data, Balloon& balloon, UserMessages& messages, const Clock& clock,
                                     const RunMemory& memory, MailTransfer* mail = nullptr, RowMask rows = kAllRows,
                                     const std::atomic<bool>* cancel = nullptr, std::vector<uint64_t> holdBack = {});

/// The end of the program's runs: none starts any more, and the one in
/// progress is cancelled (`cancel` turns true, a mail being sent included)
/// and waited for, at most `limit`. One that has not ended by then ends
/// the process with `status`: whatever it recorded is in the history
/// already.
void EndBackgroundRuns(CheckRunner& runner, std::atomic<bool>& cancel, int status,
                       std::chrono::milliseconds limit = std::chrono::seconds(4));

} // namespace tessaly

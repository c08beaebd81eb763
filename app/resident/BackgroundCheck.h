// SPDX-License-Identifier: MIT
#pragma once

#include "resident/CheckRunner.h"

#include <atomic>
#include <set>
#include <string>
#include <vector>

namespace tessaly {

class Balloon;
class Clock;
class MailTransfer;
class UserMessages;
struct ResidentData;

/// The desktop program's check run on a thread of its own. As it starts it
/// takes copies of the settings and the subscriptions, so the windows may
/// go on editing the program's records; it speaks to the user through
/// `balloon` and `messages` on the UI thread; and as it
/// ends it gives the last checks it set to the program's table, leaving
/// every other cell as the windows left it. Every reference must outlive
/// the run; `clock` is read on the run's thread, and `toldSkippedFolders`
/// is touched by one run at a time only. `mail` is the mail-transfer
/// component, the installed one when null (the program's case); `rows`
/// the rows to check; `cancel`, when given, ends the run early once it
/// turns true; `holdBack` the documents a live check leaves out (see
/// CheckRunContext). Messages never hold up the run (see UiThreadMessages).
CheckRunner::Job MakeBackgroundCheck(ResidentData& data, Balloon& balloon, UserMessages& messages, const Clock& clock,
                                     std::set<std::string>& toldSkippedFolders, MailTransfer* mail = nullptr,
                                     RowMask rows = kAllRows, const std::atomic<bool>* cancel = nullptr,
                                     std::vector<uint64_t> holdBack = {});

} // namespace tessaly

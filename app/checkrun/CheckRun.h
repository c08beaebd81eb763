// SPDX-License-Identifier: MIT
#pragma once

#include "watch/FolderWalk.h"
#include "watch/SubscriptionTable.h"

#include <atomic>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

class Balloon;
class Clock;
class MailTransfer;
class UserMessages;
class ZipArchiver;
struct BasicSettings;

/// Everything one check run works with. The run reads the settings, writes
/// LastCheck cells of the table and saves it into `folder`; it speaks to the
/// user, the clock and the two components only through these ports.
struct CheckRunContext {
    std::string folder; ///< the data folder
    const BasicSettings& settings;
    SubscriptionTable& table;
    Balloon& balloon;
    UserMessages& messages;
    const Clock& clock;
    /// The mail-transfer and zip components; without them, the installed
    /// ones, loaded by name on first use and kept for the process's life.
    /// Every caller in the program leaves them out; tests give their own.
    MailTransfer* mail = nullptr;
    ZipArchiver* zip = nullptr;
    /// Eight readers: the same speed as two on a warm cache, and on a cold
    /// one the extra outstanding folder reads keep the disk busy.
    WalkOptions walk{8, true};
    /// Folders whose being skipped was told already. When given, a skipped
    /// folder is told once for as long as the set lives (the desktop keeps
    /// one per program run); without it every run tells every skipped folder.
    std::set<std::string>* toldSkippedFolders = nullptr;
    /// Whether a data folder that others may write (or that is not the
    /// user's own) was told already. When given, each run still stops on
    /// such a folder, but only the first says so, until a run finds the
    /// folder mended; without it every run tells it.
    bool* toldUntrustedFolder = nullptr;
    /// How long the run waits for another check or save on the same data
    /// folder to finish before it gives up with a message.
    double lockWaitSeconds = 60;
    /// The rows to check (a change was seen in their folders); the others
    /// are left as they are.
    RowMask rows = kAllRows;
    /// Inode numbers (sorted) of documents a live check leaves out because
    /// they are still being changed; each is taken by a later run, once it
    /// has settled. Empty for the timed runs, which take every document.
    std::vector<uint64_t> holdBack = {};
    /// Called at each step of a row: "walked" once its walk is over, before
    /// its documents are recorded and attached; "history" once the history
    /// is on the disk, "records" once the rows' records of what they have
    /// seen are too, before the last checks are saved (a test ends the
    /// process there, as a crash would).
    std::function<void(std::string_view step)> atStep = {};
    /// When it turns true (the program is ending), the run ends early
    /// without a word at the next row, wait or mail; what it recorded
    /// stays in the history, and nothing is saved. May be null.
    const std::atomic<bool>* cancel = nullptr;
};

/// The balloon title of a run that found updates.
inline constexpr std::string_view kUpdatedBalloonTitle = "Tessaly! ﾌｧｲﾙが更新されました";

/// One pass over the ten subscriptions: finds the documents created or
/// written since each row's last check, records each in history.dat,
/// announces each row with updates in the balloon and (when mail is on) by
/// the update mail and the password mail, sets LastCheck of every walked row
/// and saves the table.
///
/// The run holds the data folder's lock throughout, which also checks that
/// the folder is still the user's own and closed to others (it stops
/// before anything is read when not), and works on the
/// subscriptions as subscription.dat holds them when it starts (the table in
/// the context only when there is no such file); a file that exists but
/// cannot be read completely ends the run before anything is walked. At the
/// end the history is synced to the disk, and only the LastCheck cells the
/// run changed are written back over the file as it is then. The context's
/// table receives those LastCheck cells too and keeps every other cell (a
/// window's edits that are not saved yet). True when all ten rows were processed and the table
/// was saved; false when the run ended early (after a message that says
/// why; nothing is saved then) or the table could not be saved (reported).
/// Folders and files that cannot be read never end the run: they are left
/// out, and the skipped folders are told in one message at the end of the
/// run; a row whose own folder cannot be read keeps its LastCheck. A
/// document that cannot be attached is listed in the mail and not attached.
/// Runs on the calling thread and blocks while mails are sent.
bool CheckSubscriptions(CheckRunContext& context);

/// Copies the last checks a run changed (from `before` to `after`) into
/// `table`, leaving every other cell as it is: the program's table may hold
/// edits of a window that are not saved yet.
void TakeLastChecks(SubscriptionTable& table, const SubscriptionTable& before, const SubscriptionTable& after);

/// `count` capital letters A-Z from the process-wide random source (A and Z
/// half as often as the others).
std::string RandomLetters(int count);

} // namespace tessaly

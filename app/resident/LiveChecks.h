// SPDX-License-Identifier: MIT
#pragma once

#include "watch/LiveWatch.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tessaly {

class UserMessages;
struct ResidentData;

/// Live watching for the resident program, desktop and headless alike: with
/// `Conf_Instant` on (and watching on), the folders of the rows in use are
/// watched, and a row whose folders have been quiet for `Conf_Settle`
/// seconds after a change that concerns it is checked on its own. The
/// settle time is counted per document: a check leaves out the documents
/// that are still changing, and takes each one once it has been left alone.
/// The timed runs go on as before and stay the authority: whatever a change
/// missed, they find. A row that cannot be watched live (a network file
/// system, the watch limit) is told once per program run; every later change
/// of a row's live state (the watch limit, its folder gone or back, a link
/// pointed elsewhere, lost events) is told in the log with its reason and
/// shows in summary(). A row whose folder is away is looked for every
/// second, and checked as soon as it is back.
///
/// The owner waits on fd() and calls readEvents() when it is readable, and
/// calls runDue() when nextDue() has come. Times are milliseconds of a
/// monotonic clock. Not thread-safe.
class LiveChecks final {
public:
    /// `check` starts a check of the rows it is given, leaving out the
    /// documents whose inode numbers it gets (sorted): they are still
    /// changing. `messages` must outlive the object.
    LiveChecks(UserMessages& messages, std::function<void(RowMask, std::vector<uint64_t>)> check,
               LiveWatch::System system = {});

    /// Where changes of live state are told, one line each; without it,
    /// through `messages`.
    void setLog(std::function<void(const std::string&)> log) { m_log = std::move(log); }
    /// Called whenever summary() may have changed outside apply().
    void setOnChange(std::function<void()> changed) { m_changed = std::move(changed); }

    /// Follows the settings, the table and the watching switch. The watches
    /// are set again only when something that decides them changed: the
    /// switch, `Conf_Instant`, a row's name, keyword, folder, pattern or
    /// subfolder cell. The owner calls it again after every run.
    void apply(const ResidentData& data, bool watching);

    /// The descriptor to wait on; -1 when nothing is watched.
    int fd() const { return m_watch.fd(); }
    /// Takes the pending events seen at `nowMs`.
    void readEvents(int64_t nowMs);
    /// When the next check or look for a folder falls due; nothing when
    /// none waits.
    std::optional<int64_t> nextDue() const;
    /// Starts the checks due at `nowMs`, and looks for folders that are away.
    void runDue(int64_t nowMs);

    /// The names of the rows watched live, then each row in use that is
    /// not with its reason, for the tool tip or the log; "" when live
    /// watching is off.
    std::string summary() const;
    const LiveWatch& watch() const { return m_watch; }

private:
    /// What decides the watches.
    struct Key {
        bool on = false;
        std::string dataFolder;
        std::array<std::array<std::string, 5>, 10> rows;

        friend bool operator==(const Key&, const Key&) = default;
    };

    void tellUnwatchedRows(const ResidentData& data);
    /// Tells every row whose live state is not the one told last.
    void tellChanges();
    void log(const std::string& line);
    /// Checks `rows` now, leaving out the documents still changing.
    void check(RowMask rows, int64_t nowMs);

    UserMessages& m_messages;
    std::function<void(RowMask, std::vector<uint64_t>)> m_check;
    std::function<void(const std::string&)> m_log;
    std::function<void()> m_changed;
    LiveWatch m_watch;
    QuietDocuments m_quiet;
    std::optional<Key> m_key;
    std::array<std::string, 10> m_names;
    std::array<std::string, 10> m_folders;
    /// The live state of each row as told last.
    std::array<LiveRow, 10> m_shown;
    /// When the rows whose folder is away are looked for next.
    std::optional<int64_t> m_nextLook;
    /// What was told already: row name, folder and cause.
    std::set<std::string> m_told;
};

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include "watch/LiveWatch.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>

namespace tessaly {

class UserMessages;
struct ResidentData;

/// Live watching for the resident program, desktop and headless alike: with
/// `Conf_Instant` on (and watching on), the folders of the rows in use are
/// watched, and a row whose folders have been quiet for `Conf_Settle`
/// seconds after a change that concerns it is checked on its own. The
/// timed runs go on as before and stay the authority: whatever a change
/// missed, they find. A row that cannot be watched live (a network file
/// system, the watch limit) is told once per program run.
///
/// The owner waits on fd() and calls readEvents() when it is readable, and
/// calls runDue() when nextDue() has come. Times are milliseconds of a
/// monotonic clock. Not thread-safe.
class LiveChecks final {
public:
    /// `check` starts a check of the rows it is given; both must outlive
    /// the object.
    LiveChecks(UserMessages& messages, std::function<void(RowMask)> check, LiveWatch::System system = {});

    /// Follows the settings, the table and the watching switch. The watches
    /// are set again only when something that decides them changed: the
    /// switch, `Conf_Instant`, a row's name, keyword, folder, pattern or
    /// subfolder cell, or a row's folder that went away is back. The owner
    /// calls it again after every run.
    void apply(const ResidentData& data, bool watching);

    /// The descriptor to wait on; -1 when nothing is watched.
    int fd() const { return m_watch.fd(); }
    /// Takes the pending events seen at `nowMs`.
    void readEvents(int64_t nowMs);
    /// When the next check falls due; nothing when none waits.
    std::optional<int64_t> nextDue() const { return m_quiet.nextDue(); }
    /// Starts the checks due at `nowMs`.
    void runDue(int64_t nowMs);

    /// The names of the rows watched live, for the tool tip or the log;
    /// "" when live watching is off.
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

    /// A row's folder went away while watched and is there again.
    bool lostFolderIsBack(const ResidentData& data) const;
    void tellUnwatchedRows(const ResidentData& data);

    UserMessages& m_messages;
    std::function<void(RowMask)> m_check;
    LiveWatch m_watch;
    QuietRows m_quiet;
    std::optional<Key> m_key;
    std::array<std::string, 10> m_names;
    /// What was told already: row name, folder and cause.
    std::set<std::string> m_told;
};

} // namespace tessaly

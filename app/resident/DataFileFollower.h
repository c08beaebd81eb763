// SPDX-License-Identifier: MIT
#pragma once

#include "settings/BasicSettings.h"
#include "watch/SubscriptionTable.h"

#include <ostream>
#include <sys/types.h>
#include <time.h>

namespace tessaly {

struct ResidentData;

/// Keeps the running program's settings and subscriptions in step with
/// sysconfig.dat and subscription.dat as anyone writes them: a window of
/// the program, tessalyctl, a file copied in. The data folder is watched
/// with inotify (fd() turns readable when something was written there), and
/// refresh() compares each file with the one it last read, so that a write
/// the watch cannot see (another machine on a shared folder) is found too
/// when refresh() is called before a run.
///
/// A file that changed is read again, and only the values that changed in
/// it since it was last read are taken into the program's records: edits of
/// a window that are not saved yet stay. A file that cannot be read
/// completely changes nothing (its cause goes to the log). One thread.
class DataFileFollower final {
public:
    /// What a refresh changed in the program's records.
    struct Changes {
        bool settings = false;
        bool subscriptions = false; ///< more than last checks
        explicit operator bool() const { return settings || subscriptions; }
    };

    /// Takes the records as start-up has just loaded them from the files.
    /// `data` and `log` must outlive the follower.
    DataFileFollower(ResidentData& data, std::ostream& log);
    ~DataFileFollower();

    DataFileFollower(const DataFileFollower&) = delete;
    DataFileFollower& operator=(const DataFileFollower&) = delete;

    /// Readable when the data folder saw a write; -1 without a watch
    /// (refresh() before each run still finds the changes).
    int fd() const { return m_fd; }
    /// Reads what the watch reported and takes in the files that changed.
    Changes refresh();

private:
    /// What tells one version of a file from another.
    struct Stamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        timespec changed{};

        static Stamp Of(const std::string& path);
        bool operator==(const Stamp& other) const;
    };

    bool takeSettings();
    bool takeSubscriptions();

    ResidentData& m_data;
    std::ostream& m_log;
    int m_fd = -1;
    Stamp m_settingsStamp;
    Stamp m_subscriptionsStamp;
    BasicSettings m_settingsRead;          ///< sysconfig.dat as last read
    SubscriptionTable m_subscriptionsRead; ///< subscription.dat as last read
};

} // namespace tessaly

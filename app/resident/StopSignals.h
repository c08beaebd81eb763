// SPDX-License-Identifier: MIT
#pragma once

namespace tessaly {

/// Turns SIGTERM, SIGINT and SIGHUP (unless started with it ignored, as
/// nohup does) into a byte on a pipe, so that the event loop of either
/// mode (through a QSocketNotifier) can end cleanly instead of being
/// killed in the middle of something. Process-wide.
class StopSignals final {
public:
    /// Installs the handlers once; later calls return the same object.
    /// Never fails: without a pipe, the signals keep their default action.
    static StopSignals& Install();

    /// The read end of the pipe; readable once a stop signal arrived, -1
    /// when no pipe could be made.
    int fd() const { return m_readFd; }
    /// True once a stop signal arrived.
    bool stopRequested() const;

private:
    StopSignals();
    int m_readFd = -1;
};

} // namespace tessaly

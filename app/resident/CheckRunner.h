// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

namespace tessaly {

/// The one check run of the program, shared by the minute timer and any
/// window that offers a check on demand. It never starts a second run while
/// one is in progress (a run may wait in a message box, during which timer
/// ticks and user commands are still handled). UI thread only.
class CheckRunner final {
public:
    /// `run` performs one check and tells whether it went through to the
    /// end; an empty function checks nothing.
    explicit CheckRunner(std::function<bool()> run = {});

    /// Runs one check. False when it failed, or did not start because a run
    /// is already in progress.
    bool run();
    /// True while a run is in progress.
    bool running() const { return m_running; }
    /// How many runs were started so far.
    int runs() const { return m_runs; }

private:
    std::function<bool()> m_run;
    bool m_running = false;
    int m_runs = 0;
};

} // namespace tessaly

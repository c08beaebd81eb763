// SPDX-License-Identifier: MIT
#pragma once

#include "watch/SubscriptionTable.h"

#include <QObject>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace tessaly {

/// The one check run of the program, shared by the minute timer and any
/// window that offers a check on demand. It never starts a second run while
/// one is in progress. Whatever would conflict with a run (a save, a second
/// check) is handed to whenIdle() and carried out once the run has ended.
///
/// The runner works in one of two ways. Made with a plain function, a run
/// happens on the calling thread and run() returns when it is over (tests);
/// a message box of the run may handle timer ticks and user commands
/// meanwhile. Made with InBackground(), each run works on
/// a thread of its own while the event loop goes on: the windows stay
/// responsive, and the run's end is reported back on the UI thread.
/// Every member is for the UI thread only.
class CheckRunner final : public QObject {
    Q_OBJECT

public:
    /// One background run: `work` is carried out on the run's thread and
    /// must touch nothing the UI thread uses without carrying the call over
    /// to it; `finish` then gets work's result on the UI thread (it may be
    /// empty). A `work` that throws counts as a failed run.
    struct Job {
        std::function<bool()> work;
        std::function<void(bool)> finish = {};
    };

    /// `run` performs one check on the calling thread and tells whether it
    /// went through to the end; an empty function checks nothing.
    explicit CheckRunner(std::function<bool()> run = {});
    /// The same, for a check of the rows it is given.
    explicit CheckRunner(std::function<bool(RowMask)> run);
    /// A runner whose runs work on a thread of their own; `prepare` is
    /// called on the UI thread as each run starts and gives its job for the
    /// rows to check.
    static std::unique_ptr<CheckRunner> InBackground(std::function<Job(RowMask)> prepare);
    /// Waits for a run in progress to end (see waitUntilIdle()).
    ~CheckRunner() override;

    CheckRunner(const CheckRunner&) = delete;
    CheckRunner& operator=(const CheckRunner&) = delete;

    /// Starts one check of `rows`; `done` gets its result on the UI thread once it is
    /// over. False, with `done` never called, when a run is already in
    /// progress or the runner was closed. On the calling thread the result is the run's own: false
    /// also when it failed.
    bool run(std::function<void(bool)> done = {}, RowMask rows = kAllRows);
    /// Carries `action` out now when no run is in progress, else right after
    /// the run has ended (actions in the order they were handed over; an
    /// action that starts a run holds back the ones after it until that
    /// run has ended too).
    void whenIdle(std::function<void()> action);
    /// Returns once no run is in progress, handling events meanwhile so that
    /// the run's messages and balloons still reach the user; after `limit`
    /// at the latest when one is given. For the end of the program: its run
    /// finishes before the program does. False when a run is still in
    /// progress.
    bool waitUntilIdle(std::optional<std::chrono::milliseconds> limit = std::nullopt);
    /// Starts no run from now on (the program is ending).
    void close() { m_closed = true; }

    /// True while a run is in progress.
    bool running() const { return m_running; }
    /// True when runs work on a thread of their own.
    bool inBackground() const { return static_cast<bool>(m_prepare); }
    /// How many runs were started so far.
    int runs() const { return m_runs; }

signals:
    /// A run started (true) or ended (false).
    void runningChanged(bool running);

private:
    void finished(bool result, const std::function<void(bool)>& finish, const std::function<void(bool)>& done);
    void runIdleActions();

    std::function<bool(RowMask)> m_run;
    std::function<Job(RowMask)> m_prepare;
    std::thread m_worker;
    std::deque<std::function<void()>> m_idleActions;
    bool m_running = false;
    bool m_closed = false;
    bool m_runningIdleActions = false;
    int m_runs = 0;
};

} // namespace tessaly

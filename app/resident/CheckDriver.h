// SPDX-License-Identifier: MIT
#pragma once

#include "resident/LiveChecks.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace tessaly {

class CheckRunner;

/// What starts the resident program's check runs, on the desktop and
/// headless alike, in the event loop of either.
///
/// The minute timer ticks while an interval is set (see ReadCheckedSettings)
/// and watching is on. Each tick adds one to the minute count; when the
/// count reaches `Conf_Interval` (read at every tick, so a change counts
/// from the next one, and a count past a lowered interval counts as
/// reached) and no run is in progress, a run of every row starts, and the
/// count starts again from 0 once it has ended.
///
/// Live watching (see LiveChecks): the watch descriptor is read as events
/// arrive, and a row falls due by a timer. A due check waits for a run in
/// progress, and rows that fall due meanwhile join it, so a burst gives one
/// check. UI thread only.
class CheckDriver final : public QObject {
    Q_OBJECT

public:
    /// Every reference must outlive the driver. `minute` is the timer's
    /// interval (one minute but in tests); `watching` tells the watching
    /// switch; `summaryChanged` gets the rows watched live.
    CheckDriver(ResidentData& data, UserMessages& messages, CheckRunner& runner, std::chrono::milliseconds minute,
                std::function<bool()> watching, std::function<void(const std::string&)> summaryChanged,
                QObject* parent = nullptr);
    ~CheckDriver() override;

    /// Follows the settings, the table and the switch: the timer runs or
    /// stops (the minute count goes on), and the watches follow.
    void apply();
    /// One tick of the minute timer.
    void tick();
    /// Sets the minute count to 0.
    void resetCount() { m_minuteCount = 0; }
    /// Ticks, watches and checks nothing any more (the program ends).
    void stop();

    bool timerRunning() const { return m_timer.isActive(); }
    /// The timer's interval in milliseconds while it runs, else 0.
    int timerInterval() const { return m_timer.isActive() ? m_timer.interval() : 0; }
    /// Ticks since the last timed run (or start-up).
    int minuteCount() const { return m_minuteCount; }
    const LiveChecks& live() const { return m_checks; }
    /// While the runner prepares a live check: the inode numbers of the
    /// documents it leaves out, still changing (sorted); else empty.
    const std::vector<uint64_t>& holdBack() const { return m_holdBack; }

private:
    void check(RowMask rows, std::vector<uint64_t> holdBack);
    void armTimer();
    void followSummary();

    ResidentData& m_data;
    CheckRunner& m_runner;
    std::chrono::milliseconds m_minute;
    std::function<bool()> m_watching;
    std::function<void(const std::string&)> m_summaryChanged;
    QTimer m_timer;
    int m_minuteCount = 0;
    LiveChecks m_checks;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_due;
    QElapsedTimer m_clock;
    std::string m_summary;
    RowMask m_pending = 0;
    std::vector<uint64_t> m_pendingHoldBack;
    std::vector<uint64_t> m_holdBack;
    bool m_queued = false;
    bool m_stopped = false;
};

} // namespace tessaly

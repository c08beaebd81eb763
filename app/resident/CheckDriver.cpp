// SPDX-License-Identifier: MIT
#include "resident/CheckDriver.h"

#include "resident/CheckRunner.h"
#include "resident/ResidentData.h"
#include "resident/ResidentOptions.h"
#include "settings/CheckedSettings.h"

#include <QPointer>
#include <QSocketNotifier>

#include <algorithm>
#include <iostream>
#include <iterator>
#include <utility>

namespace tessaly {

CheckDriver::CheckDriver(ResidentData& data, UserMessages& messages, CheckRunner& runner,
                         std::chrono::milliseconds minute, std::function<bool()> watching,
                         std::function<void(const std::string&)> summaryChanged, QObject* parent)
    : QObject(parent), m_data(data), m_runner(runner), m_minute(minute), m_watching(std::move(watching)),
      m_summaryChanged(std::move(summaryChanged)),
      m_checks(
          messages, [this](RowMask rows, std::vector<uint64_t> holdBack) { check(rows, std::move(holdBack)); },
          LiveWatchTestSeams())
{
    m_clock.start();
    connect(&m_timer, &QTimer::timeout, this, &CheckDriver::tick);
    // Changes of live state go to the log; the summary follows them.
    m_checks.setLog([](const std::string& line) { std::cerr << "tessaly: " << line << std::endl; });
    m_checks.setOnChange([this] { followSummary(); });
    m_due.setSingleShot(true);
    connect(&m_due, &QTimer::timeout, this, [this] {
        m_checks.runDue(m_clock.elapsed());
        armTimer();
    });
    // The table a run leaves may watch other folders; most runs change
    // nothing that decides the watches, and then nothing is done.
    connect(&m_runner, &CheckRunner::runningChanged, this, [this](bool running) {
        if (!running)
            apply();
    });
}

CheckDriver::~CheckDriver() = default;

void CheckDriver::apply()
{
    const bool watching = !m_stopped && m_watching && m_watching();
    // A timer that was running goes on with its minute; one armed anew
    // counts from now.
    if (!watching || !ReadCheckedSettings(m_data.settings).intervalMinutes)
        m_timer.stop();
    else if (!m_timer.isActive())
        m_timer.start(m_minute);
    m_checks.apply(m_data, watching);
    const int fd = m_checks.fd();
    if (!m_notifier || m_notifier->socket() != fd) {
        m_notifier.reset();
        if (fd >= 0) {
            m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
                m_checks.readEvents(m_clock.elapsed());
                armTimer();
            });
        }
    }
    armTimer();
    followSummary();
}

void CheckDriver::tick()
{
    ++m_minuteCount;
    const std::optional<int> interval = ReadCheckedSettings(m_data.settings).intervalMinutes;
    if (m_stopped || !interval || m_minuteCount < *interval)
        return;
    // Ticks while a run is in progress only raise the count; it starts
    // again from 0 once the run has ended.
    m_runner.run([self = QPointer<CheckDriver>(this)](bool) {
        if (self)
            self->m_minuteCount = 0;
    });
}

void CheckDriver::followSummary()
{
    const std::string summary = m_checks.summary();
    if (summary != m_summary) {
        m_summary = summary;
        if (m_summaryChanged)
            m_summaryChanged(summary);
    }
}

void CheckDriver::stop()
{
    m_stopped = true;
    m_pending = 0;
    apply();
}

void CheckDriver::armTimer()
{
    const std::optional<int64_t> due = m_checks.nextDue();
    if (!due) {
        m_due.stop();
        return;
    }
    m_due.start(static_cast<int>(std::max<int64_t>(0, *due - m_clock.elapsed())));
}

void CheckDriver::check(RowMask rows, std::vector<uint64_t> holdBack)
{
    m_pending |= rows;
    // Rows that join a waiting check bring theirs; what settles meanwhile
    // is found by its own check.
    std::vector<uint64_t> merged;
    std::set_union(m_pendingHoldBack.begin(), m_pendingHoldBack.end(), holdBack.begin(), holdBack.end(),
                   std::back_inserter(merged));
    m_pendingHoldBack = std::move(merged);
    if (m_queued)
        return;
    m_queued = true;
    m_runner.whenIdle([self = QPointer<CheckDriver>(this)] {
        if (!self)
            return;
        self->m_queued = false;
        const RowMask due = std::exchange(self->m_pending, 0);
        self->m_holdBack = std::exchange(self->m_pendingHoldBack, {});
        if (due != 0 && !self->m_stopped)
            self->m_runner.run({}, due);
        self->m_holdBack.clear();
    });
}

} // namespace tessaly

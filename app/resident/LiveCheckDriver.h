// SPDX-License-Identifier: MIT
#pragma once

#include "resident/LiveChecks.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace tessaly {

class CheckRunner;

/// Live watching in the desktop program's event loop: the watch descriptor
/// is read as events arrive, and a row falls due by a timer. A due check
/// waits for a run in progress, and rows that fall due meanwhile join it,
/// so a burst gives one check. UI thread only.
class LiveCheckDriver final : public QObject {
    Q_OBJECT

public:
    /// Every reference must outlive the driver. `watching` tells the
    /// watching switch; `summaryChanged` gets the rows watched live.
    LiveCheckDriver(ResidentData& data, UserMessages& messages, CheckRunner& runner, std::function<bool()> watching,
                    std::function<void(const std::string&)> summaryChanged, QObject* parent = nullptr);
    ~LiveCheckDriver() override;

    /// Follows the settings, the table and the switch (see LiveChecks).
    void apply();
    /// Watches nothing and starts no check any more (the program ends).
    void stop();
    const LiveChecks& checks() const { return m_checks; }
    /// While the runner prepares a live check: the inode numbers of the
    /// documents it leaves out, still changing (sorted); else empty.
    const std::vector<uint64_t>& holdBack() const { return m_holdBack; }

private:
    void check(RowMask rows, std::vector<uint64_t> holdBack);
    void armTimer();
    void followSummary();

    ResidentData& m_data;
    CheckRunner& m_runner;
    std::function<bool()> m_watching;
    std::function<void(const std::string&)> m_summaryChanged;
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

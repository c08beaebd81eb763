// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>

namespace tessaly {

class CheckRunner;
struct BasicSettings;

/// Counts the ticks of the one-minute timer and starts the check run when
/// `Conf_Interval` minutes have passed since the last automatic run. The
/// interval is read from the settings at every tick, so a change made in
/// memory counts from the next tick on; an interval that cannot work (see
/// ReadCheckedSettings) starts no check. A count past the interval (it was
/// lowered meanwhile) counts as reached. UI thread only.
class MinuteTrigger final {
public:
    /// Both must outlive the trigger.
    MinuteTrigger(const BasicSettings& settings, CheckRunner& runner);

    /// One timer tick: adds one to the minute count; when the interval is
    /// reached and no run is in progress, starts the check and, once it has
    /// ended, sets the count to 0.
    void tick();
    /// Sets the minute count to 0.
    void reset() { m_minuteCount = 0; }
    /// Ticks since the last automatic run (or start-up).
    int minuteCount() const { return m_minuteCount; }

private:
    const BasicSettings& m_settings;
    CheckRunner& m_runner;
    int m_minuteCount = 0;
};

} // namespace tessaly

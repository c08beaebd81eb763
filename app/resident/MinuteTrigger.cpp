// SPDX-License-Identifier: MIT
#include "resident/MinuteTrigger.h"

#include "resident/CheckRunner.h"
#include "settings/CheckedSettings.h"

namespace tessaly {

MinuteTrigger::MinuteTrigger(const BasicSettings& settings, CheckRunner& runner)
    : m_settings(settings), m_runner(runner)
{
}

void MinuteTrigger::tick()
{
    ++m_minuteCount;
    const std::optional<int> interval = ReadCheckedSettings(m_settings).intervalMinutes;
    if (!interval || m_minuteCount < *interval)
        return;
    // Ticks while a run is in progress only raise the count; it starts
    // again from 0 once the run has ended.
    m_runner.run([this](bool) { m_minuteCount = 0; });
}

} // namespace tessaly

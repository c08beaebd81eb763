// SPDX-License-Identifier: MIT
#include "resident/HeadlessLoop.h"

#include "resident/MinuteTicks.h"
#include "resident/ResidentData.h"
#include "settings/CheckedSettings.h"

#include <algorithm>

namespace tessaly {

HeadlessLoop::HeadlessLoop(ResidentData& data, UserMessages& messages, CheckRunner& runner, MinuteTicks& ticks,
                           std::ostream& log)
    : m_data(data), m_messages(messages), m_ticks(ticks), m_log(log), m_trigger(data.settings, runner)
{
}

void HeadlessLoop::load()
{
    LoadResidentSettings(m_data, m_log);
    LoadResidentSubscriptions(m_data, m_messages);
    m_armed = ReadCheckedSettings(m_data.settings).intervalMinutes.has_value();
    m_trigger.reset();
}

void HeadlessLoop::run()
{
    m_log << "tessaly: running headless on " << m_data.folder;
    if (m_armed)
        m_log << " (Conf_Interval " << m_data.settings.Conf_Interval << ")" << std::endl;
    else
        m_log << "; no check interval is set, so nothing is checked until one is" << std::endl;
    const SubscriptionTable& table = m_data.subscriptions;
    if (std::none_of(table.begin(), table.end(), [](const Subscription& row) { return row.inUse(); }))
        m_log << "tessaly: nothing is subscribed yet; add a subscription with: tessalyctl --dir " << m_data.folder
              << " subs set 1 Name NAME, then: tessalyctl --dir " << m_data.folder << " subs set 1 Folder FOLDER"
              << std::endl;
    while (m_ticks.nextTick()) {
        if (m_armed)
            m_trigger.tick();
    }
    m_log << "tessaly: stopped" << std::endl;
}

void HeadlessLoop::applySettings()
{
    const bool armed = ReadCheckedSettings(m_data.settings).intervalMinutes.has_value();
    if (armed)
        m_log << "tessaly: settings taken in (Conf_Interval " << m_data.settings.Conf_Interval << ")" << std::endl;
    else
        m_log << "tessaly: settings taken in; no check interval is set, so nothing is checked until one is"
              << std::endl;
    m_armed = armed;
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "resident/HeadlessLoop.h"

#include "resident/MinuteTicks.h"
#include "resident/ResidentData.h"

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
    m_armed = !m_data.settings.Conf_Interval.empty();
    m_trigger.reset();
}

void HeadlessLoop::run()
{
    if (m_armed) {
        m_log << "tessaly: running headless on " << m_data.folder << " (Conf_Interval " << m_data.settings.Conf_Interval
              << ")" << std::endl;
        while (m_ticks.nextTick())
            m_trigger.tick();
    } else {
        m_log << "tessaly: running headless on " << m_data.folder
              << "; no check interval is set, so nothing is checked until the program is started again" << std::endl;
        m_ticks.waitForStop();
    }
    m_log << "tessaly: stopped" << std::endl;
}

} // namespace tessaly

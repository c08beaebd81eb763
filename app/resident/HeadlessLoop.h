// SPDX-License-Identifier: MIT
#pragma once

#include "resident/MinuteTrigger.h"

#include <ostream>

namespace tessaly {

class CheckRunner;
class MinuteTicks;
class UserMessages;
struct ResidentData;

/// The resident program without a desktop: the same start-up (settings,
/// subscriptions, the minute count running only while `Conf_Interval` is
/// not empty) and the same minute count as the tray, with no icon, menu or
/// window. Single thread.
class HeadlessLoop final {
public:
    /// Everything must outlive the loop. `log` receives one line about the
    /// start and one about the end.
    HeadlessLoop(ResidentData& data, UserMessages& messages, CheckRunner& runner, MinuteTicks& ticks,
                 std::ostream& log);

    /// Start-up: reset and load the settings, load the subscriptions, decide
    /// whether the timer runs, set the minute count to 0. No check runs here.
    void load();
    /// Runs until the ticks say stop; while the timer is not armed the
    /// ticks count nothing.
    void run();
    /// The settings changed: the timer follows the interval (a new one
    /// counts from the next minute), and the log says so.
    void applySettings();

    /// True while the timer counts minutes.
    bool timerArmed() const { return m_armed; }
    const MinuteTrigger& trigger() const { return m_trigger; }

private:
    ResidentData& m_data;
    UserMessages& m_messages;
    MinuteTicks& m_ticks;
    std::ostream& m_log;
    MinuteTrigger m_trigger;
    bool m_armed = false;
};

} // namespace tessaly

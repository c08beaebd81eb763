// SPDX-License-Identifier: MIT
#include "resident/CheckRunner.h"

namespace tessaly {

CheckRunner::CheckRunner(std::function<bool()> run) : m_run(std::move(run)) {}

bool CheckRunner::run()
{
    if (m_running)
        return false;
    m_running = true;
    ++m_runs;
    // The flag must drop even when the run throws, or no check would ever
    // start again.
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_running};
    return m_run ? m_run() : true;
}

} // namespace tessaly

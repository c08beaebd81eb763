// SPDX-License-Identifier: MIT
#include "resident/CheckRunner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <exception>
#include <iostream>

namespace tessaly {

CheckRunner::CheckRunner(std::function<bool()> run)
{
    if (run)
        m_run = [run = std::move(run)](RowMask) { return run(); };
}

CheckRunner::CheckRunner(std::function<bool(RowMask)> run) : m_run(std::move(run)) {}

std::unique_ptr<CheckRunner> CheckRunner::InBackground(std::function<Job(RowMask)> prepare)
{
    auto runner = std::make_unique<CheckRunner>();
    runner->m_prepare = std::move(prepare);
    return runner;
}

CheckRunner::~CheckRunner()
{
    waitUntilIdle();
    if (m_worker.joinable())
        m_worker.join();
}

bool CheckRunner::run(std::function<void(bool)> done, RowMask rows)
{
    if (m_running || m_closed)
        return false;
    m_running = true;
    ++m_runs;
    emit runningChanged(true);

    if (!m_prepare) {
        bool result = true;
        try {
            if (m_run)
                result = m_run(rows);
        } catch (...) {
            // The flag must drop even when the run throws, or no check
            // would ever start again.
            m_running = false;
            emit runningChanged(false);
            throw;
        }
        finished(result, {}, done);
        return result;
    }

    Job job = m_prepare(rows);
    if (m_worker.joinable())
        m_worker.join(); // the previous run's thread, which has ended
    m_worker = std::thread(
        [this, work = std::move(job.work), finish = std::move(job.finish), done = std::move(done)]() mutable {
            bool result = false;
            try {
                result = work ? work() : true;
            } catch (const std::exception& error) {
                std::cerr << "tessaly: the check run failed: " << error.what() << std::endl;
            } catch (...) {
                std::cerr << "tessaly: the check run failed" << std::endl;
            }
            // The end is reported through the UI thread's event loop, which
            // the runner's destructor keeps going until it has arrived.
            QMetaObject::invokeMethod(
                this,
                [this, result, finish = std::move(finish), done = std::move(done)] { finished(result, finish, done); },
                Qt::QueuedConnection);
        });
    return true;
}

void CheckRunner::finished(bool result, const std::function<void(bool)>& finish, const std::function<void(bool)>& done)
{
    if (m_worker.joinable())
        m_worker.join();
    if (finish)
        finish(result);
    m_running = false;
    emit runningChanged(false);
    if (done)
        done(result);
    runIdleActions();
}

void CheckRunner::whenIdle(std::function<void()> action)
{
    m_idleActions.push_back(std::move(action));
    runIdleActions();
}

void CheckRunner::runIdleActions()
{
    // An action may wait in a message box, during which a run can start and
    // end; the outer call goes on with the rest once the box is closed.
    if (m_runningIdleActions)
        return;
    m_runningIdleActions = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_runningIdleActions};
    while (!m_running && !m_idleActions.empty()) {
        std::function<void()> action = std::move(m_idleActions.front());
        m_idleActions.pop_front();
        if (action)
            action();
    }
}

bool CheckRunner::waitUntilIdle(std::optional<std::chrono::milliseconds> limit)
{
    // A run on the calling thread is further up this very stack: there is
    // nothing to wait for.
    if (!m_prepare || !m_running)
        return true;
    QEventLoop loop;
    QTimer bound;
    bound.setSingleShot(true);
    connect(this, &CheckRunner::runningChanged, &loop, [&loop](bool running) {
        if (!running)
            loop.quit();
    });
    connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (limit)
        bound.start(*limit);
    loop.exec();
    return !m_running;
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "windows/CheckWait.h"

#include "resident/CheckRunner.h"

#include <QAbstractButton>
#include <QVariant>
#include <QWidget>

#include <memory>

namespace tessaly {

namespace {

/// How many waits a widget takes part in, and whether a button was on
/// before the first.
constexpr char kBusyCount[] = "tessalyBusyCount";
constexpr char kWasEnabled[] = "tessalyBusyWasEnabled";

/// Adds `step` to the widget's wait count; the new count.
int CountBusy(QWidget* widget, int step)
{
    const int count = widget->property(kBusyCount).toInt() + step;
    widget->setProperty(kBusyCount, count);
    return count;
}

} // namespace

BusyWindow::BusyWindow(QWidget* window, std::initializer_list<QAbstractButton*> buttons) : m_window(window)
{
    // Waits may overlap (a save behind a check, a check behind both): the
    // window is busy and the buttons are off until the last one ends.
    if (m_window && CountBusy(m_window, 1) == 1)
        m_window->setCursor(Qt::BusyCursor);
    for (QAbstractButton* button : buttons) {
        if (!button)
            continue;
        if (CountBusy(button, 1) == 1) {
            button->setProperty(kWasEnabled, button->isEnabled());
            button->setEnabled(false);
        }
        m_buttons.emplace_back(button);
    }
}

BusyWindow::~BusyWindow()
{
    if (m_window && CountBusy(m_window, -1) == 0)
        m_window->unsetCursor();
    for (const QPointer<QAbstractButton>& button : m_buttons) {
        // A button that was off already stays off afterwards.
        if (button && CountBusy(button, -1) == 0)
            button->setEnabled(button->property(kWasEnabled).toBool());
    }
}

void WhenNoCheckRuns(CheckRunner& runner, QWidget* window, std::initializer_list<QAbstractButton*> buttons,
                     std::function<void()> action)
{
    if (!runner.running()) {
        action();
        return;
    }
    auto busy = std::make_shared<BusyWindow>(window, buttons);
    runner.whenIdle([alive = QPointer<QWidget>(window), busy, action = std::move(action)]() mutable {
        busy.reset();
        if (alive)
            action();
    });
}

} // namespace tessaly

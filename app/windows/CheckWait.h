// SPDX-License-Identifier: MIT
#pragma once

#include <QPointer>

#include <functional>
#include <initializer_list>
#include <vector>

class QAbstractButton;
class QWidget;

namespace tessaly {

class CheckRunner;

/// A window that waits: the busy cursor over it and its `buttons`
/// disabled for as long as the object lives, so the user sees the wait
/// and cannot ask twice. Either may be gone before the object is.
class BusyWindow final {
public:
    BusyWindow(QWidget* window, std::initializer_list<QAbstractButton*> buttons);
    ~BusyWindow();

    BusyWindow(const BusyWindow&) = delete;
    BusyWindow& operator=(const BusyWindow&) = delete;

private:
    QPointer<QWidget> m_window;
    std::vector<QPointer<QAbstractButton>> m_buttons;
};

/// Carries out `action`, which must not run while a check does (it saves
/// over the files a run writes, or starts a run of its own): at once when
/// no run is in progress, else once it has ended, with `window` busy
/// meanwhile. Nothing happens when the window is gone by then.
void WhenNoCheckRuns(CheckRunner& runner, QWidget* window, std::initializer_list<QAbstractButton*> buttons,
                     std::function<void()> action);

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include "resident/ChildWindow.h"

#include <QMainWindow>

#include <functional>

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QTimer;

namespace tessaly {

class ChildWindowFactory;
class Clock;

/// The main window: an MDI frame with the menus ﾌｧｲﾙ, ﾘｽﾄ, 設定 and ﾍﾙﾌﾟ and a
/// status bar whose first panel shows the time. The history list, the
/// settings dialog, the subscription editor and the about box open inside
/// it, one at a time: every command first closes the open child. The frame
/// grows for a child larger than its area where the screen allows, and the
/// area scrolls to what still does not fit, following the keyboard focus.
/// 閉じる and Tessalyを終了する close the child first and stop when it
/// refuses (unsaved edits kept). Closing the frame leaves the program
/// running; it deletes itself, and with it the child, when closed, so the
/// program's end (which closes every window) never waits on a question.
/// The menu actions carry the names MnuClose, MnuEnd, MnuList, MnuCheck,
/// MnuBasic and MnuAbout. UI thread only.
class FormMain final : public QMainWindow {
    Q_OBJECT

public:
    /// `windows` and `clock` must outlive the frame; `endProgram` ends the
    /// whole program.
    FormMain(ChildWindowFactory& windows, const Clock& clock, std::function<void()> endProgram,
             QWidget* parent = nullptr);
    ~FormMain() override;

    /// Closes the open child, then loads and shows a new window of kind
    /// `kind`. Gives the new child, or nullptr when the open child refused
    /// to close.
    QMdiSubWindow* showChild(ChildWindow kind);
    /// Shows the frame, restored when it was minimised, on top and active.
    void bringToFront();
    /// The open child windows (never more than one).
    QList<QMdiSubWindow*> childWindows() const;
    /// Closes the open child, if any. False when it refused to close.
    bool closeActiveChild();

    /// The text of the status bar's time panel.
    QString timeText() const;
    /// Sets the time panel from the clock (done every second while open).
    void refreshTime();
    /// Scrolls the area the least that brings `control`, inside a child,
    /// wholly into view (its start when it is larger than the area).
    void scrollToControl(const QWidget* control);

private:
    void buildMenus();
    void buildStatusBar();
    /// Makes a shown frame large enough for `child`, as far as its screen allows.
    void growToFit(const QMdiSubWindow* child);
    /// Gives the focus to the first control of a new child that has not
    /// taken it itself, as a dialog does.
    void focusFirstControl(QWidget* window);
    void mnuClose();
    void mnuEnd();

    ChildWindowFactory& m_windows;
    const Clock& m_clock;
    std::function<void()> m_endProgram;
    QMdiArea* m_mdiArea;
    QLabel* m_timePanel = nullptr;
    QTimer* m_clockTimer;
};

} // namespace tessaly

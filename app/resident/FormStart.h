// SPDX-License-Identifier: MIT
#pragma once

#include "resident/CheckDriver.h"
#include "traycontrol/Com.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class QAction;
class QMenu;

namespace lumitray {
class Picture;
}

namespace tessaly {

class CheckRunner;
class ChildWindowFactory;
class Clock;
class FormMain;
class InputBox;
class TrayControl;
class UserMessages;
struct ResidentData;

/// The message that ends a failed start-up.
inline constexpr std::string_view kStartupFailureMessage = "システムファイルが正しくありません。(3)";

/// The resident part of the program, which is never shown: it sets up the
/// tray icon control at start-up, owns what starts the check runs (the
/// minute timer and live watching), the watching switch with its tool tip,
/// the tray menu
/// (購読, 開く, 終了する) and the handlers of the control's events. It opens
/// the main window on demand. UI thread only.
class FormStart final : public QObject {
    Q_OBJECT

public:
    /// The program's parts the resident window works with; all must outlive it.
    struct Parts {
        TrayControl& control;
        ResidentData& data;
        UserMessages& messages;
        InputBox& input;
        CheckRunner& checkRunner;
        ChildWindowFactory& windows;
        const Clock& clock;
    };

    /// `minute` is the timer's interval once armed (one minute but in tests).
    FormStart(const Parts& parts, std::chrono::milliseconds minute, QObject* parent = nullptr);
    ~FormStart() override;

    /// Start-up: settings, tray icon, watching on, subscriptions, timer,
    /// minute count, live watching. On a failure it shows kStartupFailureMessage and gives
    /// false; the caller then ends the program.
    bool load();
    /// Sets what ends the program (the tray's 終了する, the frame's exit).
    void setEndProgram(std::function<void()> endProgram) { m_endProgram = std::move(endProgram); }

    /// An event of the tray control (identifier and Button argument).
    void controlEvent(lumitray::DispId event, std::int16_t button);
    /// What 開く and a double click on the icon do: the main window, after
    /// the password prompt when one is set.
    void openMainWindow();
    /// The settings changed (saved by a window, or written by anyone else):
    /// balloons, the timer and live watching follow them at once.
    void applySettings();
    /// The subscriptions changed: the tool tip and live watching follow them.
    void applySubscriptions();
    /// Sets the hidden balloon fields: `text1` the balloon text, `text2` its
    /// title. When either changed, the balloon shows them.
    void setFeedTexts(const QString& text1, const QString& text2);
    /// Sets the tool tip for the watching state.
    void setLumitrayToolTip();
    /// A second line of the tool tip (the rows watched live); "" for none.
    void setToolTipDetail(const QString& detail);
    /// A check run started (true) or ended: the tool tip and the icon show it.
    void setChecking(bool checking);
    /// How many mails wait in the outbox: the tool tip says so.
    void setWaitingMails(size_t count);

    QMenu* menu0() const { return m_menu0.get(); }
    QAction* menuCheck() const { return m_menuCheck; }
    QAction* menuOpen() const { return m_menuOpen; }
    QAction* menuEnd() const { return m_menuEnd; }
    /// True while watching is on (the check mark of 購読).
    bool watching() const;
    /// The minute timer and live watching.
    CheckDriver& checks() { return m_checks; }
    /// The main window while it is open, else nullptr.
    FormMain* mainWindow() const;

private:
    bool setUpControl();
    void putIcon();
    void mouseDown(std::int16_t button);
    void balloonClick();
    void menuCheckClick();
    void menuEndClick();
    bool passwordAccepted();
    FormMain* showMainWindow();

    Parts m_parts;
    CheckDriver m_checks;
    std::unique_ptr<QMenu> m_menu0;
    QAction* m_menuCheck = nullptr;
    QAction* m_menuOpen = nullptr;
    QAction* m_menuEnd = nullptr;
    QString m_text1 = QStringLiteral("Text1");
    QString m_text2 = QStringLiteral("Text2");
    QString m_toolTipDetail;
    QString m_toolTip; ///< the tool tip last assigned
    /// No row of the table is in use (known once start-up has read it).
    bool m_noSubscription = false;
    bool m_checking = false;
    size_t m_waitingMails = 0;
    /// The icon as loaded, and the same with the mark of a check in progress.
    std::shared_ptr<lumitray::Picture> m_icon;
    std::shared_ptr<lumitray::Picture> m_checkingIcon;
    QPointer<FormMain> m_main;
    std::function<void()> m_endProgram;
    /// A question or password prompt on the way to the main window is open.
    bool m_askingOpen = false;
    /// The end question is open.
    bool m_askingEnd = false;
};

} // namespace tessaly

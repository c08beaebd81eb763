// SPDX-License-Identifier: MIT
#pragma once
// Test doubles for the resident program: a notification area that keeps
// the requests it is sent, message boxes and an input box that the test
// answers.

#include "common/UserMessages.h"
#include "resident/InputBox.h"
#include "traycontrol/NotificationArea.h"

#include <QImage>
#include <QStringList>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace tessaly::test {

/// One request the control sent to the notification area, with the image
/// its icon handle held at the time.
struct ShellCall {
    std::uint32_t operation;
    lumitray::TrayIconRequest data;
    QImage image;
};

/// Installs, for its lifetime, a notification area that keeps every request
/// and writes "icon added" and "icon removed" into the shared log. Requests
/// and menus go on to `desktop` when one is set.
class ShellRecorder final {
public:
    explicit ShellRecorder(QStringList& log);
    ~ShellRecorder();
    std::vector<ShellCall> calls;
    std::unique_ptr<lumitray::NotificationArea> desktop;

private:
    std::unique_ptr<lumitray::NotificationArea> m_previous;
};

/// Message boxes answered by the test: each message and question goes into
/// the shared log ("message: ...", "question: ..."); questions take the next
/// answer (Yes when none is left).
class LoggingMessages final : public UserMessages {
public:
    explicit LoggingMessages(QStringList& log) : m_log(log) {}
    void ShowMessage(std::string_view text) override;
    bool AskYesNo(std::string_view question) override;

    std::deque<bool> answers;

private:
    QStringList& m_log;
};

/// An input box that logs its prompt and title and types the next answer
/// (cancels when none is left).
class ScriptedInputBox final : public InputBox {
public:
    explicit ScriptedInputBox(QStringList& log) : m_log(log) {}
    std::optional<QString> ask(const QString& prompt, const QString& title) override;

    std::deque<QString> answers;

private:
    QStringList& m_log;
};

} // namespace tessaly::test

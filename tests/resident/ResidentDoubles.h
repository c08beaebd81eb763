// SPDX-License-Identifier: MIT
#pragma once
// Test doubles for the resident program: a recorder in front of the real
// tray control, a notification area that keeps the requests it is sent,
// message boxes and an input box that the test answers.

#include "common/UserMessages.h"
#include "resident/InputBox.h"
#include "resident/TrayControl.h"
#include "traycontrol/NotificationArea.h"
#include "traycontrol/TypeInfo.h"

#include <QStringList>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace tessaly::test {

/// One request the control sent to the notification area.
struct ShellCall {
    std::uint32_t operation;
    lumitray::TrayIconRequest data;
};

/// Installs, for its lifetime, a notification area that keeps every request.
class ShellRecorder final {
public:
    ShellRecorder();
    ~ShellRecorder();
    std::vector<ShellCall> calls;

private:
    std::unique_ptr<lumitray::NotificationArea> m_previous;
};

/// Writes every call into a shared log ("put Balloon True", "putref Icon
/// picture", "call Show", "get BalloonText") and passes it on to the real
/// control; `failing` makes calls of one member fail instead.
class RecordingControl final : public TrayControl {
public:
    RecordingControl(TrayControl& real, QStringList& log) : m_real(real), m_log(log) {}

    lumitray::HResult invoke(lumitray::DispId id, lumitray::DispatchKind kind, std::span<lumitray::Variant> arguments,
                             lumitray::Variant* result) override;

    std::optional<lumitray::DispId> failing;

private:
    TrayControl& m_real;
    QStringList& m_log;
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

// SPDX-License-Identifier: MIT
#pragma once

#include "common/Balloon.h"
#include "common/UserMessages.h"

namespace tessaly {

/// The balloon for a check run on a thread of its own: every call is
/// carried out by `target` on the UI thread, and the run waits for it.
/// Called on the UI thread itself, it calls `target` directly.
class UiThreadBalloon final : public Balloon {
public:
    /// `target` must outlive the balloon; a QCoreApplication must exist.
    explicit UiThreadBalloon(Balloon& target) : m_target(target) {}

    std::string BalloonText() const override;
    void SetBalloonText(std::string_view text) override;
    void SetBalloonTitle(std::string_view title) override;

private:
    Balloon& m_target;
};

/// The message channel for a check run on a thread of its own: each
/// message is handed to `target` on the UI thread, and the run goes on at
/// once, so that no message ever holds up the run, the timer's next one, or
/// the end of the program. Questions are answered No without asking.
class UiThreadMessages final : public UserMessages {
public:
    /// `target` must outlive the channel; a QCoreApplication must exist.
    explicit UiThreadMessages(UserMessages& target) : m_target(target) {}

    void ShowMessage(std::string_view text) override;
    bool AskYesNo(std::string_view question) override;
    void TellSignInNeeded(std::string_view text) override;

private:
    /// Hands `text` to `tell` of the target on the UI thread.
    void post(std::string_view text, void (UserMessages::*tell)(std::string_view));

    UserMessages& m_target;
};

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>

namespace tessaly {

/// The one channel through which the core tells the user something or asks a
/// question. The GUI shows message boxes with the program's title, the
/// command-line companion prints to stderr, tests record and answer.
/// Texts are UTF-8; a line break inside a message is CR LF.
class UserMessages {
public:
    virtual ~UserMessages() = default;
    /// A message with a single OK button. Returns when the user has seen it.
    virtual void ShowMessage(std::string_view text) = 0;
    /// A question with Yes and No buttons; true for Yes.
    virtual bool AskYesNo(std::string_view question) = 0;
    /// That mail waits for the user to sign in again (the provider ended
    /// the OAuth 2.0 sign-in): told once, where the user looks for it. By
    /// default as a message.
    virtual void TellSignInNeeded(std::string_view text) { ShowMessage(text); }
};

} // namespace tessaly

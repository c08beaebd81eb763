// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <utility>

namespace tessaly {

/// What sending a notification mail came to, one of three outcomes: the
/// integer 0 (the component accepted the mail), the component's non-empty
/// text (the mail was not sent), or the integer -9 (a run-time failure:
/// the component or one of its functions is missing, or composing failed;
/// nothing can be assumed about the mail). Callers treat everything but 0
/// as failure.
class MailOutcome final {
public:
    static constexpr int kSentCode = 0;
    static constexpr int kRefusedCode = 1;
    static constexpr int kFailureCode = -9;

    /// The component accepted the mail.
    static MailOutcome Sent() { return MailOutcome(kSentCode, {}); }
    /// The component refused; `text` is its result text, never empty.
    static MailOutcome Refused(std::string text) { return MailOutcome(kRefusedCode, std::move(text)); }
    /// A run-time failure (-9); `cause` says what went wrong, for messages.
    static MailOutcome Failed(std::string cause) { return MailOutcome(kFailureCode, std::move(cause)); }

    bool isSent() const { return m_code == kSentCode; }
    bool isRefused() const { return m_code == kRefusedCode; }
    bool isFailed() const { return m_code == kFailureCode; }

    /// 0 when sent, -9 on a run-time failure, 1 when the component refused
    /// (the text is then the outcome), so that only a sent mail gives 0.
    int code() const { return m_code; }
    /// The component's text for a refusal, the cause for a failure, "" when
    /// sent.
    const std::string& text() const { return m_text; }

private:
    MailOutcome(int code, std::string text) : m_code(code), m_text(std::move(text)) {}

    int m_code;
    std::string m_text;
};

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include "common/UserMessages.h"

#include <ostream>

namespace tessaly {

/// The message channel where nobody sits at a window (the command-line
/// companion, the headless program): every message is one line on the
/// error stream, its line breaks shown as " / ". Questions are printed too
/// and answered No, since nobody is there to answer them.
class StreamMessages final : public UserMessages {
public:
    explicit StreamMessages(std::ostream& err) : m_err(err) {}

    void ShowMessage(std::string_view text) override;
    bool AskYesNo(std::string_view question) override;

    /// How many messages and questions were printed so far.
    int count() const { return m_count; }

    /// `text` on one line: CR LF, CR and LF become " / ".
    static std::string OneLine(std::string_view text);

private:
    std::ostream& m_err;
    int m_count = 0;
};

} // namespace tessaly

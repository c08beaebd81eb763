// SPDX-License-Identifier: MIT
#pragma once

#include "common/UserMessages.h"

#include <deque>
#include <string>
#include <vector>

namespace tessaly::test {

/// Records every message and answers questions from a queue (Yes when the
/// queue is empty).
class RecordingMessages final : public UserMessages {
public:
    void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
    bool AskYesNo(std::string_view question) override
    {
        questions.emplace_back(question);
        if (answers.empty())
            return true;
        bool answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::deque<bool> answers;
};

} // namespace tessaly::test

// SPDX-License-Identifier: MIT
#pragma once

#include "common/UserMessages.h"

namespace tessaly {

/// Message boxes with the program's title as caption: an OK box for
/// messages, Yes and No (Yes the default) for questions. Enter answers
/// with the default, Escape with No (or closes the message). The boxes are
/// centred on the active window, wide enough for their caption, and modal
/// to the whole program. UI thread only; needs a QApplication.
class QtUserMessages final : public UserMessages {
public:
    void ShowMessage(std::string_view text) override;
    bool AskYesNo(std::string_view question) override;
};

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include "common/UserMessages.h"

namespace tessaly {

/// Message boxes with the program's title as caption: an OK box for
/// messages, Yes and No (Yes the default) for questions. Both are modal to
/// the whole program. UI thread only; needs a QApplication.
class QtUserMessages final : public UserMessages {
public:
    void ShowMessage(std::string_view text) override;
    bool AskYesNo(std::string_view question) override;
};

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include "common/UserMessages.h"

#include <QMessageBox>

#include <memory>

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

/// A box of the program's kind (caption, buttons, width for the caption)
/// holding `text`, over the active window; the caller shows it.
std::unique_ptr<QMessageBox> MakeMessageBox(std::string_view text, QMessageBox::StandardButtons buttons);

} // namespace tessaly

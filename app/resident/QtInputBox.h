// SPDX-License-Identifier: MIT
#pragma once

#include "resident/InputBox.h"

namespace tessaly {

/// The input box as a dialog whose field hides what is typed (it asks for
/// the password). UI thread only.
class QtInputBox final : public InputBox {
public:
    std::optional<QString> ask(const QString& prompt, const QString& title) override;
};

} // namespace tessaly

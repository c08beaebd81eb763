// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

namespace tessaly {

/// A modal box that asks for one line of text. The real one is a dialog;
/// tests answer it.
class InputBox {
public:
    virtual ~InputBox() = default;
    /// Shows `prompt` under the caption `title` with an empty field and
    /// returns what was typed; nothing when the user cancelled.
    virtual std::optional<QString> ask(const QString& prompt, const QString& title) = 0;
};

} // namespace tessaly

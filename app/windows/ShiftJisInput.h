// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QLineEdit;

namespace tessaly {

class UserMessages;

/// How a box reacts to text the data files cannot hold.
struct ShiftJisGuard {
    QString field;               ///< the box's name in the message
    bool masked = false;         ///< a password box: the message hides the character
    bool cellSeparators = false; ///< also refuse ",", CR and LF (silently, as a cell of a comma file)
};

/// Makes `box` refuse any typed or pasted text that code page 932 cannot
/// hold: the box keeps its previous text, cursor and undo steps, and the
/// refusal is told through `messages` once control is back in the event
/// loop (never while the box is in the middle of the edit). Text in a
/// decomposed form (a kana and a separate voiced mark) is composed first and
/// taken when it fits then, except in a password box, whose text is taken
/// exactly as typed. A character that only looks like one of code page 932
/// (〜 U+301C beside ～ U+FF5E) is refused like any other. `messages` must
/// outlive the box.
void GuardShiftJisInput(QLineEdit* box, const ShiftJisGuard& guard, UserMessages& messages);

} // namespace tessaly

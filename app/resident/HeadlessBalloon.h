// SPDX-License-Identifier: MIT
#pragma once

#include "common/Balloon.h"

#include <ostream>
#include <string>

namespace tessaly {

/// The balloon when there is no desktop: keeps title and text as the tray
/// control would, and prints the balloon (the title, then each line of the
/// text) every time the text is set to something not empty, which is when
/// the tray would show it. Lines end with "\n" on the stream. Control
/// characters are printed in caret notation (ESC as "^[", a C1 control as
/// the ESC sequence it stands for, DEL as "^?"), so that no text can send
/// a terminal or a log viewer an escape sequence; tabs stay, and so do the
/// text's line breaks, while the title's are shown as "^M" and "^J" to keep
/// it on one line. BalloonText() gives the text as set. UI thread only (a
/// run on a thread of its own reaches it through UiThreadBalloon).
class HeadlessBalloon final : public Balloon {
public:
    /// `out` must outlive the balloon; it is flushed after each balloon.
    explicit HeadlessBalloon(std::ostream& out) : m_out(out) {}

    std::string BalloonText() const override;
    void SetBalloonText(std::string_view text) override;
    void SetBalloonTitle(std::string_view title) override;

private:
    std::ostream& m_out;
    std::string m_title;
    std::string m_text;
};

} // namespace tessaly

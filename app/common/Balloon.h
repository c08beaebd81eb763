// SPDX-License-Identifier: MIT
#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace tessaly {

/// The balloon of the notification-area icon as the check run sees it. The
/// GUI backs it with the tray control (every assignment shows the balloon at
/// once when balloons are on); headless and command-line use print it; tests
/// record it. Texts are UTF-8, lines separated by CR LF.
class Balloon {
public:
    virtual ~Balloon() = default;
    virtual std::string BalloonText() const = 0;
    virtual void SetBalloonText(std::string_view text) = 0;
    virtual void SetBalloonTitle(std::string_view title) = 0;
};

/// Prints a balloon where there is no icon (standard output of the headless
/// program and of tessalyctl check): the title on one line, then each line
/// of the text; nothing when the text is empty.
void PrintBalloon(std::ostream& out, std::string_view title, std::string_view text);

} // namespace tessaly

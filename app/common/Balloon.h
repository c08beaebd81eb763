// SPDX-License-Identifier: MIT
#pragma once

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

} // namespace tessaly

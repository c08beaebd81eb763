// SPDX-License-Identifier: MIT
#pragma once

#include "common/Balloon.h"

namespace tessaly {

class TrayControl;

/// The balloon of the tray icon for the check run: `BalloonText` read and
/// written and `BalloonTitle` written through the control's dispatch
/// interface. With the control's auto-refresh and balloons on, every
/// assignment shows the balloon at once. UI thread only.
class TrayBalloon final : public Balloon {
public:
    /// `control` must outlive the balloon.
    explicit TrayBalloon(TrayControl& control) : m_control(&control) {}

    /// The control's current balloon text ("" when it cannot be read).
    std::string BalloonText() const override;
    void SetBalloonText(std::string_view text) override;
    void SetBalloonTitle(std::string_view title) override;

private:
    TrayControl* m_control;
};

} // namespace tessaly

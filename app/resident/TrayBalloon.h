// SPDX-License-Identifier: MIT
#pragma once

#include "common/Balloon.h"

namespace lumitray {
class TrayIcon;
}

namespace tessaly {

/// The balloon of the tray icon for the check run: the control's balloon
/// text read and written and its title written. With the control's
/// auto-refresh and balloons on, every assignment shows the balloon at
/// once. UI thread only.
class TrayBalloon final : public Balloon {
public:
    /// `control` must outlive the balloon.
    explicit TrayBalloon(lumitray::TrayIcon& control) : m_control(&control) {}

    std::string BalloonText() const override;
    void SetBalloonText(std::string_view text) override;
    void SetBalloonTitle(std::string_view title) override;

private:
    lumitray::TrayIcon* m_control;
};

} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "resident/TrayBalloon.h"

#include "resident/QtText.h"
#include "traycontrol/TrayIcon.h"

namespace tessaly {

std::string TrayBalloon::BalloonText() const
{
    return m_control->balloonText().toStdString();
}

void TrayBalloon::SetBalloonText(std::string_view text)
{
    m_control->setBalloonText(Utf8Text(text));
}

void TrayBalloon::SetBalloonTitle(std::string_view title)
{
    m_control->setBalloonTitle(Utf8Text(title));
}

} // namespace tessaly

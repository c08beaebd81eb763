// SPDX-License-Identifier: MIT
#include "resident/TrayBalloon.h"

#include "resident/QtText.h"
#include "resident/TrayControl.h"
#include "traycontrol/TypeInfo.h"

#include <QString>

namespace tessaly {

namespace {

lumitray::Variant Text(std::string_view utf8)
{
    return lumitray::Variant(Utf8Text(utf8));
}

} // namespace

std::string TrayBalloon::BalloonText() const
{
    lumitray::Variant value;
    QString text;
    if (m_control->get(lumitray::DispIds::BalloonText, &value) != lumitray::S_OK || !value.toString(&text))
        return {};
    return text.toStdString();
}

void TrayBalloon::SetBalloonText(std::string_view text)
{
    m_control->put(lumitray::DispIds::BalloonText, Text(text));
}

void TrayBalloon::SetBalloonTitle(std::string_view title)
{
    m_control->put(lumitray::DispIds::BalloonTitle, Text(title));
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "traycontrol/basTaskTray.h"

#include "traycontrol/AtomTable.h"
#include "traycontrol/NotificationArea.h"
#include "traycontrol/Picture.h"

namespace lumitray::basTaskTray {
namespace {

thread_local std::uint32_t t_callbackMessage = 0;

std::function<std::optional<OsVersionInfo>()>& VersionQuery()
{
    static std::function<std::optional<OsVersionInfo>()> query;
    return query;
}

/// This platform offers the notification area of an NT 5 shell: a long
/// tool tip and balloons.
std::optional<OsVersionInfo> QuerySystemVersion()
{
    return OsVersionInfo{2, 5, 0};
}

/// The first `maxCharacters` characters (code points) of `text`: a
/// character outside the Basic Multilingual Plane is never split.
QString CutToCharacters(const QString& text, qsizetype maxCharacters)
{
    qsizetype end = 0;
    for (qsizetype count = 0; count < maxCharacters && end < text.size(); ++count)
        end += text.at(end).isHighSurrogate() && end + 1 < text.size() && text.at(end + 1).isLowSurrogate() ? 2 : 1;
    return text.left(end);
}

/// The icon the request carries: `iconHandle` when non-zero, else the handle
/// of the `icon` picture, else 0.
ImageHandle IconForRequest(const TrayIconFields& fields)
{
    if (fields.iconHandle != 0)
        return fields.iconHandle;
    return fields.icon ? fields.icon->handle() : 0;
}

void Send(std::uint32_t operation, const TrayIconFields& fields)
{
    ShellNotifyIcon(operation, FillRequest(fields));
}

} // namespace

TrayIconRequest FillRequest(const TrayIconFields& fields)
{
    namespace Limit = TrayIconLimits;
    const bool newShell = fields.isNewVersion != False;
    const bool balloon = newShell && fields.balloon != False;
    TrayIconRequest request;
    request.window = fields.window;
    request.id = fields.iconId;
    request.flags = NIF_MESSAGE | NIF_ICON | NIF_TIP | (balloon ? NIF_INFO : 0);
    request.callbackMessage = t_callbackMessage;
    request.icon = IconForRequest(fields);
    request.tip = CutToCharacters(fields.toolTipText, newShell ? Limit::TipCharacters : Limit::OldShellTipCharacters);
    if (balloon) {
        request.info = CutToCharacters(fields.balloonText, Limit::InfoCharacters);
        request.timeOut = static_cast<std::uint32_t>(fields.balloonTimeOut);
        request.infoTitle = CutToCharacters(fields.balloonTitle, Limit::InfoTitleCharacters);
        // The no-sound bit is or-ed in, so that an icon value that already
        // carries it cannot turn into a different flag.
        request.infoFlags = static_cast<std::uint32_t>(fields.balloonIcon);
        if (fields.balloonSound == False)
            request.infoFlags |= NIIF_NOSOUND;
    }
    return request;
}

void AddTrayIcon(const TrayIconFields& fields)
{
    Send(NIM_ADD, fields);
}

void ModifyTrayIcon(const TrayIconFields& fields)
{
    Send(NIM_MODIFY, fields);
}

void DeleteTrayIcon(const TrayIconFields& fields)
{
    Send(NIM_DELETE, fields);
}

std::uint32_t RegisterCallbackMessage()
{
    // Registered names are never released: the number stays the same for
    // every control in the process.
    const QString name = QString::fromLatin1(CallbackMessageName);
    t_callbackMessage = AtomTable::windowMessages().find(name);
    if (t_callbackMessage == 0)
        t_callbackMessage = AtomTable::windowMessages().add(name);
    return t_callbackMessage;
}

std::uint32_t CallbackMessage()
{
    return t_callbackMessage;
}

Boolean GetIsNewVersion(const std::optional<OsVersionInfo>& version)
{
    return version && version->platformId == 2 && version->majorVersion >= 5 ? True : False;
}

Boolean GetIsNewVersion()
{
    const auto& query = VersionQuery();
    return GetIsNewVersion(query ? query() : QuerySystemVersion());
}

void SetVersionQuery(std::function<std::optional<OsVersionInfo>()> query)
{
    VersionQuery() = std::move(query);
}

std::uint16_t AddIconAtom(const QString& name)
{
    return AtomTable::global().add(name);
}

void DeleteIconAtom(std::int32_t& iconId)
{
    if (iconId != 0)
        AtomTable::global().remove(static_cast<std::uint16_t>(iconId));
    iconId = 0;
}

} // namespace lumitray::basTaskTray

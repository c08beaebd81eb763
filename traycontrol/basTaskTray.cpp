// SPDX-License-Identifier: MIT
#include "traycontrol/basTaskTray.h"

#include "traycontrol/AnsiText.h"
#include "traycontrol/AtomTable.h"
#include "traycontrol/NotificationArea.h"
#include "traycontrol/Picture.h"

namespace lumitray::basTaskTray {
namespace {

namespace L = TrayIconLayout;

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

/// Fills the six fields both layouts share.
void FillHeader(std::span<std::uint8_t> record, const TrayIconFields& fields, std::uint32_t flags)
{
    WriteRecordValue(record, L::Size, static_cast<std::uint32_t>(record.size()));
    WriteRecordValue(record, L::Window, fields.window);
    WriteRecordValue(record, L::Id, static_cast<std::uint32_t>(fields.iconId));
    WriteRecordValue(record, L::Flags, flags);
    WriteRecordValue(record, L::CallbackMessage, t_callbackMessage);
    WriteRecordValue(record, L::Icon, static_cast<std::uint32_t>(IconForRecord(fields)));
}

void Send(std::uint32_t operation, const TrayIconFields& fields)
{
    const std::vector<std::uint8_t> record = FillRecord(fields);
    ShellNotifyIcon(operation, record);
}

} // namespace

std::array<std::uint8_t, L::LongSize> FillLongRecord(const TrayIconFields& fields)
{
    std::array<std::uint8_t, L::LongSize> record{};
    const bool balloon = fields.balloon != False;
    FillHeader(record, fields, NIF_MESSAGE | NIF_ICON | NIF_TIP | (balloon ? NIF_INFO : 0));
    AnsiText::FillField(record.data() + L::Tip, L::LongTipSize, fields.toolTipText);
    if (balloon) {
        AnsiText::FillField(record.data() + L::Info, L::InfoSize, fields.balloonText);
        WriteRecordValue(record, L::TimeOut, static_cast<std::uint32_t>(fields.balloonTimeOut));
        AnsiText::FillField(record.data() + L::InfoTitle, L::InfoTitleSize, fields.balloonTitle);
        // The no-sound bit is or-ed in, so that an icon value that already
        // carries it cannot turn into a different flag.
        std::uint32_t infoFlags = static_cast<std::uint32_t>(fields.balloonIcon);
        if (fields.balloonSound == False)
            infoFlags |= NIIF_NOSOUND;
        WriteRecordValue(record, L::InfoFlags, infoFlags);
    }
    return record;
}

std::array<std::uint8_t, L::ShortSize> FillShortRecord(const TrayIconFields& fields)
{
    std::array<std::uint8_t, L::ShortSize> record{};
    FillHeader(record, fields, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    AnsiText::FillField(record.data() + L::Tip, L::ShortTipSize, fields.toolTipText);
    return record;
}

std::vector<std::uint8_t> FillRecord(const TrayIconFields& fields)
{
    if (fields.isNewVersion != False) {
        const auto record = FillLongRecord(fields);
        return {record.begin(), record.end()};
    }
    const auto record = FillShortRecord(fields);
    return {record.begin(), record.end()};
}

ImageHandle IconForRecord(const TrayIconFields& fields)
{
    if (fields.iconHandle != 0)
        return fields.iconHandle;
    return fields.icon ? fields.icon->handle() : 0;
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

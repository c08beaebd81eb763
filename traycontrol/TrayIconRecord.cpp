// SPDX-License-Identifier: MIT
#include "traycontrol/TrayIconRecord.h"

#include "traycontrol/AnsiText.h"

namespace lumitray {

std::uint32_t ReadRecordValue(std::span<const std::uint8_t> record, std::size_t offset)
{
    return static_cast<std::uint32_t>(record[offset]) | static_cast<std::uint32_t>(record[offset + 1]) << 8 |
           static_cast<std::uint32_t>(record[offset + 2]) << 16 | static_cast<std::uint32_t>(record[offset + 3]) << 24;
}

void WriteRecordValue(std::span<std::uint8_t> record, std::size_t offset, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        record[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool DecodeTrayIconRecord(std::span<const std::uint8_t> record, TrayIconData* out)
{
    namespace L = TrayIconLayout;
    if (record.size() != L::LongSize && record.size() != L::ShortSize)
        return false;
    if (ReadRecordValue(record, L::Size) != record.size())
        return false;
    TrayIconData data;
    data.longLayout = record.size() == L::LongSize;
    data.window = ReadRecordValue(record, L::Window);
    data.id = static_cast<std::int32_t>(ReadRecordValue(record, L::Id));
    data.flags = ReadRecordValue(record, L::Flags);
    data.callbackMessage = ReadRecordValue(record, L::CallbackMessage);
    data.icon = static_cast<std::int32_t>(ReadRecordValue(record, L::Icon));
    data.tip = AnsiText::ReadField(record.data() + L::Tip, data.longLayout ? L::LongTipSize : L::ShortTipSize);
    if (data.longLayout) {
        data.info = AnsiText::ReadField(record.data() + L::Info, L::InfoSize);
        data.timeOut = ReadRecordValue(record, L::TimeOut);
        data.infoTitle = AnsiText::ReadField(record.data() + L::InfoTitle, L::InfoTitleSize);
        data.infoFlags = ReadRecordValue(record, L::InfoFlags);
    } else {
        // The short layout has no balloon.
        data.flags &= ~NIF_INFO;
    }
    *out = data;
    return true;
}

} // namespace lumitray

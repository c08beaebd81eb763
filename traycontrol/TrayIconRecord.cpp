// SPDX-License-Identifier: MIT
#include "traycontrol/TrayIconRecord.h"

#include "traycontrol/AnsiText.h"

namespace lumitray {
namespace {

void WriteValue(std::span<std::uint8_t> record, std::size_t offset, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        record[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace

std::vector<std::uint8_t> EncodeTrayIconRecord(const TrayIconRequest& request, bool longLayout)
{
    namespace L = TrayIconLayout;
    std::vector<std::uint8_t> record(longLayout ? L::LongSize : L::ShortSize);
    const bool balloon = longLayout && (request.flags & NIF_INFO) != 0;
    WriteValue(record, L::Size, static_cast<std::uint32_t>(record.size()));
    WriteValue(record, L::Window, request.window);
    WriteValue(record, L::Id, static_cast<std::uint32_t>(request.id));
    WriteValue(record, L::Flags, balloon ? request.flags : request.flags & ~NIF_INFO);
    WriteValue(record, L::CallbackMessage, request.callbackMessage);
    WriteValue(record, L::Icon, static_cast<std::uint32_t>(request.icon));
    AnsiText::FillField(record.data() + L::Tip, longLayout ? L::LongTipSize : L::ShortTipSize, request.tip);
    if (balloon) {
        AnsiText::FillField(record.data() + L::Info, L::InfoSize, request.info);
        WriteValue(record, L::TimeOut, request.timeOut);
        AnsiText::FillField(record.data() + L::InfoTitle, L::InfoTitleSize, request.infoTitle);
        WriteValue(record, L::InfoFlags, request.infoFlags);
    }
    return record;
}

} // namespace lumitray

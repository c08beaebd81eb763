// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <span>

namespace lumitray {

/// Operations of the notification-area function.
inline constexpr std::uint32_t NIM_ADD = 0;
inline constexpr std::uint32_t NIM_MODIFY = 1;
inline constexpr std::uint32_t NIM_DELETE = 2;

/// Record flags: which fields are valid.
inline constexpr std::uint32_t NIF_MESSAGE = 0x01;
inline constexpr std::uint32_t NIF_ICON = 0x02;
inline constexpr std::uint32_t NIF_TIP = 0x04;
inline constexpr std::uint32_t NIF_INFO = 0x10;

/// Balloon flags: the icon kind in the low bits, and no sound.
inline constexpr std::uint32_t NIIF_ICON_MASK = 0x0F;
inline constexpr std::uint32_t NIIF_NOSOUND = 0x10;

/// Callback codes (the lParam of the callback message).
inline constexpr std::int32_t WM_MOUSEMOVE = 0x200;
inline constexpr std::int32_t WM_LBUTTONDOWN = 0x201;
inline constexpr std::int32_t WM_LBUTTONUP = 0x202;
inline constexpr std::int32_t WM_LBUTTONDBLCLK = 0x203;
inline constexpr std::int32_t WM_RBUTTONDOWN = 0x204;
inline constexpr std::int32_t WM_RBUTTONUP = 0x205;
inline constexpr std::int32_t WM_RBUTTONDBLCLK = 0x206;
inline constexpr std::int32_t WM_MBUTTONDOWN = 0x207;
inline constexpr std::int32_t WM_MBUTTONUP = 0x208;
inline constexpr std::int32_t WM_MBUTTONDBLCLK = 0x209;
inline constexpr std::int32_t NIN_BALLOONSHOW = 0x402;
inline constexpr std::int32_t NIN_BALLOONHIDE = 0x403;
inline constexpr std::int32_t NIN_BALLOONTIMEOUT = 0x404;
inline constexpr std::int32_t NIN_BALLOONUSERCLICK = 0x405;

/// Layout of the notification-icon record in its ANSI form: all integers
/// 32-bit little-endian, texts zero-terminated and blank-padded.
namespace TrayIconLayout {
inline constexpr std::size_t LongSize = 488;
inline constexpr std::size_t ShortSize = 88;
inline constexpr std::size_t Size = 0;
inline constexpr std::size_t Window = 4;
inline constexpr std::size_t Id = 8;
inline constexpr std::size_t Flags = 12;
inline constexpr std::size_t CallbackMessage = 16;
inline constexpr std::size_t Icon = 20;
inline constexpr std::size_t Tip = 24;
inline constexpr std::size_t LongTipSize = 128;
inline constexpr std::size_t ShortTipSize = 64;
inline constexpr std::size_t State = 152;
inline constexpr std::size_t StateMask = 156;
inline constexpr std::size_t Info = 160;
inline constexpr std::size_t InfoSize = 256;
inline constexpr std::size_t TimeOut = 416;
inline constexpr std::size_t InfoTitle = 420;
inline constexpr std::size_t InfoTitleSize = 64;
inline constexpr std::size_t InfoFlags = 484;
} // namespace TrayIconLayout

/// A notification-icon record decoded by a notification area.
struct TrayIconData final {
    bool longLayout = false;
    std::uint32_t window = 0;
    std::int32_t id = 0;
    std::uint32_t flags = 0;
    std::uint32_t callbackMessage = 0;
    std::int32_t icon = 0;
    QString tip;
    /// Balloon fields; only meaningful when `flags` has NIF_INFO.
    QString info;
    std::uint32_t timeOut = 0;
    QString infoTitle;
    std::uint32_t infoFlags = 0;
};

/// Reads a 32-bit little-endian value at `offset`.
std::uint32_t ReadRecordValue(std::span<const std::uint8_t> record, std::size_t offset);
/// Writes a 32-bit little-endian value at `offset`.
void WriteRecordValue(std::span<std::uint8_t> record, std::size_t offset, std::uint32_t value);

/// Decodes a record of either layout. Returns false when the size is not
/// one of the two layouts or disagrees with the record's size field.
bool DecodeTrayIconRecord(std::span<const std::uint8_t> record, TrayIconData* out);

} // namespace lumitray

// SPDX-License-Identifier: MIT
#pragma once

#include "traycontrol/NotificationArea.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lumitray {

/// The Windows back end's form of a request: the notification-icon record
/// in its ANSI form, as the shell's Shell_NotifyIconA takes it. All integers
/// are 32-bit little-endian; texts are code page 932 (Shift-JIS),
/// zero-terminated and blank-padded, cut in bytes on a character boundary,
/// and characters the code page lacks become "?". The Linux notification
/// area takes the request itself and never sees this form.
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

/// The record of `request`: the long (488-byte) layout for shells that show
/// balloons, else the short (88-byte) one, which has the tool tip only and
/// never NIF_INFO.
std::vector<std::uint8_t> EncodeTrayIconRecord(const TrayIconRequest& request, bool longLayout);

} // namespace lumitray

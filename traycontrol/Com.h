// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstdint>

/// Basic types of the control's calling contract: status codes, dispatch
/// identifiers, 16-bit Booleans and class identifiers.
namespace lumitray {

/// A status returned by every member: 0 for success, negative for failure.
using HResult = std::int32_t;
/// A dispatch identifier of a member or an event.
using DispId = std::int32_t;
/// A 16-bit Boolean where True is -1.
using Boolean = std::int16_t;

inline constexpr Boolean True = -1;
inline constexpr Boolean False = 0;

inline constexpr HResult S_OK = 0;
inline constexpr HResult S_FALSE = 1;
inline constexpr HResult E_INVALIDARG = static_cast<HResult>(0x80070057);
inline constexpr HResult E_POINTER = static_cast<HResult>(0x80004003);
inline constexpr HResult E_NOINTERFACE = static_cast<HResult>(0x80004002);
inline constexpr HResult E_FAIL = static_cast<HResult>(0x80004005);
inline constexpr HResult DISP_E_MEMBERNOTFOUND = static_cast<HResult>(0x80020003);
inline constexpr HResult DISP_E_TYPEMISMATCH = static_cast<HResult>(0x80020005);
inline constexpr HResult DISP_E_BADPARAMCOUNT = static_cast<HResult>(0x8002000E);
inline constexpr HResult CLASS_E_CLASSNOTAVAILABLE = static_cast<HResult>(0x80040111);
inline constexpr HResult REGDB_E_CLASSNOTREG = static_cast<HResult>(0x80040154);
inline constexpr HResult SELFREG_E_CLASS = static_cast<HResult>(0x80040201);

/// How a member is reached through the dispatch entry.
enum class DispatchKind : std::uint16_t {
    Method = 1,
    PropertyGet = 2,
    PropertyPut = 4,
    PropertyPutRef = 8,
};

/// A 128-bit class, interface or library identifier.
struct Guid final {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];

    friend bool operator==(const Guid&, const Guid&) = default;

    /// The registry form, "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" in upper case.
    QString toString() const
    {
        return QStringLiteral("{%1-%2-%3-%4%5-%6%7%8%9%10%11}")
            .arg(data1, 8, 16, QLatin1Char('0'))
            .arg(data2, 4, 16, QLatin1Char('0'))
            .arg(data3, 4, 16, QLatin1Char('0'))
            .arg(data4[0], 2, 16, QLatin1Char('0'))
            .arg(data4[1], 2, 16, QLatin1Char('0'))
            .arg(data4[2], 2, 16, QLatin1Char('0'))
            .arg(data4[3], 2, 16, QLatin1Char('0'))
            .arg(data4[4], 2, 16, QLatin1Char('0'))
            .arg(data4[5], 2, 16, QLatin1Char('0'))
            .arg(data4[6], 2, 16, QLatin1Char('0'))
            .arg(data4[7], 2, 16, QLatin1Char('0'))
            .toUpper();
    }
};

} // namespace lumitray

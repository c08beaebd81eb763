// SPDX-License-Identifier: MIT
#pragma once

#include "traycontrol/Com.h"

#include <QString>

#include <cstdint>
#include <span>

namespace lumitray {

/// Dispatch identifiers of the members of `_Lumitray`.
namespace DispIds {
inline constexpr DispId Refresh = 0x60030011;
inline constexpr DispId Icon = 0x6803000A;
inline constexpr DispId BalloonIcon = 0x68030009;
inline constexpr DispId Show = 0x60030013;
inline constexpr DispId Vanish = 0x60030014;
inline constexpr DispId ToolTipText = 0x68030008;
inline constexpr DispId BalloonTitle = 0x68030007;
inline constexpr DispId Balloon = 0x68030006;
inline constexpr DispId BalloonSound = 0x68030005;
inline constexpr DispId AutoRefresh = 0x68030004;
inline constexpr DispId BalloonText = 0x68030003;
inline constexpr DispId IsNewVersion = 0x68030002;
inline constexpr DispId IconHandle = 0x68030001;
inline constexpr DispId BalloonTimeOut = 0x68030000;
inline constexpr DispId About = -552;
inline constexpr DispId SetIconHandleFromResource = 0x60030016;
inline constexpr DispId SetIconHandleFromFile = 0x60030017;
} // namespace DispIds

/// Dispatch identifiers of the events of `__Lumitray`.
namespace EventIds {
inline constexpr DispId MouseDown = 1;
inline constexpr DispId MouseMove = 2;
inline constexpr DispId MouseUp = 3;
inline constexpr DispId DblClick = 4;
inline constexpr DispId BalloonShow = 5;
inline constexpr DispId BalloonClose = 6;
inline constexpr DispId BalloonClick = 7;
} // namespace EventIds

/// Values of `BalloonIconConstants`.
enum BalloonIconConstants : std::int32_t {
    BalloonIcon_None = 0,
    BalloonIcon_Information = 1,
    BalloonIcon_Warning = 2,
    BalloonIcon_Error = 3,
};

/// Standard property categories of a designer's categorised view.
inline constexpr std::int32_t PROPCAT_Appearance = -5;
inline constexpr std::int32_t PROPCAT_Behavior = -6;
/// The control's own category "バルーン".
inline constexpr std::int32_t PROPCAT_Balloon = 1;

/// One member of `_Lumitray` as its type library describes it.
struct MemberInfo final {
    const char* name;
    DispId id;
    /// The DispatchKind values the member accepts, or-ed together.
    std::uint16_t kinds;
    bool hidden;
    /// A PROPCAT_ value, 0 for methods and uncategorised members.
    std::int32_t category;
    /// The help string, UTF-8.
    const char* helpString;
};

/// One event of `__Lumitray`.
struct EventInfo final {
    const char* name;
    DispId id;
    /// True when the event passes `Button` (16-bit, by reference).
    bool hasButton;
    const char* helpString;
};

/// Members in type-library order.
std::span<const MemberInfo> Members();
/// Events in type-library order (DISPIDs 1 to 7).
std::span<const EventInfo> Events();
/// The member with identifier `id`, nullptr when there is none.
const MemberInfo* FindMember(DispId id);
/// The identifier of the member called `name` (case-insensitive), 0 with
/// `found` false when there is none.
DispId MemberIdOfName(const QString& name, bool* found);
/// The name shown for a category id ("Appearance", "Behavior", "バルーン").
QString CategoryName(std::int32_t category);

/// Fixed identity of the library.
namespace Identity {
inline constexpr Guid LibraryId{0x0df286d9, 0x1b75, 0x46b5, {0x85, 0xf8, 0x14, 0x7b, 0xa6, 0x45, 0x15, 0xa9}};
inline constexpr Guid ClassId{0xa4ee8b4d, 0xa1c8, 0x493e, {0xb9, 0x77, 0x34, 0x22, 0x61, 0x98, 0x4d, 0xd1}};
inline constexpr Guid InterfaceId{0xc813ed41, 0x01c3, 0x4f36, {0xb3, 0x1e, 0xcb, 0x47, 0xe4, 0x91, 0xb3, 0xaf}};
inline constexpr Guid EventInterfaceId{0x4765a06f, 0x4c17, 0x46e9, {0x8f, 0x96, 0x4f, 0xbc, 0xdf, 0x29, 0x69, 0x34}};
inline constexpr Guid BalloonIconConstantsId{
    0xdd41bf78, 0xbbe7, 0x42b0, {0xa0, 0x2a, 0x5d, 0x68, 0x3f, 0x01, 0x9a, 0xed}};
/// The class-factory interface a host asks `DllGetClassObject` for.
inline constexpr Guid ClassFactoryId{0x00000001, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

inline constexpr char ProgId[] = "LumitrayControl.Lumitray";
inline constexpr char TypeLibraryName[] = "LumitrayControl";
inline constexpr char TypeLibraryHelp[] = "Lumitray Control 1.0 by Pemberd";
inline constexpr std::uint16_t TypeLibraryMajor = 1;
inline constexpr std::uint16_t TypeLibraryMinor = 0;
inline constexpr std::uint32_t TypeLibraryLocale = 0x409;
} // namespace Identity

/// The library's version block.
namespace VersionBlock {
inline constexpr char FileVersion[] = "1.00";
inline constexpr char ProductVersion[] = "1.00";
inline constexpr int Major = 1;
inline constexpr int Minor = 0;
inline constexpr int Revision = 0;
inline constexpr int Build = 0;
inline constexpr char FileDescription[] = "Lumitray";
inline constexpr char ProductName[] = "Lumitray";
inline constexpr char InternalName[] = "Lumitray";
inline constexpr char OriginalFilename[] = "Lumitray.ocx";
inline constexpr char CompanyName[] = "Pemberd";
inline constexpr char Comments[] = "通知領域にアイコンを表示させるActiveXコントロールです。";
inline constexpr char LegalCopyright[] = "Copyright (C) Pemberd. All rights reserved.";
inline constexpr char LanguageBlock[] = "041104B0";
} // namespace VersionBlock

} // namespace lumitray

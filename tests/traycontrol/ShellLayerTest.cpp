// SPDX-License-Identifier: MIT
// The request the shell calls carry, its Windows record layouts, the
// callback message, the atoms and the window procedure.
#include "TestDoubles.h"

#include "traycontrol/AtomTable.h"
#include "traycontrol/IconTable.h"
#include "traycontrol/Picture.h"
#include "traycontrol/TrayIconRecord.h"
#include "traycontrol/TypeInfo.h"
#include "traycontrol/basTaskTray.h"
#include "traycontrol/basWndProc.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

using namespace lumitray;
using namespace lumitray::test;
namespace L = lumitray::TrayIconLayout;

namespace {

TrayIconFields SampleFields()
{
    return {.isNewVersion = True,
            .iconId = -16380,
            .window = 0x00010012,
            .icon = nullptr,
            .iconHandle = 0x00020004,
            .toolTipText = QStringLiteral("Tip"),
            .balloon = True,
            .balloonTitle = QStringLiteral("Title"),
            .balloonText = QStringLiteral("Text"),
            .balloonIcon = BalloonIcon_Information,
            .balloonSound = True,
            .balloonTimeOut = 5};
}

/// The Windows back end's record of the control's fields.
std::vector<std::uint8_t> Record(const TrayIconFields& fields, bool longLayout = true)
{
    return EncodeTrayIconRecord(basTaskTray::FillRequest(fields), longLayout);
}

std::uint32_t At(std::span<const std::uint8_t> record, std::size_t offset)
{
    return record[offset] | record[offset + 1] << 8 | record[offset + 2] << 16 |
           static_cast<std::uint32_t>(record[offset + 3]) << 24;
}

/// The field's bytes as a string, zero bytes included.
std::string Field(std::span<const std::uint8_t> record, std::size_t offset, std::size_t size)
{
    return std::string(reinterpret_cast<const char*>(record.data() + offset), size);
}

/// The text, its zero, then blanks to the field's size.
std::string Padded(const std::string& text, std::size_t size)
{
    return (text + '\0').append(size - text.size() - 1, ' ');
}

} // namespace

TEST(TrayIconRecord, LongRecordCarriesEveryFieldAtItsOffset)
{
    // The callback message is one registered number, the same every time.
    const std::uint32_t callback = basTaskTray::RegisterCallbackMessage();
    EXPECT_GE(callback, 0xC000u);
    EXPECT_LE(callback, 0xFFFFu);
    EXPECT_EQ(basTaskTray::RegisterCallbackMessage(), callback);
    EXPECT_EQ(AtomTable::windowMessages().find(QStringLiteral("LumitrayControl_PresentedBy_Pemberd_Lumitry")),
              callback);
    const auto record = Record(SampleFields());
    EXPECT_EQ(record.size(), 488u);
    EXPECT_EQ(At(record, L::Size), 488u);
    EXPECT_EQ(At(record, L::Window), 0x00010012u);
    EXPECT_EQ(At(record, L::Id), static_cast<std::uint32_t>(-16380));
    EXPECT_EQ(At(record, L::Flags), 23u);
    EXPECT_EQ(At(record, L::CallbackMessage), callback);
    EXPECT_EQ(At(record, L::Icon), 0x00020004u);
    EXPECT_EQ(Field(record, L::Tip, 128), Padded("Tip", 128));
    EXPECT_EQ(At(record, L::State), 0u);
    EXPECT_EQ(At(record, L::StateMask), 0u);
    EXPECT_EQ(Field(record, L::Info, 256), Padded("Text", 256));
    EXPECT_EQ(At(record, L::TimeOut), 5u); // seconds, as stored
    EXPECT_EQ(Field(record, L::InfoTitle, 64), Padded("Title", 64));
    EXPECT_EQ(At(record, L::InfoFlags), 1u);

    // Without a balloon: flags 7 and every balloon field zero.
    TrayIconFields fields = SampleFields();
    fields.balloon = False;
    const auto plain = Record(fields);
    EXPECT_EQ(At(plain, L::Flags), 7u);
    EXPECT_EQ(Field(plain, L::Tip, 128), Padded("Tip", 128));
    EXPECT_TRUE(std::all_of(plain.begin() + L::Info, plain.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(TrayIconRecord, ShortRecordHasTheTipOnlyEvenWithABalloon)
{
    TrayIconFields fields = SampleFields();
    for (const Boolean newShell : {False, True}) {
        fields.isNewVersion = newShell;
        const std::vector<std::uint8_t> record = Record(fields, false);
        ASSERT_EQ(record.size(), 88u);
        EXPECT_EQ(At(record, L::Size), 88u);
        EXPECT_EQ(At(record, L::Flags), 7u);
        EXPECT_EQ(At(record, L::Id), static_cast<std::uint32_t>(-16380));
        EXPECT_EQ(std::string(record.begin() + 24, record.end()), Padded("Tip", 64));
    }
}

TEST(TrayIconRecord, NoSoundFlagIsAddedToTheIconKindOnce)
{
    const std::tuple<std::int32_t, Boolean, std::uint32_t> cases[] = {
        {BalloonIcon_Warning, False, 18},   {BalloonIcon_Warning, True, 2},
        {BalloonIcon_None, False, 16},      {BalloonIcon_Error, False, 19},
        {BalloonIcon_Information, True, 1}, {16, False, 16}, // an unchecked kind that already has the bit keeps it
    };
    for (const auto& [icon, sound, flags] : cases) {
        TrayIconFields fields = SampleFields();
        fields.balloonIcon = icon;
        fields.balloonSound = sound;
        EXPECT_EQ(At(Record(fields), L::InfoFlags), flags) << icon << " sound " << sound;
    }
}

TEST(TrayIconRecord, TextsAreShiftJisCutInBytesOnACharacterBoundaryAndZeroTerminated)
{
    std::string a63; // 63 あ: as many as fit before the zero of a 128-byte field
    for (int i = 0; i < 63; ++i)
        a63 += "\x82\xA0";
    const QString a = QStringLiteral("a");
    const struct {
        QString TrayIconFields::*text;
        QString value;
        bool longLayout;
        std::size_t offset, size;
        std::string bytes;
    } cases[] = {
        {&TrayIconFields::toolTipText, a.repeated(200), true, L::Tip, 128, std::string(127, 'a') + '\0'},
        {&TrayIconFields::toolTipText, a.repeated(200), false, L::Tip, 64, std::string(63, 'a') + '\0'},
        {&TrayIconFields::balloonText, QString(300, QLatin1Char('b')), true, L::Info, 256,
         std::string(255, 'b') + '\0'},
        {&TrayIconFields::balloonTitle, QString(100, QLatin1Char('c')), true, L::InfoTitle, 64,
         std::string(63, 'c') + '\0'},
        // The last byte is a blank, not half of a double-byte character.
        {&TrayIconFields::toolTipText, QString(70, QChar(0x3042)), true, L::Tip, 128, a63 + '\0' + ' '},
        {&TrayIconFields::balloonTitle, QString(40, QChar(0x3042)), true, L::InfoTitle, 64,
         a63.substr(0, 62) + '\0' + ' '},
        // Half-width katakana are single bytes; an emoji, missing from Shift-JIS, becomes "?".
        {&TrayIconFields::balloonTitle, QStringLiteral("ｱｲｳ更新"), true, L::InfoTitle, 8,
         std::string("\xB1\xB2\xB3\x8D\x58\x90\x56", 7) + '\0'},
        {&TrayIconFields::balloonText, QStringLiteral("絵文字\U0001F600"), true, L::Info, 8,
         std::string("\x8A\x47\x95\xB6\x8E\x9A?") + '\0'},
    };
    for (const auto& c : cases) {
        TrayIconFields fields = SampleFields();
        fields.*c.text = c.value;
        EXPECT_EQ(Field(Record(fields, c.longLayout), c.offset, c.size), c.bytes) << c.value.left(10).toStdString();
    }
}

TEST(ShellCalls, VersionTestPicksTheLongRecordForNewShells)
{
    const std::pair<OsVersionInfo, Boolean> cases[] = {
        {{2, 5, 0}, True}, {{2, 6, 1}, True}, {{2, 4, 0}, False}, {{0, 9, 9}, False}};
    for (const auto& [version, expected] : cases)
        EXPECT_EQ(basTaskTray::GetIsNewVersion(version), expected)
            << version.platformId << " " << version.majorVersion << "." << version.minorVersion;
    EXPECT_EQ(basTaskTray::GetIsNewVersion(std::nullopt), False);
}

TEST(Atoms, IconAtomsAreStringAtomsCountedByReference)
{
    const std::uint16_t atom = basTaskTray::AddIconAtom(QStringLiteral("Test(0).ID By Pemberd"));
    EXPECT_GE(atom, 0xC000);
    EXPECT_EQ(basTaskTray::AddIconAtom(QStringLiteral("TEST(0).id by pemberd")), atom);
    EXPECT_EQ(basTaskTray::AddIconAtom(QString()), 0);
    EXPECT_EQ(basTaskTray::AddIconAtom(QString(256, QLatin1Char('x'))), 0);

    std::int32_t id = static_cast<std::int16_t>(atom);
    EXPECT_LT(id, 0); // widened with its sign
    basTaskTray::DeleteIconAtom(id);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(AtomTable::global().find(QStringLiteral("Test(0).ID By Pemberd")), atom); // one reference left
    std::int32_t again = static_cast<std::int16_t>(atom);
    basTaskTray::DeleteIconAtom(again);
    EXPECT_EQ(AtomTable::global().find(QStringLiteral("Test(0).ID By Pemberd")), 0);
}

namespace {

struct Delivered {
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};
thread_local std::vector<Delivered> t_delivered;

std::intptr_t RecordingProc(WindowHandle, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
{
    t_delivered.push_back({message, wParam, lParam});
    return 42;
}

} // namespace

TEST(WindowProcedure, HookedWindowGetsTheCodeAsACharacterThenTheCallbackItself)
{
    const std::uint32_t callback = basTaskTray::RegisterCallbackMessage();
    WindowTable& windows = WindowTable::instance();
    const WindowHandle window = windows.create(&RecordingProc, nullptr);
    basWndProc::HookWindow(window);
    basWndProc::HookWindow(window); // a second hook must not make it call itself
    EXPECT_EQ(windows.windowProc(window), &basWndProc::TrayWindowProc);

    t_delivered.clear();
    EXPECT_EQ(windows.send(window, callback, 7, 0x205), 42);
    ASSERT_EQ(t_delivered.size(), 2u);
    EXPECT_EQ(t_delivered[0].message, WM_CHAR);
    EXPECT_EQ(t_delivered[0].wParam, 9u);
    EXPECT_EQ(t_delivered[1].message, callback);
    EXPECT_EQ(t_delivered[1].lParam, 0x205);

    t_delivered.clear();
    windows.send(window, 0x0F, 1, 2); // any other message passes unchanged
    ASSERT_EQ(t_delivered.size(), 1u);
    EXPECT_EQ(t_delivered[0].message, 0x0Fu);

    basWndProc::UnhookWindow(window);
    EXPECT_EQ(windows.windowProc(window), &RecordingProc);
    basWndProc::UnhookWindow(window); // not hooked: left alone
    EXPECT_EQ(windows.windowProc(window), &RecordingProc);
    windows.destroy(window);
    EXPECT_EQ(windows.send(window, callback, 0, 0x201), 0);
}

// SPDX-License-Identifier: MIT
// The request the shell calls carry, the callback message, the atoms and
// the window procedure.
#include "TestDoubles.h"

#include "traycontrol/AtomTable.h"
#include "traycontrol/TypeInfo.h"
#include "traycontrol/basTaskTray.h"
#include "traycontrol/basWndProc.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace lumitray;
using namespace lumitray::test;

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

} // namespace

TEST(ShellCalls, RequestCarriesTheFieldsAndABalloonOnlyForNewShells)
{
    // The callback message is one registered number, the same every time.
    const std::uint32_t callback = basTaskTray::RegisterCallbackMessage();
    EXPECT_GE(callback, 0xC000u);
    EXPECT_LE(callback, 0xFFFFu);
    EXPECT_EQ(basTaskTray::RegisterCallbackMessage(), callback);
    EXPECT_EQ(AtomTable::windowMessages().find(QStringLiteral("LumitrayControl_PresentedBy_Pemberd_Lumitry")),
              callback);
    TrayIconFields fields = SampleFields();
    const TrayIconRequest request = basTaskTray::FillRequest(fields);
    EXPECT_EQ(request.window, 0x00010012);
    EXPECT_EQ(request.id, -16380);
    EXPECT_EQ(request.flags, 23u);
    EXPECT_EQ(request.callbackMessage, callback);
    EXPECT_EQ(request.icon, 0x00020004);
    EXPECT_EQ(request.tip, QStringLiteral("Tip"));
    EXPECT_EQ(request.info, QStringLiteral("Text"));
    EXPECT_EQ(request.timeOut, 5u); // seconds, as stored
    EXPECT_EQ(request.infoTitle, QStringLiteral("Title"));
    EXPECT_EQ(request.infoFlags, 1u);

    // Without a balloon, or on an old shell, flags 7 and no balloon fields.
    for (const auto& [balloon, newShell] : {std::pair{False, True}, std::pair{True, False}}) {
        fields.balloon = balloon;
        fields.isNewVersion = newShell;
        const TrayIconRequest plain = basTaskTray::FillRequest(fields);
        EXPECT_EQ(plain.flags, 7u);
        EXPECT_EQ(plain.tip, QStringLiteral("Tip"));
        EXPECT_TRUE(plain.info.isEmpty() && plain.infoTitle.isEmpty());
        EXPECT_EQ(plain.infoFlags, 0u);
    }
}

TEST(ShellCalls, NoSoundFlagIsAddedToTheIconKindOnce)
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
        EXPECT_EQ(basTaskTray::FillRequest(fields).infoFlags, flags) << icon << " sound " << sound;
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

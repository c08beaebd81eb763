// SPDX-License-Identifier: MIT
// The control object reached the way a host reaches it: by dispatch
// identifier, with the shell calls recorded.
#include "TestDoubles.h"

#include "traycontrol/AtomTable.h"
#include "traycontrol/Lumitray.h"
#include "traycontrol/MemoryPropertyBag.h"
#include "traycontrol/Picture.h"

#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace lumitray;
using namespace lumitray::test;

namespace {

Variant Bool(bool on)
{
    return Variant::fromBooleanValue(on ? True : False);
}

/// The plain properties: each one's default and a value other than it.
struct Property {
    DispId id;
    const char* name;
    Variant initial, value;
};
const std::vector<Property>& Properties()
{
    static const std::vector<Property> properties{
        {DispIds::BalloonIcon, "BalloonIcon", Variant(0), Variant(BalloonIcon_Warning)},
        {DispIds::ToolTipText, "ToolTipText", Variant(QString()), Variant("監視中")},
        {DispIds::BalloonTitle, "BalloonTitle", Variant(QString()), Variant("更新")},
        {DispIds::Balloon, "Balloon", Bool(false), Bool(true)},
        {DispIds::BalloonSound, "BalloonSound", Bool(true), Bool(false)},
        {DispIds::AutoRefresh, "AutoRefresh", Bool(false), Bool(true)},
        {DispIds::BalloonText, "BalloonText", Variant(QString()), Variant("議事録 3件")},
        {DispIds::BalloonTimeOut, "BalloonTimeOut", Variant::fromInteger(3), Variant::fromInteger(7)},
    };
    return properties;
}

class ControlTest : public ::testing::Test {
protected:
    /// A control loaded from an empty bag while the host runs.
    std::unique_ptr<Lumitray> loaded(TestSite& host)
    {
        auto control = std::make_unique<Lumitray>(&host);
        control->readProperties(MemoryPropertyBag());
        control->advise(&events);
        return control;
    }
    static Variant get(Lumitray& control, DispId id)
    {
        Variant value;
        EXPECT_EQ(control.invoke(id, DispatchKind::PropertyGet, {}, &value), S_OK);
        return value;
    }
    static HResult put(Lumitray& control, DispId id, Variant value, DispatchKind kind = DispatchKind::PropertyPut)
    {
        return control.invoke(id, kind, std::span<Variant>(&value, 1), nullptr);
    }
    static HResult call(Lumitray& control, DispId id, std::vector<Variant> arguments = {})
    {
        return control.invoke(id, DispatchKind::Method, arguments, nullptr);
    }
    QString writeFile(const QString& name, const QByteArray& bytes = {})
    {
        QFile file(m_folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }
    QString writeIcon(const QString& name)
    {
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(Qt::red);
        EXPECT_TRUE(QImageWriter(m_folder.filePath(name), "ico").write(image));
        return m_folder.filePath(name);
    }

    ShellRecorder shell;
    TestSite site;
    EventLog events;
    QTemporaryDir m_folder;
};

} // namespace

TEST_F(ControlTest, EveryPropertyStartsAtItsDefaultIsReachedByItsDispIdAndReportsItsChange)
{
    Lumitray control(&site);
    control.initNew();
    std::shared_ptr<Picture> icon;
    ASSERT_TRUE(get(control, DispIds::Icon).toPicture(&icon) && icon);
    EXPECT_EQ(icon->type(), Picture::Icon);
    EXPECT_EQ(get(control, DispIds::IsNewVersion), Bool(true));
    EXPECT_EQ(get(control, DispIds::IconHandle), Variant(0));
    for (const Property& c : Properties()) {
        site.changes.clear();
        EXPECT_EQ(get(control, c.id), c.initial) << c.name;
        EXPECT_EQ(put(control, c.id, c.value), S_OK) << c.name;
        EXPECT_EQ(get(control, c.id), c.value) << c.name;
        EXPECT_EQ(site.changes, QStringList{QLatin1String(c.name)});
    }
    // Hosts pass Booleans and numbers loosely; they are coerced.
    put(control, DispIds::Balloon, Variant(1));
    EXPECT_EQ(get(control, DispIds::Balloon), Bool(true));
    put(control, DispIds::ToolTipText, Variant(12));
    EXPECT_EQ(get(control, DispIds::ToolTipText), Variant("12"));
    // The balloon's time-out is kept within 3 to 10 seconds.
    const std::pair<std::int32_t, std::int16_t> clamps[] = {{0, 3}, {11, 10},    {4, 4},
                                                            {9, 9}, {-40000, 3}, {100000, 10}};
    for (const auto& [given, stored] : clamps) {
        EXPECT_EQ(put(control, DispIds::BalloonTimeOut, Variant(given)), S_OK);
        EXPECT_EQ(get(control, DispIds::BalloonTimeOut), Variant::fromInteger(stored)) << given;
    }
}

TEST_F(ControlTest, IconAcceptsOnlyIconPicturesAndNoneRestoresTheLibraryIcon)
{
    auto control = loaded(site);
    auto mine = Picture::load(writeIcon(QStringLiteral("mine.ico")));
    ASSERT_TRUE(mine && mine->type() == Picture::Icon);
    EXPECT_EQ(put(*control, DispIds::Icon, Variant(mine), DispatchKind::PropertyPutRef), S_OK);
    EXPECT_EQ(control->icon(), mine);

    QImage bitmap(16, 16, QImage::Format_RGB32);
    bitmap.fill(Qt::green);
    site.changes.clear();
    EXPECT_EQ(put(*control, DispIds::Icon, Variant(Picture::fromBitmap(bitmap)), DispatchKind::PropertyPutRef), S_OK);
    EXPECT_EQ(site.messages, QStringList{QStringLiteral("アイコンが不正です。")});
    EXPECT_EQ(control->icon(), mine);
    EXPECT_TRUE(site.changes.isEmpty());

    EXPECT_EQ(put(*control, DispIds::Icon, Variant(), DispatchKind::PropertyPutRef), S_OK);
    ASSERT_TRUE(control->icon());
    EXPECT_NE(control->icon(), mine);
    EXPECT_EQ(control->icon()->type(), Picture::Icon);
    EXPECT_EQ(site.changes, QStringList{QStringLiteral("Icon")});

    // Icon is assigned by reference only.
    EXPECT_EQ(put(*control, DispIds::Icon, Variant(mine)), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(put(*control, DispIds::Icon, Variant("x"), DispatchKind::PropertyPutRef), DISP_E_TYPEMISMATCH);
}

TEST_F(ControlTest, AutoRefreshDecidesWhetherAssignmentsReachTheShellAtOnce)
{
    auto control = loaded(site);
    call(*control, DispIds::Show);
    shell.calls.clear();
    put(*control, DispIds::ToolTipText, Variant("before"));
    EXPECT_TRUE(shell.calls.empty());
    call(*control, DispIds::Refresh);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].operation, NIM_MODIFY);
    EXPECT_EQ(shell.calls[0].request.tip, QStringLiteral("before"));

    shell.calls.clear();
    put(*control, DispIds::AutoRefresh, Bool(true));
    put(*control, DispIds::BalloonTimeOut, Variant(5));
    EXPECT_TRUE(shell.calls.empty()); // these two only store
    for (DispId id : {DispIds::BalloonIcon, DispIds::ToolTipText, DispIds::BalloonTitle, DispIds::Balloon,
                      DispIds::BalloonSound, DispIds::BalloonText})
        put(*control, id, id == DispIds::ToolTipText ? Variant("after") : get(*control, id));
    ASSERT_EQ(shell.calls.size(), 6u);
    EXPECT_EQ(shell.calls[1].request.tip, QStringLiteral("after"));

    // The balloon text shows the balloon with the current title; empty text hides it.
    put(*control, DispIds::Balloon, Bool(true));
    put(*control, DispIds::BalloonTitle, Variant("Tessaly"));
    shell.calls.clear();
    put(*control, DispIds::BalloonText, Variant("議事録: 3件"));
    ASSERT_EQ(shell.calls.size(), 1u);
    TrayIconRequest data = shell.calls[0].request;
    EXPECT_EQ(data.flags, 23u);
    EXPECT_EQ(data.infoTitle, QStringLiteral("Tessaly"));
    EXPECT_EQ(data.info, QStringLiteral("議事録: 3件"));
    put(*control, DispIds::BalloonText, Variant(QString()));
    data = shell.calls.back().request;
    EXPECT_EQ(data.flags, 23u);
    EXPECT_TRUE(data.info.isEmpty());
}

TEST_F(ControlTest, TextsReachTheNotificationAreaUnchangedAndAreCutOnCharacters)
{
    // Limits count characters (code points): a cut never splits one made
    // of two UTF-16 units, and é or a kanji is one character, not bytes.
    const QString mixed = QStringLiteral("é 漢字 \U0001F600 ｶﾅ");
    const QString emoji = QStringLiteral("\U0001F600");
    const QString a = QStringLiteral("a"), e = QStringLiteral("é"), kanji = QStringLiteral("漢");
    const struct {
        DispId property;
        QString text;
        QString sent;
    } cases[] = {
        {DispIds::BalloonText, mixed + QStringLiteral("\r\n"), mixed + QStringLiteral("\r\n")},
        {DispIds::ToolTipText, a.repeated(126) + emoji + a, a.repeated(126) + emoji},
        {DispIds::ToolTipText, a.repeated(127) + emoji, a.repeated(127)},
        {DispIds::BalloonTitle, e.repeated(62) + emoji + emoji, e.repeated(62) + emoji},
        {DispIds::BalloonText, kanji.repeated(254) + emoji + a, kanji.repeated(254) + emoji},
        {DispIds::BalloonText, emoji.repeated(256), emoji.repeated(255)},
    };
    auto control = loaded(site);
    put(*control, DispIds::Balloon, Bool(true));
    put(*control, DispIds::AutoRefresh, Bool(true));
    call(*control, DispIds::Show);
    for (const auto& [property, text, sent] : cases) {
        put(*control, property, Variant(text));
        EXPECT_EQ(get(*control, property), Variant(text)); // the property keeps the whole text
        const TrayIconRequest& request = shell.calls.back().request;
        const QString& received = property == DispIds::ToolTipText    ? request.tip
                                  : property == DispIds::BalloonTitle ? request.infoTitle
                                                                      : request.info;
        EXPECT_EQ(received, sent) << property << " " << text.size();
    }
}

TEST_F(ControlTest, ShowVanishRefreshActOnlyForALoadedControlAtRunTime)
{
    Lumitray fresh(&site); // created as new: never gets an identifier
    fresh.initNew();
    TestSite designer;
    designer.running = false;
    Lumitray designed(&designer);
    designed.readProperties(MemoryPropertyBag());
    EXPECT_EQ(designed.iconId(), 0);
    for (DispId id : {DispIds::Show, DispIds::Refresh, DispIds::Vanish}) {
        EXPECT_EQ(call(fresh, id), S_OK);
        call(designed, id);
    }
    EXPECT_TRUE(shell.calls.empty());

    auto control = loaded(site);
    for (DispId id : {DispIds::Show, DispIds::Refresh, DispIds::Vanish})
        call(*control, id);
    ASSERT_EQ(shell.calls.size(), 3u);
    EXPECT_EQ(shell.calls[0].operation, NIM_ADD);
    EXPECT_EQ(shell.calls[1].operation, NIM_MODIFY);
    EXPECT_EQ(shell.calls[2].operation, NIM_DELETE);
    EXPECT_EQ(shell.calls[0].request.id, control->iconId());
    EXPECT_EQ(shell.calls[0].request.window, control->window());
}

TEST_F(ControlTest, EachCallbackRaisesItsEventWithItsButton)
{
    auto control = loaded(site);
    const std::pair<std::intptr_t, RaisedEvent> cases[] = {
        {0x200, {EventIds::MouseMove, 0}},
        {0x201, {EventIds::MouseDown, 1}},
        {0x202, {EventIds::MouseUp, 1}},
        {0x203, {EventIds::DblClick, 1}},
        {0x207, {EventIds::MouseDown, 4}},
        {0x208, {EventIds::MouseUp, 4}},
        {0x209, {EventIds::DblClick, 4}},
        {0x204, {EventIds::MouseDown, 2}},
        {0x205, {EventIds::MouseUp, 2}},
        {0x206, {EventIds::DblClick, 2}},
        {0x402, {EventIds::BalloonShow, 0}},
        {0x405, {EventIds::BalloonClick, 0}},
        {0x403, {EventIds::BalloonClose, 0}},
        {0x404, {EventIds::BalloonClose, 0}},
        {0x400, {0, -1}},
        {0x401, {0, -1}},
        {0x100, {0, -1}},
        {0, {0, -1}}, // none
    };
    for (const auto& [lParam, event] : cases) {
        events.events.clear();
        WindowTable::instance().send(control->window(), basTaskTray::CallbackMessage(),
                                     static_cast<std::uint32_t>(control->iconId()), lParam);
        EXPECT_EQ(events.events, event.button < 0 ? std::vector<RaisedEvent>{} : std::vector{event})
            << std::hex << lParam;
    }
}

TEST_F(ControlTest, ControlArrayMembersGetIdentifiersDifferingOnlyInTheIndex)
{
    TestSite first, second, single, broken;
    first.indexError = second.indexError = 0;
    second.index = 1;
    broken.indexError = 5;
    auto a = loaded(first), b = loaded(second), c = loaded(single), d = loaded(broken);
    const auto name = [](const auto& control) {
        return AtomTable::global().name(static_cast<std::uint16_t>(control->iconId()));
    };
    EXPECT_EQ(name(a), QStringLiteral("Lumitray1(0).ID By Pemberd"));
    EXPECT_EQ(name(b), QStringLiteral("Lumitray1(1).ID By Pemberd"));
    EXPECT_EQ(name(c), QStringLiteral("Lumitray1.ID By Pemberd"));
    EXPECT_LT(a->iconId(), 0); // string atoms widened with their sign
    EXPECT_EQ(d->iconId(), 0); // any other error: empty name, no identifier
    call(*d, DispIds::Show);
    EXPECT_TRUE(shell.calls.empty());
}

namespace {

/// Notes, at the moment of each delete, whether the window is still hooked
/// and whether the atom still exists.
class TerminationProbe final : public NotificationArea {
public:
    std::vector<std::pair<bool, bool>> deletes;
    bool notifyIcon(std::uint32_t operation, const TrayIconRequest& data) override
    {
        if (operation == NIM_DELETE)
            deletes.emplace_back(WindowTable::instance().windowProc(data.window) == &basWndProc::TrayWindowProc,
                                 !AtomTable::global().name(static_cast<std::uint16_t>(data.id)).isEmpty());
        return true;
    }
};

} // namespace

TEST_F(ControlTest, TerminationUnhooksThenDeletesTheIconThenFreesHandleAndAtom)
{
    auto probe = std::make_unique<TerminationProbe>();
    TerminationProbe* seen = probe.get();
    auto previous = SetNotificationArea(std::move(probe));
    auto control = loaded(site);
    control->setIconHandleFromFile(writeIcon(QStringLiteral("t.ico")));
    const ImageHandle handle = control->iconHandle();
    ASSERT_NE(handle, 0);
    const std::uint16_t atom = static_cast<std::uint16_t>(control->iconId());
    EXPECT_EQ(WindowTable::instance().windowProc(control->window()), &basWndProc::TrayWindowProc);

    control->terminate();
    ASSERT_EQ(seen->deletes.size(), 1u); // deleted even though never shown
    EXPECT_EQ(seen->deletes[0], std::make_pair(false, true));
    EXPECT_NE(WindowTable::instance().windowProc(control->window()), &basWndProc::TrayWindowProc);
    EXPECT_FALSE(IconTable::instance().isIcon(handle));
    EXPECT_TRUE(AtomTable::global().name(atom).isEmpty());
    EXPECT_EQ(control->iconId(), 0);
    control->show();
    control.reset(); // a second termination does nothing
    EXPECT_EQ(seen->deletes.size(), 1u);
    SetNotificationArea(std::move(previous));
}

TEST_F(ControlTest, IconHandleKeepsItsOwnSixteenPixelCopy)
{
    auto control = loaded(site);
    const ImageHandle given = LoadIconFile(writeIcon(QStringLiteral("g.ico")), 32, 32);
    ASSERT_NE(given, 0);
    const int before = IconTable::instance().liveCount();
    EXPECT_EQ(put(*control, DispIds::IconHandle, Variant(given)), S_OK);
    const ImageHandle copy = control->iconHandle();
    EXPECT_NE(copy, given);
    EXPECT_EQ(IconTable::instance().image(copy).size(), QSize(16, 16));
    EXPECT_TRUE(IconTable::instance().isIcon(given)); // the caller keeps its own

    put(*control, DispIds::IconHandle, Variant(given));
    EXPECT_FALSE(IconTable::instance().isIcon(copy)); // the old copy is destroyed
    EXPECT_EQ(IconTable::instance().liveCount(), before + 1);
    put(*control, DispIds::IconHandle, Variant(control->iconHandle())); // its own handle again
    EXPECT_TRUE(IconTable::instance().isIcon(control->iconHandle()));
    put(*control, DispIds::IconHandle, Variant(12345)); // not an icon
    EXPECT_EQ(control->iconHandle(), 0);
    IconTable::instance().destroyIcon(given);
}

TEST_F(ControlTest, IconFromFileOrResourceWinsOverIconAtTheNextShowAndBadSourcesGiveNoHandle)
{
    auto control = loaded(site);
    site.changes.clear();
    const QString good = writeIcon(QStringLiteral("f.ico"));
    EXPECT_EQ(call(*control, DispIds::SetIconHandleFromFile, {Variant(good)}), S_OK);
    const ImageHandle handle = control->iconHandle();
    EXPECT_EQ(IconTable::instance().image(handle).size(), QSize(16, 16));
    EXPECT_TRUE(site.changes.isEmpty());
    EXPECT_TRUE(shell.calls.empty());
    call(*control, DispIds::Show);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].request.icon, handle);
    EXPECT_NE(handle, control->icon() ? control->icon()->handle() : 0);

    QFile file(good);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray icon = file.readAll();
    QImage bitmap(8, 8, QImage::Format_RGB32);
    bitmap.fill(Qt::blue);
    bitmap.save(m_folder.filePath(QStringLiteral("b.bmp")));
    const int live = IconTable::instance().liveCount();
    for (const QString& path :
         {m_folder.filePath(QStringLiteral("missing.ico")), m_folder.filePath(QStringLiteral("b.bmp")),
          writeFile(QStringLiteral("cut.ico"), icon.left(30)), writeFile(QStringLiteral("empty.ico")),
          writeFile(QStringLiteral("garbage.ico"), icon.left(6) + QByteArray(200, '\xff')), QString()}) {
        EXPECT_EQ(call(*control, DispIds::SetIconHandleFromFile, {Variant(path)}), S_OK);
        EXPECT_EQ(control->iconHandle(), 0) << path.toStdString();
    }
    EXPECT_EQ(IconTable::instance().liveCount(), live - 1); // the replaced handle was freed

    // A resource is named by number or by "#number".
    const std::int32_t module = LibraryInstance();
    const std::pair<Variant, Variant> resources[] = {{Variant(module), Variant(101)},
                                                     {Variant(module), Variant("#101")},
                                                     {Variant(module), Variant("NONE")},
                                                     {Variant(module + 1), Variant(101)}};
    for (std::size_t i = 0; i < std::size(resources); ++i) {
        EXPECT_EQ(call(*control, DispIds::SetIconHandleFromResource, {resources[i].first, resources[i].second}), S_OK);
        EXPECT_EQ(control->iconHandle() != 0, i < 2) << i;
    }
    EXPECT_EQ(call(*control, DispIds::SetIconHandleFromResource, {Variant(module), Variant(control->icon())}),
              DISP_E_TYPEMISMATCH);
}

namespace {

/// A bag that also notes the order in which keys are asked for.
class LoggingBag final : public PropertyBag {
public:
    MemoryPropertyBag stored;
    mutable QStringList asked;
    Variant read(const QString& key, const Variant& fallback) const override
    {
        asked << key;
        return stored.read(key, fallback);
    }
    void write(const QString& key, const Variant& value, const Variant& fallback) override
    {
        stored.write(key, value, fallback);
    }
};

} // namespace

TEST_F(ControlTest, PropertiesAreSavedAndLoadedInOrderWithoutSetterChecks)
{
    const QStringList order = QStringLiteral("Icon BalloonIcon ToolTipText BalloonTitle Balloon BalloonSound "
                                             "BalloonText AutoRefresh IconHandle BalloonTimeOut")
                                  .split(QLatin1Char(' '));
    TestSite designer;
    designer.running = false;
    Lumitray control(&designer);
    control.initNew();
    LoggingBag defaults;
    control.writeProperties(defaults);
    ASSERT_EQ(defaults.stored.entries().size(), 1u); // only the icon differs from its default
    EXPECT_EQ(defaults.stored.entries()[0].first, QStringLiteral("Icon"));

    for (const Property& c : Properties())
        put(control, c.id, c.value);
    put(control, DispIds::IconHandle, Variant(LoadIconResource(LibraryInstance(), 101, 16, 16)));
    LoggingBag bag;
    control.writeProperties(bag);
    QStringList written;
    for (const auto& entry : bag.stored.entries())
        written << entry.first;
    EXPECT_EQ(written, order);

    // Stored values go in as they are: no clamp, no icon check, no reports.
    bag.stored.set(QStringLiteral("BalloonTimeOut"), Variant(42));
    auto bitmap = Picture::fromBitmap(QImage(4, 4, QImage::Format_RGB32));
    bag.stored.set(QStringLiteral("Icon"), Variant(bitmap));
    auto loadedControl = std::make_unique<Lumitray>(&site);
    site.changes.clear();
    loadedControl->readProperties(bag);
    EXPECT_EQ(bag.asked, order);
    EXPECT_EQ(loadedControl->balloonTimeOut(), 42);
    EXPECT_EQ(loadedControl->icon(), bitmap);
    EXPECT_EQ(loadedControl->toolTipText(), QStringLiteral("監視中"));
    EXPECT_EQ(loadedControl->balloonSound(), False);
    EXPECT_EQ(loadedControl->autoRefresh(), True);
    EXPECT_TRUE(site.changes.isEmpty());
    EXPECT_TRUE(site.messages.isEmpty());
}

TEST_F(ControlTest, DispatchRejectsUnknownMembersWrongKindsAndBadArguments)
{
    auto control = loaded(site);
    Variant result;
    EXPECT_EQ(control->invoke(0x12345, DispatchKind::PropertyGet, {}, &result), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(put(*control, DispIds::IsNewVersion, Bool(false)), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(control->invoke(DispIds::Show, DispatchKind::PropertyGet, {}, &result), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(control->invoke(DispIds::ToolTipText, DispatchKind::PropertyGet, {}, nullptr), E_POINTER);
    EXPECT_EQ(put(*control, DispIds::BalloonTimeOut, Variant("abc")), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(put(*control, DispIds::Balloon, Variant("perhaps")), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(call(*control, DispIds::Show, {Variant(1)}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(call(*control, DispIds::SetIconHandleFromFile), DISP_E_BADPARAMCOUNT);
    std::vector<Variant> two{Variant(1), Variant(2)};
    EXPECT_EQ(control->invoke(DispIds::ToolTipText, DispatchKind::PropertyPut, two, nullptr), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(get(*control, DispIds::BalloonTimeOut), Variant::fromInteger(3));
}

TEST_F(ControlTest, AHandlerMayRemoveTheIconFromInsideItsEvent)
{
    auto control = loaded(site);
    call(*control, DispIds::Show);
    struct Vanisher final : EventSink {
        Lumitray* control;
        explicit Vanisher(Lumitray* c) : control(c) {}
        void invoke(DispId id, std::span<Variant>) override
        {
            if (id == EventIds::BalloonClick)
                control->vanish();
        }
    } vanisher(control.get());
    control->advise(&vanisher);
    WindowTable::instance().send(control->window(), basTaskTray::CallbackMessage(), 0, 0x405);
    EXPECT_EQ(shell.calls.back().operation, NIM_DELETE);
    EXPECT_EQ(events.events, std::vector<RaisedEvent>({{EventIds::BalloonClick, 0}}));
}

TEST_F(ControlTest, ADesignerSeesTheIconCentredOnA32PixelControl)
{
    TestSite designer;
    designer.running = false;
    Lumitray control(&designer);
    control.initNew();
    const QImage image = control.designImage();
    ASSERT_EQ(image.size(), QSize(32, 32));
    EXPECT_GT(qAlpha(image.pixel(16, 16)), 0);
    EXPECT_EQ(qAlpha(image.pixel(2, 2)), 0);
    EXPECT_EQ(qAlpha(image.pixel(29, 29)), 0);
    designer.extent = {0, 0};
    control.resized();
    EXPECT_GT(designer.extent.first, 0);
    EXPECT_EQ(designer.extent.first % 32, 0);
    EXPECT_EQ(designer.extent.second, designer.extent.first);
}

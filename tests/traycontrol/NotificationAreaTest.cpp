// SPDX-License-Identifier: MIT
// The desktop notification area driven by a real control: requests become
// tray icons and balloons, and tray signals come back as the control's
// events. The offscreen platform has no tray, so the tests emit the tray
// icon's signals themselves; the notification service is a stand-in whose
// answers the tests choose.
#include "TestDoubles.h"

#include "traycontrol/Lumitray.h"
#include "traycontrol/MemoryPropertyBag.h"
#include "traycontrol/NotificationBus.h"
#include "traycontrol/QtNotificationArea.h"

#include <QCoreApplication>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace lumitray;
using namespace lumitray::test;

namespace {

/// A notification service that keeps the notices and answers when told.
class ScriptedBus final : public NotificationBus {
public:
    std::vector<BalloonNotice> notices;
    std::vector<std::function<void(quint32)>> pending;
    std::vector<quint32> closed;

    void notify(const BalloonNotice& notice, std::function<void(quint32 id)> done) override
    {
        notices.push_back(notice);
        pending.push_back(std::move(done));
    }
    void close(quint32 id) override { closed.push_back(id); }
    /// Answers the oldest notice still waiting.
    void answer(quint32 id)
    {
        auto done = pending.front();
        pending.erase(pending.begin());
        done(id);
    }
    void click(quint32 id) { emit actionInvoked(id, QStringLiteral("default")); }
    void closedBy(quint32 id, quint32 reason) { emit notificationClosed(id, reason); }
};

class AreaTest : public ::testing::Test {
protected:
    /// Installs the area for `protocol` and loads a control on it (again
    /// when called a second time).
    void start(TrayProtocol protocol)
    {
        if (control)
            TearDown();
        QtNotificationArea::Options options;
        options.protocol = protocol;
        auto scripted = std::make_unique<ScriptedBus>();
        bus = scripted.get();
        options.bus = std::move(scripted);
        options.clock = [this] { return now; };
        auto created = std::make_unique<QtNotificationArea>(std::move(options));
        area = created.get();
        m_previous = SetNotificationArea(std::move(created));
        control = std::make_unique<Lumitray>(&site);
        control->readProperties(MemoryPropertyBag());
        control->advise(&log);
    }
    void TearDown() override
    {
        control.reset();
        SetNotificationArea(std::move(m_previous));
        settle();
    }
    /// Delivers the callbacks the area has posted, and those they post (a
    /// balloon's click is decided after the event that reported it).
    static void settle()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QSystemTrayIcon* tray() const { return area->trayIcon(control->window(), control->iconId()); }
    std::vector<RaisedEvent> take()
    {
        settle();
        return std::exchange(log.events, {});
    }
    void showBalloon(const QString& text, const QString& title = QStringLiteral("Tessaly"))
    {
        control->setBalloon(True);
        control->setBalloonTitle(title);
        control->setBalloonText(text);
        control->refresh();
    }
    void activate(QSystemTrayIcon::ActivationReason reason) { emit tray()->activated(reason); }
    /// Gives the control a red icon from a file.
    void useRedIcon()
    {
        QImage red(16, 16, QImage::Format_ARGB32);
        red.fill(Qt::red);
        ASSERT_TRUE(red.save(m_folder.filePath(QStringLiteral("red.ico")), "ico"));
        control->setIconHandleFromFile(m_folder.filePath(QStringLiteral("red.ico")));
    }

    TestSite site;
    EventLog log;
    ScriptedBus* bus = nullptr;
    QtNotificationArea* area = nullptr;
    qint64 now = 1000;
    std::unique_ptr<Lumitray> control;

private:
    std::unique_ptr<NotificationArea> m_previous;
    QTemporaryDir m_folder;
};

/// The program's tray menu: a checked switch, a separator and two commands.
struct ProgramMenu {
    QMenu menu;
    QAction* check = menu.addAction(QStringLiteral("購読"));
    QAction* separator = menu.addSeparator();
    QAction* open = menu.addAction(QStringLiteral("開く"));
    QAction* end = menu.addAction(QStringLiteral("終了する"));
    ProgramMenu()
    {
        check->setCheckable(true);
        check->setChecked(true);
    }
};

/// A menu's entries as a host shows them: "-" for a separator, "[x]" and
/// "[ ]" before a check mark.
QStringList Entries(const QMenu* menu)
{
    QStringList entries;
    for (const QAction* action : menu->actions()) {
        if (action->isSeparator())
            entries << QStringLiteral("-");
        else if (action->isCheckable())
            entries << (action->isChecked() ? QStringLiteral("[x] ") : QStringLiteral("[ ] ")) + action->text();
        else
            entries << action->text();
    }
    return entries;
}

using Raised = std::vector<RaisedEvent>;
const RaisedEvent Show{EventIds::BalloonShow, 0};
const RaisedEvent Click{EventIds::BalloonClick, 0};
const RaisedEvent Close{EventIds::BalloonClose, 0};

} // namespace

TEST_F(AreaTest, ShowPutsTheIconWithItsToolTipAndVanishTakesItAway)
{
    start(TrayProtocol::XEmbed);
    control->setToolTipText(QStringLiteral("監視中 ｶﾀｶﾅ"));
    control->show();
    ASSERT_TRUE(tray());
    EXPECT_TRUE(tray()->isVisible());
    EXPECT_EQ(tray()->toolTip(), QStringLiteral("監視中 ｶﾀｶﾅ"));
    EXPECT_FALSE(tray()->icon().isNull());

    useRedIcon();
    control->setToolTipText(QStringLiteral("停止中"));
    EXPECT_EQ(tray()->toolTip(), QStringLiteral("監視中 ｶﾀｶﾅ")); // not before Refresh
    control->refresh();
    EXPECT_EQ(tray()->toolTip(), QStringLiteral("停止中"));
    EXPECT_EQ(tray()->icon().pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::red));

    control->vanish();
    EXPECT_FALSE(tray());
}

TEST_F(AreaTest, XEmbedClicksBecomeMouseEventsAndTheMenuIsLeftToTheProgram)
{
    // The tray would pop an offered menu up on a right click itself, and
    // the program pops its own up for MouseDown: one menu, not two.
    start(TrayProtocol::XEmbed);
    ProgramMenu program;
    SetNotifyIconMenu(control->window(), control->iconId(), &program.menu);
    control->show();
    EXPECT_FALSE(tray()->contextMenu());
    const std::pair<QSystemTrayIcon::ActivationReason, Raised> cases[] = {
        {QSystemTrayIcon::Trigger, {{EventIds::MouseDown, 1}, {EventIds::MouseUp, 1}}},
        {QSystemTrayIcon::DoubleClick, {{EventIds::DblClick, 1}}},
        {QSystemTrayIcon::Context, {{EventIds::MouseDown, 2}, {EventIds::MouseUp, 2}}},
        {QSystemTrayIcon::MiddleClick, {{EventIds::MouseDown, 4}, {EventIds::MouseUp, 4}}},
    };
    for (const auto& [reason, expected] : cases) {
        activate(reason);
        EXPECT_EQ(take(), expected) << reason;
    }
}

TEST_F(AreaTest, XEmbedBalloonsAreShownClickedReplacedAndTimedOut)
{
    start(TrayProtocol::XEmbed);
    control->show();
    control->setBalloonTimeOut(3);
    showBalloon(QStringLiteral("議事録: 2件"));
    EXPECT_EQ(take(), Raised{Show});
    // Whatever the control's time-out, the balloon stays ten seconds.
    auto* const timer = tray()->findChild<QTimer*>(QStringLiteral("balloonTimer"));
    ASSERT_TRUE(timer && timer->isActive());
    EXPECT_EQ(timer->interval(), 10000);
    emit tray()->messageClicked();
    EXPECT_EQ(take(), Raised{Click});
    emit tray()->messageClicked(); // no balloon open any more
    EXPECT_TRUE(take().empty());
    // A record that changes only the tool tip passes the same balloon
    // again: it is not shown twice.
    control->setToolTipText(QStringLiteral("ﾁｪｯｸ中…"));
    control->refresh();
    EXPECT_TRUE(take().empty());
    // Qt reports a click on the icon while its balloon shows as a click on
    // the balloon first: that is the icon's click alone.
    showBalloon(QStringLiteral("議事録: 3件"));
    EXPECT_EQ(take(), Raised{Show});
    emit tray()->messageClicked();
    activate(QSystemTrayIcon::Context);
    EXPECT_EQ(take(), Raised({Close, {EventIds::MouseDown, 2}, {EventIds::MouseUp, 2}}));

    showBalloon(QStringLiteral("一"));
    showBalloon(QStringLiteral("二"));
    EXPECT_EQ(take(), Raised({Show, Close, Show}));
    QMetaObject::invokeMethod(timer, "timeout");
    EXPECT_EQ(take(), Raised{Close});

    showBalloon(QStringLiteral("三"));
    control->setBalloonText(QString());
    control->refresh();
    EXPECT_EQ(take(), Raised({Show, Close}));
    EXPECT_TRUE(bus->notices.empty()); // Qt draws these balloons itself
}

TEST_F(AreaTest, NoticesWithoutAKindShowTheProgramsIcon)
{
    start(TrayProtocol::StatusNotifierItem);
    useRedIcon();
    control->show();
    showBalloon(QStringLiteral("件数"));
    ASSERT_EQ(bus->notices.size(), 1u);
    const QImage shown = bus->notices[0].image;
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() / 2), QColor(Qt::red));
}

TEST_F(AreaTest, StatusNotifierActivationsOpenOncePerBurst)
{
    start(TrayProtocol::StatusNotifierItem);
    control->show();
    for (qint64 at : {1000, 1150, 1300}) {
        now = at;
        activate(QSystemTrayIcon::Trigger);
    }
    EXPECT_EQ(take(), Raised({{EventIds::DblClick, 1}}));
    now = 5000;
    activate(QSystemTrayIcon::Trigger);
    EXPECT_EQ(take(), Raised({{EventIds::DblClick, 1}}));
    activate(QSystemTrayIcon::Context);
    EXPECT_EQ(take(), Raised({{EventIds::MouseDown, 2}, {EventIds::MouseUp, 2}}));
}

TEST_F(AreaTest, StatusNotifierBalloonsGoToTheNotificationService)
{
    start(TrayProtocol::StatusNotifierItem);
    control->show();
    control->setBalloonIcon(BalloonIcon_Warning);
    control->setBalloonSound(False);
    control->setBalloonTimeOut(5);
    // Texts reach the service as they are: no Shift-JIS on the way.
    showBalloon(QStringLiteral("議事録: 2件 café \U0001F600"), QStringLiteral("Tessaly é \U0001F600"));
    ASSERT_EQ(bus->notices.size(), 1u);
    EXPECT_EQ(bus->notices[0].title, QStringLiteral("Tessaly é \U0001F600"));
    EXPECT_EQ(bus->notices[0].text, QStringLiteral("議事録: 2件 café \U0001F600"));
    EXPECT_EQ(bus->notices[0].iconKind, 2u);
    EXPECT_TRUE(bus->notices[0].image.isNull()); // a warning keeps the desktop's warning icon
    EXPECT_TRUE(bus->notices[0].silent);
    EXPECT_EQ(bus->notices[0].timeoutMs, 10000);
    EXPECT_TRUE(take().empty()); // not shown until the service has it
    bus->answer(7);
    EXPECT_EQ(take(), Raised{Show});
    bus->click(7);
    bus->closedBy(7, 2); // the service closes a clicked notice: not a second event
    EXPECT_EQ(take(), Raised{Click});

    showBalloon(QStringLiteral("次"));
    bus->answer(8);
    showBalloon(QStringLiteral("その次")); // replaces the open notice
    EXPECT_EQ(bus->notices.back().replacesId, 8u);
    bus->answer(8);
    bus->closedBy(8, 1);
    EXPECT_EQ(take(), Raised({Show, Close, Show, Close}));
    bus->click(8); // unknown by now
    EXPECT_TRUE(take().empty());
}

TEST_F(AreaTest, ANoticeThatArrivesAfterItsIconWasRemovedIsClosedAndRaisesNothing)
{
    start(TrayProtocol::StatusNotifierItem);
    control->show();
    showBalloon(QStringLiteral("遅い"));
    control->vanish();
    bus->answer(9);
    EXPECT_EQ(bus->closed, std::vector<quint32>{9});
    showBalloon(QStringLiteral("no icon")); // modify for an absent icon fails silently
    EXPECT_EQ(bus->notices.size(), 1u);

    control->show();
    showBalloon(QStringLiteral("失敗"));
    bus->answer(0); // the service refused or is missing
    EXPECT_TRUE(take().empty());
}

TEST_F(AreaTest, WithoutATrayHostBalloonsStillReachTheNotificationService)
{
    start(TrayProtocol::None);
    control->show();
    showBalloon(QStringLiteral("トレイなし"));
    ASSERT_EQ(bus->notices.size(), 1u);
    bus->answer(3);
    EXPECT_EQ(take(), Raised{Show});
}

TEST_F(AreaTest, AnOldShellGetsTheShortToolTipWithoutBalloons)
{
    basTaskTray::SetVersionQuery([] { return std::optional<OsVersionInfo>(OsVersionInfo{2, 4, 0}); });
    start(TrayProtocol::XEmbed);
    basTaskTray::SetVersionQuery({});
    EXPECT_EQ(control->isNewVersion(), False);
    control->setToolTipText(QString(100, QLatin1Char('t')));
    control->show();
    showBalloon(QStringLiteral("見えない"));
    EXPECT_EQ(tray()->toolTip(), QString(63, QLatin1Char('t')));
    EXPECT_TRUE(take().empty());
}

TEST_F(AreaTest, TerminationRemovesTheIconAndLateCallbacksAreDropped)
{
    start(TrayProtocol::XEmbed);
    control->show();
    QPointer<QSystemTrayIcon> icon = tray();
    activate(QSystemTrayIcon::Trigger); // posted, not yet delivered
    control.reset();
    settle();
    EXPECT_TRUE(log.events.empty());
    EXPECT_TRUE(icon.isNull());
}

TEST_F(AreaTest, StatusNotifierIconsCarryTheOfferedMenuForTheHostToDraw)
{
    start(TrayProtocol::StatusNotifierItem);
    control->show();
    EXPECT_FALSE(tray()->contextMenu()); // nothing offered: the host asks the program
    // A menu offered to a shown icon reaches it.
    auto program = std::make_unique<ProgramMenu>();
    SetNotifyIconMenu(control->window(), control->iconId(), &program->menu);
    ASSERT_TRUE(tray()->contextMenu());
    const QMenu* exported = tray()->contextMenu();
    EXPECT_NE(exported, &program->menu); // the program's own menu stays free for its popups
    EXPECT_EQ(Entries(exported), QStringList({"[x] 購読", "-", "開く", "終了する"}));

    // The menu follows the program's changes, and comes back with the icon.
    QAction* about = program->menu.addAction(QStringLiteral("情報"));
    program->menu.removeAction(program->separator);
    program->check->setChecked(false);
    EXPECT_EQ(Entries(tray()->contextMenu()), QStringList({"[ ] 購読", "開く", "終了する", "情報"}));
    control->vanish();
    control->show();
    ASSERT_TRUE(tray()->contextMenu());
    EXPECT_EQ(Entries(tray()->contextMenu()), QStringList({"[ ] 購読", "開く", "終了する", "情報"}));
    delete about;
    EXPECT_EQ(tray()->contextMenu()->actions().size(), 3);
    SetNotifyIconMenu(control->window(), control->iconId(), nullptr); // withdrawn
    EXPECT_TRUE(tray()->contextMenu()->actions().isEmpty());
    SetNotifyIconMenu(control->window(), control->iconId(), &program->menu);
    EXPECT_EQ(tray()->contextMenu()->actions().size(), 3);

    // A program menu that goes first leaves an empty menu, never a dangling one.
    program.reset();
    ASSERT_TRUE(tray()->contextMenu());
    EXPECT_TRUE(tray()->contextMenu()->actions().isEmpty());
    control->vanish();
    settle();
}

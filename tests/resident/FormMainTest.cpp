// SPDX-License-Identifier: MIT
// The main window: caption, menus, the one-child rule, the exit command and
// the time panel.
#include "support/FixedClock.h"

#include "PlaceholderWindow.h"
#include "common/AutomationDate.h"
#include "resident/ChildWindowFactory.h"
#include "resident/FormMain.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QStatusBar>
#include <QTest>

using namespace tessaly;
using namespace tessaly::test;

namespace {

/// Placeholders, except that a child may be told to refuse being closed.
class TestWindows final : public ChildWindowFactory {
public:
    QWidget* create(ChildWindow kind) override
    {
        ++created;
        if (refuseClose)
            return new StubbornWindow(kind);
        return new PlaceholderWindow(kind);
    }

    class StubbornWindow final : public QWidget {
    public:
        explicit StubbornWindow(ChildWindow kind) { setWindowTitle(PlaceholderWindow::Caption(kind)); }
        void closeEvent(QCloseEvent* event) override { event->ignore(); }
    };

    bool refuseClose = false;
    int created = 0;
};

QStringList Texts(const QList<QAction*>& actions)
{
    QStringList texts;
    for (QAction* action : actions)
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

QString ChildCaption(const FormMain& frame)
{
    const QList<QMdiSubWindow*> children = frame.childWindows();
    return children.size() == 1 ? children.front()->widget()->windowTitle() : QString();
}

} // namespace

class FormMainTest final : public QObject {
    Q_OBJECT

private slots:
    void captionAndMenus();
    void commandsOpenTheirWindow_data();
    void commandsOpenTheirWindow();
    void onlyOneChildAtATime();
    void sameCommandLoadsTheWindowAgain();
    void childThatRefusesToCloseStays();
    void exitClosesTheChildAndEnds();
    void timePanelShowsTheClock();

private:
    struct Frame {
        TestWindows windows;
        FixedClock clock{ToAutomationDate({2024, 12, 6, 21, 5, 9})};
        int ends = 0;
        QPointer<FormMain> frame = new FormMain(windows, clock, [this] { ++ends; });
        ~Frame() { delete frame.data(); }
        void trigger(const char* name) { frame->findChild<QAction*>(QLatin1String(name))->trigger(); }
    };
};

void FormMainTest::captionAndMenus()
{
    Frame f;
    QCOMPARE(f.frame->windowTitle(), QStringLiteral("Tessaly Ver  1.2.0"));
    const QList<QAction*> bar = f.frame->menuBar()->actions();
    QCOMPARE(Texts(bar), QStringList({QStringLiteral("ﾌｧｲﾙ(&F)"), QStringLiteral("ﾘｽﾄ(&L)"), QStringLiteral("設定(&C)"),
                                      QStringLiteral("ﾍﾙﾌﾟ(&H)")}));
    QVERIFY(!bar[1]->menu()); // ﾘｽﾄ is a command, not a menu
    QCOMPARE(Texts(bar[0]->menu()->actions()),
             QStringList({QStringLiteral("-"), QStringLiteral("閉じる"), QStringLiteral("Tessalyを終了する(&E)")}));
    QCOMPARE(Texts(bar[2]->menu()->actions()),
             QStringList({QStringLiteral("購読設定(&R)..."), QStringLiteral("基本設定(&B)...")}));
    QCOMPARE(Texts(bar[3]->menu()->actions()), QStringList({QStringLiteral("Tessalyについて(&A)...")}));
    QCOMPARE(f.frame->statusBar()->findChildren<QLabel*>().size(), 3);
}

void FormMainTest::commandsOpenTheirWindow_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("kind");
    QTest::newRow("MnuList") << QStringLiteral("MnuList") << int(ChildWindow::FormList);
    QTest::newRow("MnuCheck") << QStringLiteral("MnuCheck") << int(ChildWindow::FormConfig);
    QTest::newRow("MnuBasic") << QStringLiteral("MnuBasic") << int(ChildWindow::FormParam);
    QTest::newRow("MnuAbout") << QStringLiteral("MnuAbout") << int(ChildWindow::frmAbout);
}

void FormMainTest::commandsOpenTheirWindow()
{
    QFETCH(QString, command);
    QFETCH(int, kind);
    Frame f;
    f.frame->show();
    QVERIFY(f.frame->childWindows().isEmpty());
    f.trigger(command.toLatin1().constData());
    QCOMPARE(ChildCaption(*f.frame), PlaceholderWindow::Caption(static_cast<ChildWindow>(kind)));
    QVERIFY(f.frame->childWindows().front()->isVisible());
}

void FormMainTest::onlyOneChildAtATime()
{
    Frame f;
    f.frame->show();
    f.trigger("MnuBasic");
    QPointer<QWidget> settings = f.frame->childWindows().front();
    f.trigger("MnuList");
    QCOMPARE(f.frame->childWindows().size(), 1);
    QCOMPARE(ChildCaption(*f.frame), PlaceholderWindow::Caption(ChildWindow::FormList));
    QTRY_VERIFY(!settings);
    f.trigger("MnuAbout");
    f.trigger("MnuCheck");
    QCOMPARE(f.frame->childWindows().size(), 1);
    QCOMPARE(ChildCaption(*f.frame), PlaceholderWindow::Caption(ChildWindow::FormConfig));
}

void FormMainTest::sameCommandLoadsTheWindowAgain()
{
    Frame f;
    f.frame->show();
    f.trigger("MnuList");
    QPointer<QWidget> first = f.frame->childWindows().front()->widget();
    f.trigger("MnuList");
    QCOMPARE(f.windows.created, 2);
    QCOMPARE(f.frame->childWindows().size(), 1);
    QVERIFY(f.frame->childWindows().front()->widget() != first.data());
    QTRY_VERIFY(!first);
}

void FormMainTest::childThatRefusesToCloseStays()
{
    Frame f;
    f.frame->show();
    f.windows.refuseClose = true;
    f.trigger("MnuBasic");
    f.windows.refuseClose = false;
    f.trigger("MnuList");
    QCOMPARE(f.windows.created, 1);
    QCOMPARE(ChildCaption(*f.frame), PlaceholderWindow::Caption(ChildWindow::FormParam));
}

void FormMainTest::exitClosesTheChildAndEnds()
{
    Frame f;
    f.frame->show();
    f.trigger("MnuCheck");
    f.trigger("MnuEnd");
    QCOMPARE(f.ends, 1);
    QVERIFY(f.frame->childWindows().isEmpty());
}

void FormMainTest::timePanelShowsTheClock()
{
    Frame f;
    QCOMPARE(f.frame->timeText(), QStringLiteral("21:05"));
    f.clock.now = ToAutomationDate({2024, 12, 7, 0, 0, 59});
    f.frame->refreshTime();
    QCOMPARE(f.frame->timeText(), QStringLiteral("00:00"));
}

QTEST_MAIN(FormMainTest)
#include "FormMainTest.moc"

// SPDX-License-Identifier: MIT
// Every child window inside the main window, at its default size and
// maximised on a 1024x600 screen with a panel: each control comes into view
// when it takes the focus, Tab goes round every enabled control once in
// reading order and back to the first without being caught (a group of
// radio buttons is one stop), and every control has a name for screen
// readers.
#include "WindowsHarness.h"

#include "resident/FormMain.h"
#include "settings/BasicSettings.h"
#include "windows/FormWindowFactory.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRadioButton>
#include <QScreen>
#include <QTest>

#include <algorithm>

using namespace tessaly;
using namespace tessaly::test;

Q_DECLARE_METATYPE(tessaly::ChildWindow)

namespace {

// What a desktop panel and the frame's title bar take off a 1024x600 screen.
constexpr int kPanelAndTitleBar = 60;

QString Name(const QWidget* widget)
{
    return widget->objectName().isEmpty() ? QString::fromLatin1(widget->metaObject()->className())
                                          : widget->objectName();
}

/// The controls of `window` a user works with the keyboard: boxes, buttons,
/// lists and tables that take the focus by Tab, shown and enabled.
QList<QWidget*> Controls(QWidget* window)
{
    QList<QWidget*> found;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QLineEdit*>(widget) || qobject_cast<QAbstractButton*>(widget) ||
                             qobject_cast<QAbstractItemView*>(widget) || qobject_cast<QComboBox*>(widget);
        if (control && widget->isVisibleTo(window) && widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus))
            found << widget;
    }
    return found;
}

/// `control` is wholly in the area's view (a control larger than the view:
/// its top left corner).
void ExpectInView(QMdiArea* area, QWidget* control)
{
    QWidget* viewport = area->viewport();
    QRect place(control->mapTo(viewport, QPoint(0, 0)), control->size());
    place = place.intersected(QRect(place.topLeft(), viewport->size()));
    QVERIFY2(viewport->rect().contains(place), qPrintable(QStringLiteral("%1 at %2,%3 %4x%5 outside the %6x%7 area")
                                                              .arg(Name(control))
                                                              .arg(place.x())
                                                              .arg(place.y())
                                                              .arg(place.width())
                                                              .arg(place.height())
                                                              .arg(viewport->width())
                                                              .arg(viewport->height())));
}

/// `next` stands after `previous` when read left to right, top to bottom:
/// right of it on the same line, or on a line further down.
bool ReadsAfter(const QWidget* previous, const QWidget* next, const QWidget* window)
{
    const QRect a(previous->mapTo(window, QPoint(0, 0)), previous->size());
    const QRect b(next->mapTo(window, QPoint(0, 0)), next->size());
    const bool sameLine = a.top() <= b.bottom() && b.top() <= a.bottom();
    return sameLine ? b.left() > a.left() : b.top() > a.top();
}

} // namespace

class ChildWindowFitTest final : public QObject {
    Q_OBJECT

private slots:
    void keyboardReachesEveryControl_data();
    void keyboardReachesEveryControl();
};

void ChildWindowFitTest::keyboardReachesEveryControl_data()
{
    QTest::addColumn<ChildWindow>("kind");
    QTest::addColumn<bool>("smallScreen");
    const std::pair<ChildWindow, const char*> kinds[] = {{ChildWindow::FormList, "history list"},
                                                         {ChildWindow::FormParam, "basic settings"},
                                                         {ChildWindow::FormConfig, "subscription editor"},
                                                         {ChildWindow::frmAbout, "about box"}};
    for (const auto& [kind, name] : kinds) {
        QTest::addRow("%s, default size", name) << kind << false;
        QTest::addRow("%s, small screen", name) << kind << true;
    }
}

void ChildWindowFitTest::keyboardReachesEveryControl()
{
    QFETCH(ChildWindow, kind);
    QFETCH(bool, smallScreen);
    WindowsHarness h;
    // Every control enabled: mail with authentication and zipped
    // attachments, a password lock, and a subscription file.
    for (const char* flag : {"Conf_Passwd", "Conf_Mail", "Conf_SmtpAuth", "Conf_MailAdd", "Conf_zip"})
        SetBasicSetting(h.data.settings, *FindBasicSetting(flag), "1");
    SubscriptionTable table;
    table[0] = {"Docs", "", "/srv/docs", "*.*", "0", "", ""};
    QVERIFY(SaveSubscriptions(table, h.folder.path()));
    FormWindowFactory windows(h.context);
    auto* frame = new FormMain(windows, h.clock, {});
    const QScopedPointer<FormMain, QScopedPointerDeleteLater> owner(frame);
    QCOMPARE(frame->screen()->size(), QSize(1024, 600));
    if (smallScreen) {
        const QRect screen = frame->screen()->availableGeometry();
        frame->setGeometry(screen.adjusted(0, 0, 0, -kPanelAndTitleBar));
    }
    frame->show();
    QVERIFY(QTest::qWaitForWindowActive(frame));
    QMdiSubWindow* child = frame->showChild(kind);
    QVERIFY(child);
    QWidget* window = child->widget();
    auto* area = frame->findChild<QMdiArea*>();
    const QList<QWidget*> controls = Controls(window);
    QVERIFY(controls.size() >= 2);

    for (QWidget* control : controls) {
        const QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
        QVERIFY2(accessible && !accessible->text(QAccessible::Name).isEmpty(), qPrintable(Name(control)));
        // Focused, each control comes into view.
        control->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), control);
        ExpectInView(area, control);
    }

    // Tab from the first control goes round every one once, in reading
    // order, each in view, and back to the first.
    QWidget* first = controls.front();
    while (controls.contains(first->previousInFocusChain()) && first->previousInFocusChain() != controls.back())
        first = first->previousInFocusChain();
    first->setFocus(Qt::TabFocusReason);
    QList<QWidget*> visited{first};
    for (int step = 0; step <= controls.size(); ++step) {
        QWidget* from = QApplication::focusWidget();
        QTest::keyClick(from, Qt::Key_Tab);
        QWidget* to = QApplication::focusWidget();
        QVERIFY2(to && to != from, qPrintable(Name(from) + QStringLiteral(" keeps Tab")));
        QVERIFY2(controls.contains(to),
                 qPrintable(QStringLiteral("Tab from %1 leaves for %2").arg(Name(from), Name(to))));
        ExpectInView(area, to);
        if (to == first)
            break;
        QVERIFY2(!visited.contains(to), qPrintable(Name(to) + QStringLiteral(" comes twice")));
        QVERIFY2(ReadsAfter(from, to, window), qPrintable(QStringLiteral("%1 before %2").arg(Name(from), Name(to))));
        visited << to;
    }
    QCOMPARE(QApplication::focusWidget(), first);
    // Radio buttons of one group are one stop; the arrow keys choose among them.
    const auto reached = [&visited](QWidget* control) {
        const auto* radio = qobject_cast<QRadioButton*>(control);
        return visited.contains(control) ||
               (radio && radio->autoExclusive() && std::any_of(visited.begin(), visited.end(), [radio](QWidget* seen) {
                    return qobject_cast<QRadioButton*>(seen) && seen->parentWidget() == radio->parentWidget();
                }));
    };
    for (QWidget* control : controls)
        QVERIFY2(reached(control), qPrintable(Name(control) + QStringLiteral(" is never reached by Tab")));
}

QTEST_MAIN(ChildWindowFitTest)
#include "ChildWindowFitTest.moc"

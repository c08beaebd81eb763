// SPDX-License-Identifier: MIT
// Every child window inside the main window at its default size: each box,
// check box, button, list and table is inside the visible area, or the
// area scrolls to it.
#include "WindowsHarness.h"

#include "resident/FormMain.h"
#include "windows/FormWindowFactory.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

#include <algorithm>

using namespace tessaly;
using namespace tessaly::test;

Q_DECLARE_METATYPE(tessaly::ChildWindow)

namespace {

/// The controls a user has to reach in `window`.
QList<QWidget*> Controls(QWidget* window)
{
    QList<QWidget*> found;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(window))
            continue;
        if (qobject_cast<QLineEdit*>(widget) || qobject_cast<QCheckBox*>(widget) ||
            qobject_cast<QPushButton*>(widget) || qobject_cast<QListWidget*>(widget) ||
            qobject_cast<QTableView*>(widget))
            found << widget;
    }
    return found;
}

/// Moves `bar` by the least that brings [low, high] (viewport coordinates
/// along the bar) into [0, size). A user can move it only when it is shown.
void ScrollTo(QScrollBar* bar, int low, int high, int size)
{
    const int by = high >= size ? high - size + 1 : std::min(low, 0);
    if (by == 0)
        return;
    QVERIFY2(bar->isVisible(), "the area needs scrolling but shows no scroll bar");
    bar->setValue(bar->value() + by);
}

/// Scrolls `area` to each control of `window` in turn and checks that the
/// control is then wholly in view.
void ExpectReachable(QMdiArea* area, QWidget* window)
{
    QWidget* viewport = area->viewport();
    for (QWidget* control : Controls(window)) {
        const QString name = control->objectName().isEmpty() ? QString::fromLatin1(control->metaObject()->className())
                                                             : control->objectName();
        QRect place(control->mapTo(viewport, QPoint(0, 0)), control->size());
        ScrollTo(area->horizontalScrollBar(), place.left(), place.right(), viewport->width());
        ScrollTo(area->verticalScrollBar(), place.top(), place.bottom(), viewport->height());
        QCoreApplication::processEvents();
        place = QRect(control->mapTo(viewport, QPoint(0, 0)), control->size());
        QVERIFY2(viewport->rect().contains(place), qPrintable(QStringLiteral("%1 at %2,%3 %4x%5 outside the %6x%7 area")
                                                                  .arg(name)
                                                                  .arg(place.x())
                                                                  .arg(place.y())
                                                                  .arg(place.width())
                                                                  .arg(place.height())
                                                                  .arg(viewport->width())
                                                                  .arg(viewport->height())));
    }
}

} // namespace

class ChildWindowFitTest final : public QObject {
    Q_OBJECT

private slots:
    void everyControlCanBeReached_data();
    void everyControlCanBeReached();
};

void ChildWindowFitTest::everyControlCanBeReached_data()
{
    QTest::addColumn<ChildWindow>("kind");
    QTest::newRow("history list") << ChildWindow::FormList;
    QTest::newRow("basic settings") << ChildWindow::FormParam;
    QTest::newRow("subscription editor") << ChildWindow::FormConfig;
    QTest::newRow("about box") << ChildWindow::frmAbout;
}

void ChildWindowFitTest::everyControlCanBeReached()
{
    QFETCH(ChildWindow, kind);
    WindowsHarness h;
    FormWindowFactory windows(h.context);
    auto* frame = new FormMain(windows, h.clock, {});
    const QScopedPointer<FormMain, QScopedPointerDeleteLater> owner(frame);
    const QSize defaultSize = frame->size();
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    QMdiSubWindow* child = frame->showChild(kind);
    QVERIFY(child);
    auto* area = frame->findChild<QMdiArea*>();
    QCoreApplication::processEvents();

    QVERIFY(!Controls(child->widget()).isEmpty());
    ExpectReachable(area, child->widget());
    if (QTest::currentTestFailed())
        return;
    // Brought back to its default size, the frame scrolls to every control.
    frame->resize(defaultSize);
    QCoreApplication::processEvents();
    ExpectReachable(area, child->widget());
}

QTEST_MAIN(ChildWindowFitTest)
#include "ChildWindowFitTest.moc"

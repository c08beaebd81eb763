// SPDX-License-Identifier: MIT
#include "resident/FormMain.h"

#include "common/Clock.h"
#include "common/DateText.h"
#include "resident/ChildWindowFactory.h"
#include "resident/ProgramVersion.h"
#include "resident/ResidentOptions.h"

#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

namespace tessaly {

namespace {

// The frame's client area at first opening: 8670 by 6045 twips.
constexpr QSize kClientSize{578, 403};
// Room kept around a control scrolled into view, for its focus frame.
constexpr int kFocusMargin = 4;

/// Moves `bar` by the least that brings [low, high] (along the bar, in the
/// viewport's coordinates) into [0, size); what is larger than the viewport
/// shows its start.
void ScrollIntoView(QScrollBar* bar, int low, int high, int size)
{
    low -= kFocusMargin;
    high += kFocusMargin;
    int by = 0;
    if (low < 0 || high - low >= size)
        by = low;
    else if (high >= size)
        by = high - size + 1;
    if (by != 0)
        bar->setValue(bar->value() + by);
}

} // namespace

FormMain::FormMain(ChildWindowFactory& windows, const Clock& clock, std::function<void()> endProgram, QWidget* parent)
    : QMainWindow(parent), m_windows(windows), m_clock(clock), m_endProgram(std::move(endProgram)),
      m_mdiArea(new QMdiArea(this)), m_clockTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("FormMain"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromStdString(VersionCaption()));
    // A child larger than the frame's client area scrolls there.
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdiArea);
    buildMenus();
    buildStatusBar();
    resize(kClientSize.width(),
           kClientSize.height() + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    connect(m_clockTimer, &QTimer::timeout, this, &FormMain::refreshTime);
    m_clockTimer->start(1000);
    // On a small screen a child may be larger than the area: the area
    // scrolls to whatever control takes the focus, by Tab or otherwise.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && m_mdiArea->isAncestorOf(now))
            scrollToControl(now);
    });
}

FormMain::~FormMain() = default;

void FormMain::buildMenus()
{
    const auto item = [this](QMenu* menu, const char* name, const QString& text, auto handler) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, handler);
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("ﾌｧｲﾙ(&F)"));
    file->setObjectName(QStringLiteral("MnuFile"));
    file->addSeparator()->setObjectName(QStringLiteral("dummy0"));
    item(file, "MnuClose", QStringLiteral("閉じる"), &FormMain::mnuClose);
    item(file, "MnuEnd", QStringLiteral("Tessalyを終了する(&E)"), &FormMain::mnuEnd);

    // ﾘｽﾄ is a command on the menu bar itself.
    QAction* list = menuBar()->addAction(QStringLiteral("ﾘｽﾄ(&L)"));
    list->setObjectName(QStringLiteral("MnuList"));
    connect(list, &QAction::triggered, this, [this] { showChild(ChildWindow::FormList); });

    QMenu* config = menuBar()->addMenu(QStringLiteral("設定(&C)"));
    config->setObjectName(QStringLiteral("MnuConfig"));
    item(config, "MnuCheck", QStringLiteral("購読設定(&R)..."), [this] { showChild(ChildWindow::FormConfig); });
    item(config, "MnuBasic", QStringLiteral("基本設定(&B)..."), [this] { showChild(ChildWindow::FormParam); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("ﾍﾙﾌﾟ(&H)"));
    help->setObjectName(QStringLiteral("MnuHelp"));
    item(help, "MnuAbout", QStringLiteral("Tessalyについて(&A)..."), [this] { showChild(ChildWindow::frmAbout); });
}

void FormMain::buildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(true);
    m_timePanel = new QLabel(this);
    m_timePanel->setObjectName(QStringLiteral("Panel1"));
    m_timePanel->setMinimumWidth(80);
    m_timePanel->setAlignment(Qt::AlignCenter);
    bar->addWidget(m_timePanel);
    // The program writes nothing into the other two panels.
    for (int stretch : {0, 1}) {
        auto* panel = new QLabel(this);
        panel->setObjectName(QStringLiteral("Panel%1").arg(2 + stretch));
        panel->setMinimumWidth(120);
        bar->addWidget(panel, stretch);
    }
    refreshTime();
}

QMdiSubWindow* FormMain::showChild(ChildWindow kind)
{
    if (!closeActiveChild())
        return nullptr;
    QWidget* window = m_windows.create(kind);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QMdiSubWindow* child = m_mdiArea->addSubWindow(window);
    child->setAttribute(Qt::WA_DeleteOnClose);
    child->show();
    growToFit(child);
    m_mdiArea->setActiveSubWindow(child);
    focusFirstControl(window);
    TestTrace("child " + window->windowTitle().toStdString());
    return child;
}

void FormMain::growToFit(const QMdiSubWindow* child)
{
    // Only a shown frame in its normal state grows, and no further than its
    // screen; what still does not fit scrolls.
    if (!isVisible() || (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)))
        return;
    const QSize shortBy = child->size() - m_mdiArea->viewport()->size();
    QSize wanted = size() + QSize(std::max(0, shortBy.width()), std::max(0, shortBy.height()));
    if (const QScreen* where = screen())
        wanted = wanted.boundedTo(where->availableGeometry().size() - (frameGeometry().size() - size()));
    if (wanted.width() > width() || wanted.height() > height())
        resize(wanted.expandedTo(size()));
}

void FormMain::focusFirstControl(QWidget* window)
{
    if (window->isAncestorOf(QApplication::focusWidget()) || window->focusWidget())
        return;
    for (QWidget* next = window->nextInFocusChain(); window->isAncestorOf(next); next = next->nextInFocusChain()) {
        if ((next->focusPolicy() & Qt::TabFocus) && next->isEnabled() && next->isVisibleTo(window)) {
            next->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void FormMain::scrollToControl(const QWidget* control)
{
    QWidget* viewport = m_mdiArea->viewport();
    const QRect place(control->mapTo(viewport, QPoint(0, 0)), control->size());
    ScrollIntoView(m_mdiArea->horizontalScrollBar(), place.left(), place.right(), viewport->width());
    ScrollIntoView(m_mdiArea->verticalScrollBar(), place.top(), place.bottom(), viewport->height());
}

void FormMain::bringToFront()
{
    // A minimised frame comes back in the state it had before (maximised or not).
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

QList<QMdiSubWindow*> FormMain::childWindows() const
{
    return m_mdiArea->subWindowList();
}

bool FormMain::closeActiveChild()
{
    // Only one child is ever open, so the open one is the active one even
    // while the frame itself is not the active window.
    for (QMdiSubWindow* child : m_mdiArea->subWindowList()) {
        if (!child->close())
            return false;
        // Deletion comes later; the frame must not count it meanwhile.
        m_mdiArea->removeSubWindow(child);
    }
    return true;
}

QString FormMain::timeText() const
{
    return m_timePanel->text();
}

void FormMain::refreshTime()
{
    // "yyyy/mm/dd HH:MM:SS": the panel shows HH:MM.
    m_timePanel->setText(QString::fromStdString(FormatDateTime(m_clock.Now()).substr(11, 5)));
}

void FormMain::mnuClose()
{
    if (closeActiveChild())
        close();
}

void FormMain::mnuEnd()
{
    if (!closeActiveChild())
        return;
    if (m_endProgram)
        m_endProgram();
}

} // namespace tessaly

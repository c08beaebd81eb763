// SPDX-License-Identifier: MIT
#include "windows/FormList.h"

#include "common/DataFolderLock.h"
#include "common/FileSystem.h"
#include "common/PathField.h"
#include "common/UserMessages.h"
#include "resident/CheckRunner.h"
#include "watch/HistoryFile.h"
#include "watch/HistoryMerge.h"
#include "windows/CheckWait.h"
#include "windows/HistoryModel.h"

#include <QFile>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace tessaly {
namespace {

// The client area, from twips at 15 twips a pixel.
constexpr QSize kClientSize{570, 366};
// The narrowest the name, folder and file columns get.
constexpr int kMinimumTextColumn = 60;
// A date as the history writes it, to measure the date columns by.
const QString kDateSample = QStringLiteral("26年12月07_00:00:00");
// How long a burst of changes to history.dat is gathered, and how soon a
// refresh is tried again while another program holds the data folder.
constexpr int kRefreshGatherMs = 200;
constexpr int kRefreshRetryMs = 1000;

/// The grid with its first column frozen: a second view over the same rows
/// shows only that column and stays at the left edge while the grid
/// scrolls sideways.
class FrozenColumnGrid final : public QTableView {
public:
    explicit FrozenColumnGrid(QWidget* parent) : QTableView(parent), m_frozen(new QTableView(this)) {}

    /// Call once the model is set.
    void freezeFirstColumn()
    {
        m_frozen->setObjectName(QStringLiteral("FrozenColumn"));
        m_frozen->setAccessibleName(QStringLiteral("履歴のﾁｪｯｸ日"));
        m_frozen->setModel(model());
        m_frozen->setSelectionModel(selectionModel());
        m_frozen->setFocusPolicy(Qt::NoFocus);
        m_frozen->setSelectionBehavior(selectionBehavior());
        m_frozen->setSelectionMode(selectionMode());
        m_frozen->setEditTriggers(NoEditTriggers);
        m_frozen->setWordWrap(false);
        m_frozen->setToolTip(toolTip());
        m_frozen->verticalHeader()->hide();
        m_frozen->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        m_frozen->verticalHeader()->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
        m_frozen->horizontalHeader()->setSectionsClickable(true);
        m_frozen->horizontalHeader()->setHighlightSections(false);
        m_frozen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_frozen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_frozen->setVerticalScrollMode(verticalScrollMode());
        m_frozen->setFrameShape(QFrame::NoFrame);
        for (int column = 1; column < model()->columnCount(); ++column)
            m_frozen->setColumnHidden(column, true);
        viewport()->stackUnder(m_frozen);
        connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int size) {
            if (column == 0) {
                m_frozen->setColumnWidth(0, size);
                placeFrozen();
            }
        });
        connect(m_frozen->horizontalHeader(), &QHeaderView::sectionClicked, horizontalHeader(),
                &QHeaderView::sectionClicked);
        connect(m_frozen, &QTableView::doubleClicked, this, &QTableView::doubleClicked);
        connect(m_frozen->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(),
                &QAbstractSlider::setValue);
        connect(verticalScrollBar(), &QAbstractSlider::valueChanged, m_frozen->verticalScrollBar(),
                &QAbstractSlider::setValue);
        m_frozen->show();
        placeFrozen();
    }
    QTableView* frozen() const { return m_frozen; }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QTableView::resizeEvent(event);
        placeFrozen();
    }
    void updateGeometries() override
    {
        QTableView::updateGeometries();
        placeFrozen();
    }
    void scrollTo(const QModelIndex& index, ScrollHint hint) override
    {
        // The frozen column covers the first columnWidth(0) pixels: only the
        // others scroll sideways into view.
        if (index.column() > 0)
            QTableView::scrollTo(index, hint);
        else
            QTableView::scrollTo(model()->index(index.row(), 0), hint);
    }

private:
    void placeFrozen()
    {
        if (!m_frozen->model())
            return;
        m_frozen->setColumnWidth(0, columnWidth(0));
        m_frozen->setGeometry(frameWidth(), frameWidth(), columnWidth(0),
                              viewport()->height() + horizontalHeader()->height());
    }

    QTableView* m_frozen;
};

const QString kAscendingMarker = QStringLiteral("▲");
const QString kDescendingMarker = QStringLiteral("▼");

} // namespace

FormList::FormList(const WindowContext& context, DocumentOpener open, QWidget* parent)
    : QWidget(parent), m_context(context), m_open(std::move(open)), m_model(new HistoryModel(this)),
      m_grid(new FrozenColumnGrid(this))
{
    setObjectName(QStringLiteral("FormList"));
    setWindowTitle(QStringLiteral("履歴ﾘｽﾄ"));
    buildControls();
    resize(kClientSize);
    load();

    // New lines: at the end of this program's check runs, and whenever
    // history.dat changes (another program's run, tessalyctl check).
    connect(&m_context.checkRunner, &CheckRunner::runningChanged, this, [this](bool running) {
        if (!running)
            refresh();
    });
    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setSingleShot(true);
    connect(m_refreshTimer, &QTimer::timeout, this, &FormList::refresh);
    m_watcher = new QFileSystemWatcher(this);
    m_watcher->addPath(QString::fromStdString(m_context.data.folder));
    const auto changed = [this] { m_refreshTimer->start(kRefreshGatherMs); };
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, changed);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, changed);
    refresh();
}

FormList::~FormList() = default;

QSize FormList::sizeHint() const
{
    return kClientSize;
}

void FormList::buildControls()
{
    m_grid->setObjectName(QStringLiteral("MSFlexGrid1"));
    m_grid->setAccessibleName(QStringLiteral("履歴"));
    // Tab leaves the grid for the buttons below; arrows move in it.
    m_grid->setTabKeyNavigation(false);
    m_grid->setModel(m_model);
    m_grid->setToolTip(QStringLiteral("ﾀﾞﾌﾞﾙｸﾘｯｸでﾌｧｲﾙを開きます"));
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setWordWrap(false);
    m_grid->verticalHeader()->hide();
    // Fixed row heights keep a million rows cheap: no row is ever measured.
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
    m_grid->horizontalHeader()->setSectionsClickable(true);
    m_grid->horizontalHeader()->setHighlightSections(false);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_grid->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    static_cast<FrozenColumnGrid*>(m_grid)->freezeFirstColumn();
    connect(m_grid->horizontalHeader(), &QHeaderView::sectionClicked, this, &FormList::sortByColumn);
    connect(m_grid, &QTableView::doubleClicked, this, [this](const QModelIndex& index) { openRow(index.row()); });
    // Enter opens the selected row, as a double click does.
    m_grid->installEventFilter(this);

    m_readOnly = new QRadioButton(QStringLiteral("既読のみ"), this);
    m_readOnly->setObjectName(QStringLiteral("Option1_0"));
    m_readOnly->setChecked(true);
    m_everything = new QRadioButton(QStringLiteral("全ての履歴"), this);
    m_everything->setObjectName(QStringLiteral("Option1_1"));
    m_clear = new QPushButton(QStringLiteral("履歴ｸﾘｱ"), this);
    m_clear->setObjectName(QStringLiteral("Command1"));
    m_clear->setAutoDefault(false);
    connect(m_clear, &QPushButton::clicked, this, &FormList::clearHistory);

    auto* choices = new QVBoxLayout;
    choices->setSpacing(2);
    choices->addWidget(m_readOnly);
    choices->addWidget(m_everything);
    // The read mark is a colour: the window says once what it means (and
    // the rows say "既読" to screen readers and in their tool tips).
    auto* legend = new QLabel(QStringLiteral("水色の行は開いた(既読の)文書です"), this);
    legend->setObjectName(QStringLiteral("ReadLegend"));
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(legend, 1, Qt::AlignTop);
    bottom->addLayout(choices);
    bottom->addWidget(m_clear, 0, Qt::AlignVCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(m_grid, 1);
    layout->addLayout(bottom);
}

bool FormList::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_grid && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            const QModelIndex current = m_grid->currentIndex();
            if (current.isValid())
                openRow(current.row());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FormList::applyColumnWidths()
{
    // The dates fit whole (cells have a margin each side and a grid line);
    // the other columns share what the window leaves at its first size, and
    // the last column takes whatever is left over.
    const int cellMargin = 2 * (m_grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_grid) + 1) + 4;
    const int date = m_grid->fontMetrics().horizontalAdvance(kDateSample) + cellMargin;
    const int scrollBar = m_grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_grid);
    const QMargins margins = layout()->contentsMargins();
    const int available = kClientSize.width() - margins.left() - margins.right() - 2 * m_grid->frameWidth() - scrollBar;
    const int text = std::max(kMinimumTextColumn, (available - 2 * date) / 3);
    const int widths[HistoryModel::kColumns] = {date, text, text, text, date};
    for (int column = 0; column < HistoryModel::kColumns; ++column)
        m_grid->setColumnWidth(column, widths[column]);
    m_grid->horizontalHeader()->setMinimumSectionSize(std::min(date, kMinimumTextColumn));
}

void FormList::load()
{
    const std::string historyPath = JoinPath(m_context.data.folder, kHistoryFileName);
    const std::string inboxPath = JoinPath(m_context.data.folder, kHistoryInboxFileName);
    // The merge empties history.dat, which a check run appends to: it waits
    // for a run to finish. A failed or postponed merge leaves history.dat in
    // place, to be merged next time. While this program's own run is in
    // progress the list shows what is merged already and takes in the rest
    // once the run has ended (refresh).
    const bool checking = m_context.checkRunner.running();
    DataFolderLock lock = DataFolderLock::Acquire(m_context.data.folder, checking ? 0 : kWindowLockWaitSeconds);
    if (lock.held() && FileHasContent(inboxPath))
        MergeHistory(historyPath, inboxPath);
    lock.release();

    std::string bytes;
    std::string error;
    m_loadFailed = FileHasContent(historyPath) && !ReadWholeFile(historyPath, &bytes, &error);
    m_model->setContent(std::move(bytes));
    m_sortColumn = -1; // the captions are the plain ones again
    applyColumnWidths();
    if (m_loadFailed)
        m_context.messages.ShowMessage("履歴ﾌｧｲﾙの読み込みに失敗しました。\r\n" + error);
}

void FormList::refresh()
{
    const std::string folder = m_context.data.folder;
    const QString inbox = QString::fromStdString(JoinPath(folder, kHistoryInboxFileName));
    // A file that is replaced or deleted drops out of the watch.
    if (QFile::exists(inbox) && !m_watcher->files().contains(inbox))
        m_watcher->addPath(inbox);
    if (m_context.checkRunner.running() || !FileHasContent(inbox.toStdString()))
        return;
    // A history that could not be read was reported when the window
    // loaded; it is not told again at every run.
    if (m_loadFailed)
        return;
    DataFolderLock lock = DataFolderLock::Acquire(folder, 0);
    if (!lock.held()) {
        m_refreshTimer->start(kRefreshRetryMs);
        return;
    }
    const std::string historyPath = JoinPath(folder, kHistoryFileName);
    const bool merged = MergeHistory(historyPath, inbox.toStdString());
    lock.release();
    std::string bytes;
    if (!merged || !ReadWholeFile(historyPath, &bytes, nullptr))
        return; // the rows shown stay; the next load or refresh tries again
    if (!m_model->appendContent(std::move(bytes)))
        m_sortColumn = -1; // the file was not the one shown: everything anew
    else if (m_sortColumn >= 0)
        m_model->sortRows(m_sortColumn, m_sortDirection == kAscending);
}

int FormList::SetHeader(int column)
{
    const int direction = column == m_sortColumn && m_sortDirection == kAscending ? kDescending : kAscending;
    m_sortColumn = column;
    m_sortDirection = direction;
    for (int each = 0; each < HistoryModel::kColumns; ++each) {
        QString text = HistoryModel::Captions()[each];
        if (each == column)
            text += direction == kAscending ? kAscendingMarker : kDescendingMarker;
        m_model->setHeaderData(each, Qt::Horizontal, text, Qt::DisplayRole);
    }
    return direction;
}

void FormList::sortByColumn(int column)
{
    if (column < 0 || column >= HistoryModel::kColumns)
        return;
    const int direction = SetHeader(column);
    m_grid->selectionModel()->clear();
    m_model->sortRows(column, direction == kAscending);
    m_grid->scrollToTop();
    m_grid->setFocus();
}

void FormList::openRow(int row)
{
    // An empty row names no document; handing "/" alone to the desktop
    // would open the root folder instead.
    const std::string path = m_model->documentPath(row);
    if (path.empty() || !m_open) {
        m_context.messages.ShowMessage("ﾌｧｲﾙを開けませんでした");
        return;
    }
    // The opener may answer later: the row is followed through sorts, and
    // forgotten when the list is loaded again or the window is gone.
    const QPersistentModelIndex where(m_model->index(row, 0));
    const QPointer<FormList> self(this);
    m_open(path, [self, where, path](bool opened, const std::string& reason) {
        if (!self)
            return;
        if (!opened) {
            // The file as the list shows it, then why it did not open.
            std::string message = "ﾌｧｲﾙを開けませんでした\r\n" + ValidUtf8(path);
            if (!reason.empty())
                message += "\r\n" + reason;
            self->m_context.messages.ShowMessage(message);
        } else if (where.isValid()) {
            self->m_model->markRead(where.row());
        }
    });
}

void FormList::clearHistory()
{
    if (!m_context.messages.AskYesNo("履歴をｸﾘｱしますか?"))
        return;
    // A running check appends to the history: the clear waits for it.
    WhenNoCheckRuns(m_context.checkRunner, this, {m_clear}, [this] { clearNow(); });
}

void FormList::clearNow()
{
    const std::string historyPath = JoinPath(m_context.data.folder, kHistoryFileName);
    std::string error;
    DataFolderLock lock = DataFolderLock::Acquire(m_context.data.folder, kWindowLockWaitSeconds, &error);
    if (!lock.held()) {
        m_context.messages.ShowMessage(error);
        return;
    }
    const bool cleared = m_readOnly->isChecked() ? clearReadRows(historyPath) : clearAllRows(historyPath);
    lock.release();
    if (cleared)
        load();
}

bool FormList::clearReadRows(const std::string& historyPath)
{
    // Rows that could not be read are not shown; writing the shown ones
    // back would lose them.
    if (m_loadFailed) {
        m_context.messages.ShowMessage("履歴ﾌｧｲﾙを読み込めなかったため、ｸﾘｱできません。");
        return false;
    }
    std::string error;
    if (!RewriteHistory(historyPath, m_model->unreadRows(), &error)) {
        m_context.messages.ShowMessage("履歴ﾌｧｲﾙの書き込みに失敗しました。\r\n" + error);
        return false;
    }
    return true;
}

bool FormList::clearAllRows(const std::string& historyPath)
{
    std::string error;
    if (!RemoveHistory(historyPath, &error)) {
        m_context.messages.ShowMessage("履歴ﾌｧｲﾙの削除に失敗しました。\r\n" + error);
        return false;
    }
    return true;
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "windows/FormList.h"

#include "common/DataFolderLock.h"
#include "common/FileSystem.h"
#include "common/UserMessages.h"
#include "watch/HistoryFile.h"
#include "watch/HistoryMerge.h"
#include "windows/HistoryModel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>

namespace tessaly {
namespace {

// Column widths and the client area, from twips at 15 twips a pixel.
constexpr int kColumnWidths[HistoryModel::kColumns] = {113, 133, 167, 120, 113};
constexpr QSize kClientSize{570, 366};

const QString kAscendingMarker = QStringLiteral("▲");
const QString kDescendingMarker = QStringLiteral("▼");

} // namespace

FormList::FormList(const WindowContext& context, DocumentOpener open, QWidget* parent)
    : QWidget(parent), m_context(context), m_open(std::move(open)), m_model(new HistoryModel(this)),
      m_grid(new QTableView(this))
{
    setObjectName(QStringLiteral("FormList"));
    setWindowTitle(QStringLiteral("履歴ﾘｽﾄ"));
    buildControls();
    resize(kClientSize);
    load();
}

FormList::~FormList() = default;

QSize FormList::sizeHint() const
{
    return kClientSize;
}

void FormList::buildControls()
{
    m_grid->setObjectName(QStringLiteral("MSFlexGrid1"));
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
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addLayout(choices);
    bottom->addWidget(m_clear, 0, Qt::AlignTop);
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
    for (int column = 0; column < HistoryModel::kColumns; ++column)
        m_grid->setColumnWidth(column, kColumnWidths[column]);
}

void FormList::load()
{
    const std::string historyPath = JoinPath(m_context.data.folder, kHistoryFileName);
    const std::string inboxPath = JoinPath(m_context.data.folder, kHistoryInboxFileName);
    // The merge empties history.dat, which a check run appends to: it waits
    // for a run to finish. A failed or postponed merge leaves history.dat in
    // place, to be merged next time.
    DataFolderLock lock = DataFolderLock::Acquire(m_context.data.folder, kWindowLockWaitSeconds);
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
    m_open(path, [self, where](bool opened) {
        if (!self)
            return;
        if (!opened)
            self->m_context.messages.ShowMessage("ﾌｧｲﾙを開けませんでした");
        else if (where.isValid())
            self->m_model->markRead(where.row());
    });
}

void FormList::clearHistory()
{
    if (!m_context.messages.AskYesNo("履歴をｸﾘｱしますか?"))
        return;
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

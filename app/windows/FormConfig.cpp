// SPDX-License-Identifier: MIT
#include "windows/FormConfig.h"

#include "common/Clock.h"
#include "common/Cp932.h"
#include "common/DataFolderLock.h"
#include "common/DateText.h"
#include "common/NumericText.h"
#include "common/PathField.h"
#include "common/UserMessages.h"
#include "resident/CheckRunner.h"
#include "watch/SubscriptionTable.h"
#include "windows/CheckWait.h"
#include "windows/FormWindowFactory.h"
#include "windows/ShiftJisInput.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <utility>

namespace tessaly {
namespace {

/// Where a list entry keeps the number of its row.
constexpr int kRowNumberRole = Qt::UserRole + 1;

// The Text1 boxes by index, the cell each edits, and its name in messages
// (the folder takes any path and has no message).
enum Text1 { Keyword = 0, Folder = 1, MailTo = 2, Name = 3, FileName = 4 };
constexpr int kCellOfText1[5] = {1, 2, 5, 0, 3};
const char* const kCaptionOfText1[5] = {"ｷｰﾜｰﾄﾞ", nullptr, "ﾒｰﾙ送信先", "購読名", "ﾌｧｲﾙ名"};
constexpr int kFolderCell = 2;
constexpr int kSubfoldersCell = 4;
constexpr int kLastCheckCell = 6;

/// A folder's bytes as the box shows them.
QString FolderText(const std::string& bytes)
{
    return QString::fromStdString(ValidUtf8(bytes));
}

QString TwoDigits(int number)
{
    return QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0'));
}

/// A row with nothing in it: every cell but Subfolders (which a cleared
/// row keeps as "0") is empty.
bool IsBlank(const Subscription& row)
{
    for (int column = 0; column < Subscription::kColumns; ++column) {
        if (column != kSubfoldersCell && !row.cell(column).empty())
            return false;
    }
    return true;
}

} // namespace

QString FolderPickerStart(const QString& text)
{
    return !text.isEmpty() && QDir(text).exists() ? text : QDir::homePath();
}

QString ChooseFolder(QWidget* parent, const QString& start)
{
    QFileDialog dialog(parent, QStringLiteral("フォルダを選んでください"), start);
    dialog.setFileMode(QFileDialog::Directory);
    // Qt's own dialog, because it lists the files of a folder too.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::ShowDirsOnly, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().front());
}

FormConfig::FormConfig(const WindowContext& context, FolderChooser choose, QWidget* parent)
    : QWidget(parent), m_context(context), m_choose(std::move(choose))
{
    setObjectName(QStringLiteral("FormConfig"));
    setWindowTitle(QStringLiteral("購読設定"));
    buildControls();
    load();
}

FormConfig::~FormConfig() = default;

QLineEdit* FormConfig::lineBox(const char* name, const char* caption)
{
    auto* box = new QLineEdit(this);
    box->setObjectName(QLatin1String(name));
    // The folder takes any path: its cell is escaped when the file is
    // written. Every other cell is code page 932 text, and a comma, CR or
    // LF would split it when the file is read back.
    if (caption)
        GuardShiftJisInput(box, {QString::fromUtf8(caption), false, true}, m_context.messages);
    box->installEventFilter(this);
    return box;
}

void FormConfig::buildControls()
{
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("List1"));
    m_list->setAccessibleName(QStringLiteral("購読の一覧"));
    connect(m_list, &QListWidget::currentRowChanged, this, &FormConfig::selectEntry);
    m_hint = new QLabel(QStringLiteral("購読がありません。名前とﾁｪｯｸﾌｫﾙﾀﾞを入力して[更新]を押してください。"), this);
    m_hint->setObjectName(QStringLiteral("EmptyHint"));
    m_hint->setWordWrap(true);

    m_fields = new QGroupBox(this);
    auto* grid = new QGridLayout(m_fields);
    for (int index = 0; index < 5; ++index) {
        m_text1[index] = lineBox(QStringLiteral("Text1_%1").arg(index).toLatin1().constData(), kCaptionOfText1[index]);
        const int cell = kCellOfText1[index];
        connect(m_text1[index], &QLineEdit::textChanged, this,
                [this, cell](const QString& text) { store(cell, text); });
    }
    m_text1[MailTo]->setToolTip(QStringLiteral("複数指定する場合はｾﾐｺﾛﾝ（；）で区切ります"));
    m_text2 = lineBox("Text2", "最終ﾁｪｯｸ日");
    // Screen readers name each box as its label does; the folder's has no
    // message caption.
    for (int index = 0; index < 5; ++index)
        m_text1[index]->setAccessibleName(QString::fromUtf8(index == Folder ? "ﾁｪｯｸﾌｫﾙﾀﾞ" : kCaptionOfText1[index]));
    m_text2->setAccessibleName(QStringLiteral("最終ﾁｪｯｸ日"));
    // The short boxes take a whole date and time ("yyyy/mm/dd HH:MM:SS").
    const int shortBox = m_text2->fontMetrics().horizontalAdvance(QStringLiteral("0000/00/00 00:00:00")) + 16;
    for (QLineEdit* shortOne : {m_text1[FileName], m_text2}) {
        shortOne->setMinimumWidth(shortBox);
        shortOne->setMaximumWidth(shortBox);
    }
    connect(m_text2, &QLineEdit::textChanged, this, [this](const QString& text) { store(kLastCheckCell, text); });
    m_check1 = new QCheckBox(QStringLiteral("ｻﾌﾞﾌｫﾙﾀﾞもﾁｪｯｸする"), this);
    m_check1->setObjectName(QStringLiteral("Check1"));
    connect(m_check1, &QCheckBox::clicked, this, [this] {
        m_check1->setTristate(false);
        store(kSubfoldersCell, m_check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    });
    m_pick = new QPushButton(QStringLiteral("…"), this);
    m_pick->setObjectName(QStringLiteral("Command1"));
    m_pick->setAccessibleName(QStringLiteral("ﾁｪｯｸﾌｫﾙﾀﾞを選ぶ"));
    m_pick->setToolTip(QStringLiteral("ﾁｪｯｸﾌｫﾙﾀﾞを選ぶ"));
    m_pick->setFixedWidth(32);
    connect(m_pick, &QPushButton::clicked, this, &FormConfig::pickFolder);
    auto* clear = new QPushButton(QStringLiteral("クリア"), this);
    clear->setObjectName(QStringLiteral("Command3"));
    connect(clear, &QPushButton::clicked, this, &FormConfig::clearRow);

    const auto label = [this](const QString& text, QWidget* buddy) {
        auto* result = new QLabel(text, this);
        result->setBuddy(buddy);
        return result;
    };
    int row = 0;
    for (auto [text, index] : {std::pair{QStringLiteral("購読名"), int(Name)},
                               {QStringLiteral("ｷｰﾜｰﾄﾞ"), int(Keyword)},
                               {QStringLiteral("ﾁｪｯｸﾌｫﾙﾀﾞ"), int(Folder)}}) {
        grid->addWidget(label(text, m_text1[index]), row, 0);
        grid->addWidget(m_text1[index], row++, 1, 1, index == Folder ? 2 : 3);
    }
    grid->addWidget(m_pick, row - 1, 3);
    grid->addWidget(label(QStringLiteral("ﾌｧｲﾙ名"), m_text1[FileName]), row, 0);
    grid->addWidget(m_text1[FileName], row, 1);
    grid->addWidget(m_check1, row++, 2, 1, 2);
    grid->addWidget(label(QStringLiteral("ﾒｰﾙ送信先"), m_text1[MailTo]), row, 0);
    grid->addWidget(m_text1[MailTo], row++, 1, 1, 3);
    grid->addWidget(label(QStringLiteral("最終ﾁｪｯｸ日"), m_text2), row, 0);
    grid->addWidget(m_text2, row, 1);
    grid->addWidget(clear, row, 2, 1, 2, Qt::AlignRight);
    grid->setColumnStretch(2, 1);

    auto* subscribeButton = new QPushButton(QStringLiteral("購読"), this);
    m_subscribe = subscribeButton;
    subscribeButton->setObjectName(QStringLiteral("Command4"));
    connect(subscribeButton, &QPushButton::clicked, this, &FormConfig::subscribe);
    auto* update = new QPushButton(QStringLiteral("更新"), this);
    update->setObjectName(QStringLiteral("Command2"));
    connect(update, &QPushButton::clicked, this, &FormConfig::save);
    m_update = update;
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(subscribeButton);
    buttons->addWidget(update);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_hint);
    layout->addWidget(m_fields);
    layout->addLayout(buttons);

    // Tab goes through the controls as they are laid out, top to bottom.
    const std::array<QWidget*, 12> order{
        m_list,   m_text1[Name],   m_text1[Keyword], m_text1[Folder], m_pick,          m_text1[FileName],
        m_check1, m_text1[MailTo], m_text2,          clear,           subscribeButton, update};
    for (size_t index = 1; index < order.size(); ++index)
        setTabOrder(order[index - 1], order[index]);
}

void FormConfig::showTenRows()
{
    if (m_list->count() == 0)
        return;
    m_list->setMinimumHeight(m_list->sizeHintForRow(0) * 10 + 2 * m_list->frameWidth());
}

void FormConfig::keyPressEvent(QKeyEvent* event)
{
    // Enter saves as 更新 does, after the completion leaving a box brings.
    const bool handled = HandleDialogKey(this, event, [this] {
        if (m_currentRow)
            InputCheck();
        m_update->click();
    });
    if (!handled)
        QWidget::keyPressEvent(event);
}

void FormConfig::load()
{
    m_edited.fill(0);
    if (!LoadSubscriptions(m_context.data.subscriptions, m_context.data.folder, m_context.messages)) {
        // The bare entries are appended to whatever the list holds.
        for (int number = 1; number <= 10; ++number)
            addEntry(number, QStringLiteral("(%1)").arg(number, 2, 10, QLatin1Char(' ')));
        m_loaded = m_context.data.subscriptions;
        // A new user types the first row at once, as the hint says.
        if (!m_currentRow)
            m_list->setCurrentRow(m_list->count() - 10);
        setFieldsEnabled(m_currentRow.has_value());
        showTenRows();
        showHint();
        return;
    }
    m_loaded = m_context.data.subscriptions;
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    for (int number = 1; number <= 10; ++number) {
        const auto& name = m_context.data.subscriptions[static_cast<size_t>(number - 1)].Name;
        addEntry(number, QStringLiteral("(%1)").arg(TwoDigits(number)) + QString::fromStdString(name));
    }
    m_list->setCurrentRow(0);
    selectEntry(0);
    showTenRows();
    showHint();
}

void FormConfig::addEntry(int number, const QString& caption)
{
    auto* entry = new QListWidgetItem(caption, m_list);
    entry->setData(kRowNumberRole, number);
}

void FormConfig::selectEntry(int index)
{
    if (index < 0 || index >= m_list->count())
        return;
    const int number = m_list->item(index)->data(kRowNumberRole).toInt();
    if (number < 1 || number > 10)
        return;
    m_currentRow = number;
    fill();
    setFieldsEnabled(true);
}

void FormConfig::fill()
{
    const Subscription& row = m_context.data.subscriptions[static_cast<size_t>(*m_currentRow - 1)];
    m_filling = true;
    m_shownFolder = row.Folder;
    for (int index = 0; index < 5; ++index)
        m_text1[index]->setText(index == Folder ? FolderText(row.Folder)
                                                : QString::fromStdString(row.cell(kCellOfText1[index])));
    m_text2->setText(QString::fromStdString(row.LastCheck));
    // A hand-edited cell that is no 0, 1 or 2 shows unticked and stays as it is.
    const std::optional<double> value = row.Subfolders.empty() ? 0.0 : ParseNumber(row.Subfolders);
    const int state = value ? static_cast<int>(RoundHalfEven(*value)) : 0;
    m_check1->setTristate(state == 2);
    m_check1->setCheckState(state == 1 ? Qt::Checked : state == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
    m_filling = false;
}

void FormConfig::store(int column, const QString& text)
{
    if (m_filling || !m_currentRow)
        return;
    std::string value = column == kFolderCell ? folderBytes(text) : text.toStdString();
    // The boxes refuse such text as it is typed; a cell that already holds
    // it is never overwritten with it.
    if (column != kFolderCell && !IsCp932Representable(value))
        return;
    Subscription& row = m_context.data.subscriptions[static_cast<size_t>(*m_currentRow - 1)];
    const bool wasBlank = IsBlank(row);
    row.cell(column) = std::move(value);
    edited(column);
    if (wasBlank && !IsBlank(row)) {
        // The row comes into use: it can be checked as soon as it names a folder.
        row.giveNewRowDefaults();
        edited(kCellOfText1[FileName]);
        edited(kSubfoldersCell);
        const bool filling = std::exchange(m_filling, true);
        if (box(FileName) != QString::fromStdString(row.FileName))
            m_text1[FileName]->setText(QString::fromStdString(row.FileName));
        m_filling = filling;
    }
    showHint();
}

void FormConfig::edited(int column)
{
    if (m_currentRow)
        m_edited[static_cast<size_t>(*m_currentRow - 1)] |= 1u << column;
}

void FormConfig::showHint()
{
    const auto& table = m_context.data.subscriptions;
    m_hint->setVisible(std::all_of(table.begin(), table.end(), IsBlank));
}

bool FormConfig::hasUnsavedEdits() const
{
    for (size_t row = 0; row < m_edited.size(); ++row) {
        for (int column = 0; column < Subscription::kColumns; ++column) {
            if ((m_edited[row] & (1u << column)) &&
                m_context.data.subscriptions[row].cell(column) != m_loaded[row].cell(column))
                return true;
        }
    }
    return false;
}

void FormConfig::closeEvent(QCloseEvent* event)
{
    if (hasUnsavedEdits()) {
        if (!m_context.messages.AskYesNo("変更を保存せずに閉じますか?")) {
            event->ignore();
            return;
        }
        // The edits are dropped: the table holds the cells as loaded again,
        // and what a check run wrote meanwhile stays.
        for (size_t row = 0; row < m_edited.size(); ++row) {
            for (int column = 0; column < Subscription::kColumns; ++column) {
                if (m_edited[row] & (1u << column))
                    m_context.data.subscriptions[row].cell(column) = m_loaded[row].cell(column);
            }
        }
        m_edited.fill(0);
    }
    QWidget::closeEvent(event);
}

std::string FormConfig::folderBytes(const QString& text) const
{
    // A folder whose name is no UTF-8 shows with U+FFFD; unless the user
    // changed it, the cell keeps the bytes that name the real folder.
    return text == FolderText(m_shownFolder) ? m_shownFolder : text.toStdString();
}

QString FormConfig::box(int index) const
{
    return m_text1[index]->text();
}

void FormConfig::setFieldsEnabled(bool enabled)
{
    m_fields->setEnabled(enabled);
}

void FormConfig::SetArray(bool clear)
{
    if (!m_currentRow)
        return;
    Subscription& row = m_context.data.subscriptions[static_cast<size_t>(*m_currentRow - 1)];
    m_edited[static_cast<size_t>(*m_currentRow - 1)] = (1u << Subscription::kColumns) - 1;
    if (clear) {
        row = Subscription{};
        row.Subfolders = "0";
        showHint();
        return;
    }
    for (int index = 0; index < 5; ++index) {
        const QString text = box(index);
        if (index == Folder)
            row.Folder = folderBytes(text);
        else if (IsCp932Representable(text.toStdString()))
            row.cell(kCellOfText1[index]) = text.toStdString();
    }
    row.Subfolders = m_check1->checkState() == Qt::Checked ? "1" : m_check1->checkState() == Qt::Unchecked ? "0" : "2";
    if (IsCp932Representable(m_text2->text().toStdString()))
        row.LastCheck = m_text2->text().toStdString();
}

bool FormConfig::InputCheck()
{
    completeRow();
    normaliseDate();
    return true;
}

void FormConfig::completeRow()
{
    if (!m_currentRow)
        return;
    const bool others = !box(Keyword).isEmpty() || !box(Folder).isEmpty() || !box(MailTo).isEmpty() ||
                        !box(FileName).isEmpty() || !m_text2->text().isEmpty();
    if (box(Name).isEmpty() && others)
        m_text1[Name]->setText(QStringLiteral("購読") + TwoDigits(*m_currentRow));
    const bool rest = !box(Name).isEmpty() || !box(Keyword).isEmpty() || !box(Folder).isEmpty() ||
                      !box(MailTo).isEmpty() || !m_text2->text().isEmpty();
    if (box(FileName).isEmpty() && rest)
        m_text1[FileName]->setText(QStringLiteral("*.*"));
}

void FormConfig::normaliseDate()
{
    if (!m_currentRow || m_text2->text().isEmpty())
        return;
    const std::optional<AutomationDate> date = ParseDateTime(m_text2->text().toStdString());
    m_text2->setText(QString::fromStdString(FormatDate(date ? *date : m_context.clock.Now())));
}

bool FormConfig::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut) {
        if (watched == m_text2)
            normaliseDate();
        else if (std::find(m_text1.begin(), m_text1.end(), watched) != m_text1.end())
            completeRow();
    }
    return QWidget::eventFilter(watched, event);
}

void FormConfig::pickFolder()
{
    if (!m_currentRow || !m_choose)
        return;
    const QString chosen = m_choose(this, FolderPickerStart(box(Folder)));
    if (!chosen.isEmpty())
        m_text1[Folder]->setText(chosen);
}

void FormConfig::save()
{
    // A running check writes the file too: the save waits for it to end.
    WhenNoCheckRuns(m_context.checkRunner, this, {m_update, m_subscribe}, [this] { saveNow(); });
}

void FormConfig::saveNow()
{
    std::string error;
    // A row in use that was never given its file name or subfolder flag
    // (the check box left untouched) is saved with the defaults.
    for (size_t row = 0; row < m_context.data.subscriptions.size(); ++row) {
        Subscription& subscription = m_context.data.subscriptions[row];
        if (IsBlank(subscription))
            continue;
        const Subscription before = subscription;
        subscription.giveNewRowDefaults();
        if (subscription != before)
            m_edited[row] |= 1u << kSubfoldersCell | 1u << kCellOfText1[FileName];
    }
    const DataFolderLock lock = DataFolderLock::Acquire(m_context.data.folder, kWindowLockWaitSeconds, &error);
    if (lock.held())
        m_context.data.subscriptions = withEditsOverFile();
    if (!lock.held() || !SaveSubscriptions(m_context.data.subscriptions, m_context.data.folder, &error)) {
        m_context.messages.ShowMessage("購読ﾌｧｲﾙの書き込みに失敗しました。\r\n" + error);
        return;
    }
    if (m_context.subscriptionsSaved)
        m_context.subscriptionsSaved();
    m_context.messages.ShowMessage("更新しました");
    load();
}

SubscriptionTable FormConfig::withEditsOverFile() const
{
    // What others saved since the editor loaded the file (tessalyctl, a check
    // run's last checks) stays; only the cells edited here change. A file
    // that cannot be read completely is written over whole, as the editor
    // shows it.
    struct Unheard final : UserMessages {
        void ShowMessage(std::string_view) override {}
        bool AskYesNo(std::string_view) override { return false; }
    } unheard;
    SubscriptionTable onDisk;
    SubscriptionLoad loaded;
    LoadSubscriptions(onDisk, m_context.data.folder, unheard, &loaded);
    const SubscriptionTable& edited = m_context.data.subscriptions;
    if (loaded != SubscriptionLoad::Complete)
        return edited;
    for (size_t row = 0; row < edited.size(); ++row) {
        for (int column = 0; column < Subscription::kColumns; ++column) {
            if (edited[row].cell(column) != m_loaded[row].cell(column))
                onDisk[row].cell(column) = edited[row].cell(column);
        }
    }
    return onDisk;
}

void FormConfig::clearRow()
{
    if (!m_currentRow)
        return;
    for (QLineEdit* text : m_text1)
        text->clear();
    m_check1->setTristate(false);
    m_check1->setChecked(false);
    m_text2->clear();
    SetArray(true);
}

void FormConfig::subscribe()
{
    // A check already in progress ends first; then this window's own runs
    // while it waits with its buttons off, and shows the result when done.
    auto busy = std::make_shared<BusyWindow>(this, std::initializer_list<QAbstractButton*>{m_update, m_subscribe});
    const QPointer<FormConfig> self(this);
    m_context.checkRunner.whenIdle([self, busy]() mutable {
        if (!self)
            return;
        self->m_context.checkRunner.run([self, busy](bool) mutable {
            busy.reset();
            if (!self)
                return;
            self->load();
            self->m_context.messages.ShowMessage("終了しました");
        });
    });
}

} // namespace tessaly

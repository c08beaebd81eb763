// SPDX-License-Identifier: MIT
#include "windows/HistoryModel.h"

#include "common/Cp932.h"
#include "common/PathField.h"

#include <QBrush>
#include <QColor>
#include <QGuiApplication>
#include <QPalette>

#include <algorithm>
#include <cstring>
#include <numeric>

namespace tessaly {
namespace {

const QColor kReadColour(0, 255, 255);

/// Field `column` of a history line: the text between the column-th and
/// the next ",".
std::string_view Field(std::string_view line, int column)
{
    size_t start = 0;
    for (int skip = 0; skip < column; ++skip) {
        const size_t comma = line.find(',', start);
        if (comma == std::string_view::npos)
            return {};
        start = comma + 1;
    }
    const size_t end = line.find(',', start);
    return line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

/// The first eight bytes as one big-endian number: comparing two of them
/// orders like comparing the bytes, so most comparisons of a sort stop there.
std::uint64_t SortKey(std::string_view cell)
{
    std::uint64_t key = 0;
    for (size_t i = 0; i < 8; ++i)
        key = key << 8 | (i < cell.size() ? static_cast<unsigned char>(cell[i]) : 0u);
    return key;
}

} // namespace

HistoryModel::HistoryModel(QObject* parent) : QAbstractTableModel(parent), m_captions(Captions()) {}

const QStringList& HistoryModel::Captions()
{
    static const QStringList captions{QStringLiteral("ﾁｪｯｸ日"), QStringLiteral("購読名"), QStringLiteral("ﾌｫﾙﾀﾞ"),
                                      QStringLiteral("ﾌｧｲﾙ"), QStringLiteral("最終更新日")};
    return captions;
}

void HistoryModel::setContent(std::string bytes)
{
    beginResetModel();
    m_bytes = std::move(bytes);
    m_starts.clear();
    m_starts.reserve(static_cast<size_t>(std::count(m_bytes.begin(), m_bytes.end(), '\n')) + 1);
    const char* const data = m_bytes.data();
    const size_t size = m_bytes.size();
    size_t start = 0;
    while (start < size) {
        m_starts.push_back(start);
        const void* found = std::memchr(data + start, '\n', size - start);
        start = found ? static_cast<size_t>(static_cast<const char*>(found) - data) + 1 : size;
    }
    m_order.resize(m_starts.size());
    std::iota(m_order.begin(), m_order.end(), 0u);
    m_read.assign(m_starts.size(), false);
    m_captions = Captions();
    endResetModel();
    emit headerDataChanged(Qt::Horizontal, 0, kColumns - 1);
}

std::string_view HistoryModel::lineBytes(std::uint32_t line) const
{
    const size_t begin = m_starts[line];
    size_t end = line + 1 < m_starts.size() ? m_starts[line + 1] : m_bytes.size();
    // The line end: LF, CR LF, or (on the last line) a CR alone.
    if (end > begin && m_bytes[end - 1] == '\n')
        --end;
    if (end > begin && m_bytes[end - 1] == '\r')
        --end;
    return std::string_view(m_bytes).substr(begin, end - begin);
}

std::string_view HistoryModel::cellBytes(int row, int column) const
{
    if (row < 0 || row >= lineCount() || column < 0 || column >= kColumns)
        return {};
    return Field(lineBytes(m_order[static_cast<size_t>(row)]), column);
}

QString HistoryModel::cellText(int row, int column) const
{
    const std::string_view bytes = cellBytes(row, column);
    if (column == kFolderColumn || column == kFileColumn)
        return QString::fromStdString(ValidUtf8(DecodePathField(bytes)));
    return QString::fromStdString(Cp932ToUtf8(bytes));
}

std::string HistoryModel::documentPath(int row) const
{
    const std::string_view folder = cellBytes(row, kFolderColumn);
    const std::string_view file = cellBytes(row, kFileColumn);
    if (folder.empty() && file.empty())
        return {};
    return DecodePathField(folder) + "/" + DecodePathField(file);
}

void HistoryModel::markRead(int row)
{
    if (row < 0 || row >= lineCount())
        return;
    m_read[m_order[static_cast<size_t>(row)]] = true;
    emit dataChanged(index(row, 0), index(row, kColumns - 1), {Qt::BackgroundRole});
}

bool HistoryModel::isRead(int row) const
{
    return row >= 0 && row < lineCount() && m_read[m_order[static_cast<size_t>(row)]];
}

void HistoryModel::sortRows(int column, bool ascending)
{
    if (column < 0 || column >= kColumns)
        return;
    // Sixteen bytes a row: the cell is found again from its line and offset
    // only when the first eight bytes of two cells are alike.
    struct Entry {
        std::uint64_t key;
        std::uint32_t line;
        std::uint32_t offset; ///< of the cell in its line
    };
    std::vector<Entry> entries(m_order.size());
    for (size_t row = 0; row < m_order.size(); ++row) {
        const std::uint32_t line = m_order[row];
        const std::string_view bytes = lineBytes(line);
        const std::string_view cell = Field(bytes, column);
        const size_t offset = cell.empty() ? bytes.size() : static_cast<size_t>(cell.data() - bytes.data());
        entries[row] = {SortKey(cell), line, static_cast<std::uint32_t>(std::min<size_t>(offset, UINT32_MAX))};
    }
    const auto cellOf = [this](const Entry& e) {
        const std::string_view bytes = lineBytes(e.line);
        const std::string_view rest = bytes.substr(std::min<size_t>(e.offset, bytes.size()));
        return rest.substr(0, rest.find(','));
    };
    // A stable merge sort: equal cells keep their order, and a column that
    // is already sorted (the second click reverses it) costs little.
    const auto before = [&cellOf](const Entry& a, const Entry& b) {
        return a.key != b.key ? a.key < b.key : cellOf(a).compare(cellOf(b)) < 0;
    };
    if (ascending)
        std::stable_sort(entries.begin(), entries.end(), before);
    else
        std::stable_sort(entries.begin(), entries.end(),
                         [&before](const Entry& a, const Entry& b) { return before(b, a); });
    std::vector<std::uint32_t> order(entries.size());
    std::transform(entries.begin(), entries.end(), order.begin(), [](const Entry& e) { return e.line; });
    reorder(std::move(order));
}

void HistoryModel::reorder(std::vector<std::uint32_t> order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList persistent = persistentIndexList();
    if (!persistent.isEmpty()) {
        std::vector<std::uint32_t> rowOfLine(m_starts.size());
        for (size_t row = 0; row < order.size(); ++row)
            rowOfLine[order[row]] = static_cast<std::uint32_t>(row);
        QModelIndexList moved;
        for (const QModelIndex& old : persistent) {
            const bool onLine = old.row() >= 0 && old.row() < lineCount();
            moved << (onLine ? index(static_cast<int>(rowOfLine[m_order[static_cast<size_t>(old.row())]]), old.column())
                             : old);
        }
        changePersistentIndexList(persistent, moved);
    }
    m_order = std::move(order);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

std::vector<HistoryCells> HistoryModel::unreadRows() const
{
    std::vector<HistoryCells> rows;
    rows.reserve(m_order.size());
    for (std::uint32_t line : m_order) {
        const std::string_view bytes = lineBytes(line);
        if (m_read[line] || Field(bytes, 0).empty())
            continue;
        rows.push_back({Field(bytes, 0), Field(bytes, 1), Field(bytes, 2), Field(bytes, 3), Field(bytes, 4)});
    }
    return rows;
}

int HistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max(1, lineCount());
}

int HistoryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole: return cellText(index.row(), index.column());
    case Qt::TextAlignmentRole: return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        if (isRead(index.row()))
            return QBrush(kReadColour);
        // The first column is drawn like the header, as a fixed column.
        if (index.column() == 0)
            return QGuiApplication::palette().button();
        return {};
    case Qt::ForegroundRole:
        if (isRead(index.row()))
            return QBrush(Qt::black);
        return {};
    default: return {};
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return m_captions[section];
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignCenter);
    return {};
}

bool HistoryModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role)
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumns)
        return false;
    m_captions[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

} // namespace tessaly

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
#include <optional>

namespace tessaly {
namespace {

const QColor kReadColour(0, 255, 255);
const QString kReadText = QStringLiteral("既読");
const QString kUnreadText = QStringLiteral("未読");

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

/// What a folder or file cell sorts by: a plain cell as it is, an escaped
/// one ("|" and the path with "%XX" escapes) without its "|" and with its
/// escapes turned back into their bytes (kept in `scratch`), so that
/// "|/srv/caf%C3%A9" sorts beside "/srv/caf".
std::string_view PathSortText(std::string_view cell, std::string& scratch)
{
    if (cell.empty() || cell.front() != '|')
        return cell;
    scratch.clear();
    for (size_t i = 1; i < cell.size(); ++i) {
        if (const std::optional<char> byte = PercentByteAt(cell, i)) {
            scratch += *byte;
            i += 2;
        } else {
            scratch += cell[i];
        }
    }
    return scratch;
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

void HistoryModel::FindLineStarts(const std::string& bytes, size_t from, std::vector<std::uint64_t>& starts)
{
    starts.reserve(
        starts.size() +
        static_cast<size_t>(std::count(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(), '\n')) + 1);
    const char* const data = bytes.data();
    const size_t size = bytes.size();
    size_t start = from;
    while (start < size) {
        starts.push_back(start);
        const void* found = std::memchr(data + start, '\n', size - start);
        start = found ? static_cast<size_t>(static_cast<const char*>(found) - data) + 1 : size;
    }
}

void HistoryModel::setContent(std::string bytes)
{
    beginResetModel();
    m_bytes = std::move(bytes);
    m_starts.clear();
    FindLineStarts(m_bytes, 0, m_starts);
    m_order.resize(m_starts.size());
    std::iota(m_order.begin(), m_order.end(), 0u);
    m_read.assign(m_starts.size(), false);
    m_captions = Captions();
    endResetModel();
    emit headerDataChanged(Qt::Horizontal, 0, kColumns - 1);
}

bool HistoryModel::appendContent(std::string bytes)
{
    if (bytes.size() < m_bytes.size() || std::string_view(bytes).substr(0, m_bytes.size()) != m_bytes) {
        setContent(std::move(bytes));
        return false;
    }
    // A last line without its line end may go on in the new bytes: it is
    // split again from its start.
    const int oldLines = lineCount();
    const int oldRows = rowCount();
    const bool lastGoesOn = !m_bytes.empty() && m_bytes.back() != '\n';
    std::vector<std::uint64_t> starts(m_starts.begin(), lastGoesOn ? m_starts.end() - 1 : m_starts.end());
    FindLineStarts(bytes, lastGoesOn ? m_starts.back() : m_bytes.size(), starts);
    const int newRows = std::max<int>(1, static_cast<int>(starts.size()));
    if (newRows > oldRows)
        beginInsertRows({}, oldRows, newRows - 1);
    m_bytes = std::move(bytes);
    m_starts = std::move(starts);
    for (auto line = static_cast<std::uint32_t>(oldLines); line < m_starts.size(); ++line)
        m_order.push_back(line);
    m_read.resize(m_starts.size(), false);
    if (newRows > oldRows)
        endInsertRows();
    // The empty row of an empty history now shows the first line; a last
    // line that went on shows its new end.
    int changed = -1;
    if (oldLines == 0 && lineCount() > 0)
        changed = 0;
    else if (lastGoesOn)
        changed = static_cast<int>(std::find(m_order.begin(), m_order.end(), oldLines - 1) - m_order.begin());
    if (changed >= 0)
        emit dataChanged(index(changed, 0), index(changed, kColumns - 1));
    return true;
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
    emit dataChanged(index(row, 0), index(row, kColumns - 1),
                     {Qt::BackgroundRole, Qt::ForegroundRole, Qt::AccessibleDescriptionRole, Qt::ToolTipRole});
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
    const bool pathColumn = column == kFolderColumn || column == kFileColumn;
    const auto sortText = [pathColumn](std::string_view cell, std::string& scratch) {
        return pathColumn ? PathSortText(cell, scratch) : cell;
    };
    std::vector<Entry> entries(m_order.size());
    std::string scratch;
    for (size_t row = 0; row < m_order.size(); ++row) {
        const std::uint32_t line = m_order[row];
        const std::string_view bytes = lineBytes(line);
        const std::string_view cell = Field(bytes, column);
        const size_t offset = cell.empty() ? bytes.size() : static_cast<size_t>(cell.data() - bytes.data());
        entries[row] = {SortKey(sortText(cell, scratch)), line,
                        static_cast<std::uint32_t>(std::min<size_t>(offset, UINT32_MAX))};
    }
    const auto cellOf = [this](const Entry& e) {
        const std::string_view bytes = lineBytes(e.line);
        const std::string_view rest = bytes.substr(std::min<size_t>(e.offset, bytes.size()));
        return rest.substr(0, rest.find(','));
    };
    // A stable merge sort: equal cells keep their order, and a column that
    // is already sorted (the second click reverses it) costs little. Only
    // escaped paths need a scratch text, and only on a tie of eight bytes.
    const auto before = [&cellOf, &sortText](const Entry& a, const Entry& b) {
        if (a.key != b.key)
            return a.key < b.key;
        std::string scratchA;
        std::string scratchB;
        return sortText(cellOf(a), scratchA).compare(sortText(cellOf(b), scratchB)) < 0;
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
    case Qt::AccessibleDescriptionRole:
        return index.row() < lineCount() ? (isRead(index.row()) ? kReadText : kUnreadText) : QString();
    case Qt::ToolTipRole: {
        // A path cut by its column shows whole; a read row says so. Other
        // cells leave the grid's own tool tip.
        QStringList lines;
        if (index.column() == kFolderColumn || index.column() == kFileColumn)
            lines << cellText(index.row(), index.column());
        if (isRead(index.row()))
            lines << kReadText;
        lines.removeAll(QString());
        return lines.isEmpty() ? QVariant() : QVariant(lines.join(QLatin1Char('\n')));
    }
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

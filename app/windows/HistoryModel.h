// SPDX-License-Identifier: MIT
#pragma once

#include "watch/HistoryMerge.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

/// The rows of the history list: every line of history.hst as five cells,
/// in a display order of their own, with a read mark per row. The file's
/// bytes are kept as they are (code page 932) and split and decoded only
/// for the cells on screen, so a million lines cost little more than the
/// file itself. A line with fewer than five fields shows empty cells; fields
/// beyond the fifth are not shown. With no line the model shows one empty
/// row. Read rows are light cyan, and say "既読" (unread ones "未読") as
/// their cells' accessible description and in their tool tips; the tool
/// tip of a folder or file cell shows the whole path. UI thread only.
class HistoryModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int kColumns = 5;
    /// The columns whose cells are path fields (plain code page 932 text,
    /// or "|" and the path with "%XX" escapes).
    static constexpr int kFolderColumn = 2;
    static constexpr int kFileColumn = 3;

    explicit HistoryModel(QObject* parent = nullptr);

    /// Replaces every row with the lines of `bytes` (a whole history file):
    /// file order, all unread, captions without a sort marker.
    void setContent(std::string bytes);
    /// Takes in `bytes`, the history file after lines were appended to it:
    /// when it begins with the bytes shown, the new lines follow the others
    /// in display order, unread, and read marks, order and captions stay
    /// (true). Otherwise it is setContent (false).
    bool appendContent(std::string bytes);
    /// The number of history lines (the one empty row of an empty history
    /// does not count).
    int lineCount() const { return static_cast<int>(m_starts.size()); }

    /// The raw bytes of cell `column` of display row `row`; empty for the
    /// empty row and for fields the line lacks.
    std::string_view cellBytes(int row, int column) const;
    /// The same cell as text; the folder and file cells show the path they
    /// stand for, with U+FFFD for bytes that are not UTF-8.
    QString cellText(int row, int column) const;
    /// The path of display row `row`'s document as the file system has it:
    /// its folder, "/" and its file name; empty when the row names neither.
    std::string documentPath(int row) const;

    /// Marks display row `row` read (light cyan) until the next setContent.
    void markRead(int row);
    bool isRead(int row) const;

    /// Sorts the rows by the text of `column` in code page order (which
    /// keeps the history's date form in date order); a folder or file cell
    /// written escaped sorts by the path it shows, not by its escapes.
    /// Rows with equal cells keep their previous order.
    void sortRows(int column, bool ascending);

    /// The rows a clear of the read rows keeps, in display order: those not
    /// read and whose first cell is not empty.
    std::vector<HistoryCells> unreadRows() const;

    /// The default header captions.
    static const QStringList& Captions();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role) override;

private:
    std::string_view lineBytes(std::uint32_t line) const;
    /// Where each line of `bytes` begins, from offset `from` on.
    static void FindLineStarts(const std::string& bytes, size_t from, std::vector<std::uint64_t>& starts);
    void reorder(std::vector<std::uint32_t> order);

    std::string m_bytes;
    /// Where each line begins; it ends where the next begins, its line end
    /// left out. Eight bytes a line is all the index costs.
    std::vector<std::uint64_t> m_starts;
    std::vector<std::uint32_t> m_order; ///< display row -> line
    std::vector<bool> m_read;           ///< by line
    QStringList m_captions;
};

} // namespace tessaly

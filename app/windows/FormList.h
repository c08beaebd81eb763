// SPDX-License-Identifier: MIT
#pragma once

#include "resident/WindowContext.h"
#include "windows/DocumentOpener.h"

#include <QWidget>

class QFileSystemWatcher;
class QPushButton;
class QTimer;
class QRadioButton;
class QTableView;

namespace tessaly {

class HistoryModel;

/// The history list: every document the check runs found, one row each, in
/// a five-column grid (MSFlexGrid1) whose first column stays in place while
/// the others scroll sideways. Loading moves the lines of history.dat
/// into history.hst first. A header click sorts by that column, a double
/// click or Enter opens the row's document and marks the row read, and 履歴ｸﾘｱ
/// (Command1) clears the read rows (Option1_0) or the whole history
/// (Option1_1). While the window is open, new lines of history.dat (from
/// a check run of this program, once it has ended, or of another program
/// on the folder) are merged and shown below the others, keeping the read
/// marks and the sort. UI thread only.
class FormList final : public QWidget {
    Q_OBJECT

public:
    /// The sort direction codes SetHeader gives back.
    static constexpr int kAscending = 7;
    static constexpr int kDescending = 8;

    /// Loads the window. `open` opens documents (the desktop's opener by
    /// default). `context` must outlive the window.
    explicit FormList(const WindowContext& context, DocumentOpener open = OpenDocument, QWidget* parent = nullptr);
    ~FormList() override;

    /// The load steps: merge history.dat into history.hst, then show every
    /// line of history.hst, unread and unsorted.
    void load();
    /// Moves the sort marker to `column` and gives the direction of the
    /// sort that follows: descending when the rows are sorted ascending by
    /// that column already (its caption ends in "▲"), ascending otherwise.
    int SetHeader(int column);
    /// What a click on the header of `column` does: SetHeader, then sort.
    void sortByColumn(int column);
    /// What a double click on display row `row` does: open its document,
    /// then, once the opener has answered, mark the row read or tell the
    /// user it could not be opened.
    void openRow(int row);
    /// The 履歴ｸﾘｱ button: asks first, then clears and loads again.
    void clearHistory();
    /// Merges new lines of history.dat and shows them (see the class);
    /// nothing while a check run of this program goes on, and later again
    /// while another program holds the data folder.
    void refresh();

    /// The window's size at first opening.
    QSize sizeHint() const override;

    HistoryModel& model() const { return *m_model; }
    QTableView& grid() const { return *m_grid; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// The clear once no check run is in progress.
    void clearNow();
    void buildControls();
    void applyColumnWidths();
    bool clearReadRows(const std::string& historyPath);
    bool clearAllRows(const std::string& historyPath);

    WindowContext m_context;
    DocumentOpener m_open;
    HistoryModel* m_model;
    QTableView* m_grid;
    QRadioButton* m_readOnly = nullptr;
    QRadioButton* m_everything = nullptr;
    QPushButton* m_clear = nullptr;
    bool m_loadFailed = false;
    /// Watches history.dat and its folder for new lines.
    QFileSystemWatcher* m_watcher = nullptr;
    /// Gathers a burst of changes into one refresh, and retries one.
    QTimer* m_refreshTimer = nullptr;
    int m_sortColumn = -1; ///< the column of the last sort since loading, or -1
    int m_sortDirection = kAscending;
};

} // namespace tessaly

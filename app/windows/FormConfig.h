// SPDX-License-Identifier: MIT
#pragma once

#include "resident/WindowContext.h"

#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tessaly {

/// Asks the user for a folder, starting at `start`; "" when cancelled.
using FolderChooser = std::function<QString(QWidget* parent, const QString& start)>;

/// The desktop's folder picker titled "フォルダを選んでください", listing
/// files as well as folders.
QString ChooseFolder(QWidget* parent, const QString& start);

/// Where the folder picker opens for the folder box's `text`: that folder
/// when it exists, else the user's home folder.
QString FolderPickerStart(const QString& text);

/// The subscription editor: the ten rows of the program's subscription
/// table in a list (List1), the cells of the selected row below it (the
/// Text1 boxes by index, Check1, Text2). Every edit goes into the table at
/// once; 更新 (Command2) saves it, クリア (Command3) empties the row, 購読
/// (Command4) runs a check now. Until a row is selected the fields are
/// disabled. The folder takes
/// any path; the other boxes refuse a comma, CR and LF, and characters code
/// page 932 lacks (with a message). A row that comes into use (its first
/// cell typed, or saved as it is) gets FileName "*.*" and Subfolders "0"
/// where they are empty; while no row is in use a hint says what to do.
/// Enter saves like 更新; Escape closes the editor, and closing with
/// unsaved edits asks first (Yes drops them). UI thread only.
class FormConfig final : public QWidget {
    Q_OBJECT

public:
    /// Loads the editor. `choose` asks for a folder (the desktop's picker by
    /// default). `context` must outlive the editor.
    explicit FormConfig(const WindowContext& context, FolderChooser choose = ChooseFolder, QWidget* parent = nullptr);
    ~FormConfig() override;

    /// The opening steps: reads subscription.dat into the table and lists
    /// the rows, selecting the first; without a readable file it appends
    /// the ten bare entries "( 1)" ... "(10)" and, when no row was chosen
    /// before, selects the first of them.
    void load();
    /// The row being edited (1..10), if any.
    std::optional<int> currentRow() const { return m_currentRow; }

    /// Empties the selected row (`clear`), or copies the controls into it.
    void SetArray(bool clear);
    /// The completion of the name and file name and the normalisation of
    /// the last-check date, as on leaving their boxes. Always true.
    bool InputCheck();
    /// Leaving a Text1 box: a row with content but no name is named
    /// "購読" and its two-digit number, and one without file name gets "*.*".
    void completeRow();
    /// Leaving Text2: a date becomes "yyyy/mm/dd"; a text that is no date
    /// becomes today's date.
    void normaliseDate();

    /// True when a cell edited here differs from what was last loaded.
    bool hasUnsavedEdits() const;

    /// The buttons: folder picker, 更新, クリア, 購読.
    void pickFolder();
    void save();
    void clearRow();
    void subscribe();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    /// 更新 once no check run is in progress.
    void saveNow();
    /// The file as it is now with the cells edited here since it was read.
    SubscriptionTable withEditsOverFile() const;
    void buildControls();
    /// A field box; `caption` names it in messages, nullptr for the folder.
    QLineEdit* lineBox(const char* name, const char* caption);
    void selectEntry(int index);
    /// Adds a list entry for row `number` (1..10), which it keeps as item data.
    void addEntry(int number, const QString& caption);
    void fill();
    void store(int column, const QString& text);
    /// Marks cell `column` of the current row edited; a blank row coming
    /// into use gets its defaults, shown in the boxes.
    void edited(int column);
    /// Shows the hint while every row is blank.
    void showHint();
    /// The folder cell for the folder box's `text`.
    std::string folderBytes(const QString& text) const;
    QString box(int index) const;
    void setFieldsEnabled(bool enabled);
    /// Makes the list tall enough for its ten rows.
    void showTenRows();

    WindowContext m_context;
    FolderChooser m_choose;
    std::optional<int> m_currentRow;
    std::string m_shownFolder;  ///< the folder cell as the row was shown, bytes and all
    SubscriptionTable m_loaded; ///< the subscriptions as the editor last read them
    bool m_filling = false;
    /// The cells edited since the last load, bit `column` per row.
    std::array<unsigned, 10> m_edited{};
    QLabel* m_hint = nullptr;
    QListWidget* m_list = nullptr;
    QGroupBox* m_fields = nullptr;
    std::array<QLineEdit*, 5> m_text1{};
    QCheckBox* m_check1 = nullptr;
    QLineEdit* m_text2 = nullptr;
    QPushButton* m_pick = nullptr;
    QPushButton* m_update = nullptr;
    QPushButton* m_subscribe = nullptr;
};

} // namespace tessaly

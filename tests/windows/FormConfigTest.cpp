// SPDX-License-Identifier: MIT
// The subscription editor: the list, the fields by index, the defaults of a
// new row, completion and date rules on leaving a box, the Update, Clear and
// Subscribe buttons, and closing with unsaved edits.
#include "WindowsHarness.h"

#include "windows/FormConfig.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>

using namespace tessaly;
using namespace tessaly::test;

namespace {

SubscriptionTable SomeTable()
{
    SubscriptionTable table;
    for (int row = 0; row < 10; row += 2)
        table[size_t(row)] = {
            "Docs" + std::to_string(row + 1), "plan", "/srv/docs", "*.txt", "1", "a@example.jp", "2026/12/01 08:00:00"};
    return table;
}

struct ConfigFixture {
    explicit ConfigFixture(bool withFile = true)
    {
        if (withFile)
            SaveSubscriptions(SomeTable(), h.folder.path());
        form = std::make_unique<FormConfig>(h.context, [this](QWidget*, const QString& start) {
            pickerStart = start;
            return chosenFolder;
        });
        form->show();
    }
    QLineEdit* text1(int index) const { return form->findChild<QLineEdit*>(QStringLiteral("Text1_%1").arg(index)); }
    QLineEdit* text2() const { return form->findChild<QLineEdit*>("Text2"); }
    QCheckBox* check1() const { return form->findChild<QCheckBox*>("Check1"); }
    QListWidget* list() const { return form->findChild<QListWidget*>("List1"); }
    void click(const char* name) { QTest::mouseClick(form->findChild<QPushButton*>(name), Qt::LeftButton); }
    QStringList entries() const
    {
        QStringList texts;
        for (int row = 0; row < list()->count(); ++row)
            texts << list()->item(row)->text();
        return texts;
    }
    Subscription& row(int number) { return h.data.subscriptions[size_t(number - 1)]; }

    WindowsHarness h;
    QString chosenFolder;
    QString pickerStart; ///< where the picker was last asked to open
    std::unique_ptr<FormConfig> form;
};

} // namespace

class FormConfigTest final : public QObject {
    Q_OBJECT

private slots:
    void listsTheRowsAndTheBoxesShowAndEditTheirCellsByIndex();
    void rowComingIntoUseGetsTheDefaults_data();
    void rowComingIntoUseGetsTheDefaults();
    void leavingABoxCompletesNameAndFileName();
    void dateRules_data();
    void dateRules();
    void folderPickerFillsTheFolder();
    void onlyTheFolderTakesWhatShiftJisCannotHold();
    void folderThatIsNoUtf8KeepsItsBytesUntilEdited();
    void updateSavesAndSelectsTheFirstRowAgain();
    void clearThenUpdateWritesAnEmptyRow();
    void subscribeRunsACheckThenReloads();
    void subscribeDuringACheckRunsOnceItHasEnded();
    void withoutAFileTheBareListIsAppendedEachTime();
    void unusualSubfoldersCellShowsUntickedAndStays();
    void enterSaves();
    void closingAsksOnlyForUnsavedEdits_data();
    void closingAsksOnlyForUnsavedEdits();
    void layoutShowsWholeDatesAndTenRows();
};

void FormConfigTest::listsTheRowsAndTheBoxesShowAndEditTheirCellsByIndex()
{
    ConfigFixture f;
    QCOMPARE(f.entries(), QStringList({"(01)Docs1", "(02)", "(03)Docs3", "(04)", "(05)Docs5", "(06)", "(07)Docs7",
                                       "(08)", "(09)Docs9", "(10)"}));
    QCOMPARE(f.form->currentRow(), std::optional<int>(1));
    QCOMPARE(f.list()->currentRow(), 0);
    // Text1 by index: keyword, folder, mail address, name, file name.
    QStringList shown;
    for (int index = 0; index < 5; ++index)
        shown << f.text1(index)->text();
    QCOMPARE(shown, QStringList({"plan", "/srv/docs", "a@example.jp", "Docs1", "*.txt"}));
    QCOMPARE(f.text2()->text(), QStringLiteral("2026/12/01 08:00:00"));
    QVERIFY(f.check1()->isChecked());
    QVERIFY(f.h.messages.messages.empty());

    f.list()->setCurrentRow(1);
    QCOMPARE(f.form->currentRow(), std::optional<int>(2));
    QTest::keyClicks(f.text1(3), "Name");
    QTest::keyClicks(f.text1(0), "Key");
    QTest::keyClicks(f.text1(1), "/f");
    f.text1(4)->clear(); // the new row's "*.*"
    QTest::keyClicks(f.text1(4), "*.doc");
    QTest::keyClicks(f.text1(2), "b@example.jp");
    QTest::keyClicks(f.text2(), "2026/1/2");
    QTest::mouseClick(f.check1(), Qt::LeftButton, {}, QPoint(8, 8));
    const Subscription expected{"Name", "Key", "/f", "*.doc", "1", "b@example.jp", "2026/1/2"};
    QCOMPARE(f.row(2), expected);
    // A comma would split the cell in the file: it is not taken.
    QTest::keyClicks(f.text1(0), ",x");
    QCOMPARE(f.row(2).Keyword, std::string("Keyx"));
    // The entry shows the new name only after the next load.
    QCOMPARE(f.entries()[1], QStringLiteral("(02)"));
}

void FormConfigTest::rowComingIntoUseGetsTheDefaults_data()
{
    QTest::addColumn<int>("box"); ///< the Text1 box typed into; -1: the row is saved as loaded
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("name") << 3 << QStringLiteral("Docs") << QStringLiteral("*.*");
    QTest::newRow("folder") << 1 << QStringLiteral("/srv") << QStringLiteral("*.*");
    QTest::newRow("file name") << 4 << QStringLiteral("*.txt") << QStringLiteral("*.txt");
    QTest::newRow("saved as loaded") << -1 << QString() << QStringLiteral("*.*");
}

void FormConfigTest::rowComingIntoUseGetsTheDefaults()
{
    QFETCH(int, box);
    QFETCH(QString, typed);
    QFETCH(QString, fileName);
    ConfigFixture f;
    f.list()->setCurrentRow(1);
    if (box >= 0) {
        QTest::keyClicks(f.text1(box), typed);
        // At once, in the table and in the boxes.
        QCOMPARE(f.text1(4)->text(), fileName);
        QVERIFY(!f.check1()->isChecked());
        QCOMPARE(f.row(2).FileName, fileName.toStdString());
        QCOMPARE(f.row(2).Subfolders, std::string("0"));
    } else {
        f.row(2) = {"Docs", "", "/srv", "", "", "", ""}; // as a hand-made file may hold it
    }
    f.click("Command2");
    SubscriptionTable saved;
    QVERIFY(LoadSubscriptions(saved, f.h.folder.path(), f.h.messages));
    QCOMPARE(saved[1].FileName, fileName.toStdString());
    QCOMPARE(saved[1].Subfolders, std::string("0"));
}

void FormConfigTest::leavingABoxCompletesNameAndFileName()
{
    ConfigFixture f;
    f.list()->setCurrentRow(1);
    QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
    f.text1(1)->setFocus();
    QTest::keyClicks(f.text1(1), "/srv/new");
    f.text1(0)->setFocus(); // leaves the folder box
    QTRY_COMPARE(f.text1(3)->text(), QStringLiteral("購読02"));
    QCOMPARE(f.text1(4)->text(), QStringLiteral("*.*"));
    QCOMPARE(f.row(2).Name, std::string("購読02"));
    QCOMPARE(f.row(2).FileName, std::string("*.*"));
    // An empty row stays empty; a named row keeps its name.
    f.list()->setCurrentRow(3);
    QVERIFY(f.form->InputCheck());
    QCOMPARE(f.row(4), Subscription{});
    f.list()->setCurrentRow(0);
    f.text1(4)->clear();
    f.form->InputCheck();
    QCOMPARE(f.row(1).Name, std::string("Docs1"));
    QCOMPARE(f.row(1).FileName, std::string("*.*"));
}

void FormConfigTest::dateRules_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    // What cannot be read as a date becomes today's.
    QTest::newRow("impossible date") << QStringLiteral("2024/2/30") << QStringLiteral("2026/12/06");
    QTest::newRow("not a date") << QStringLiteral("yesterday") << QStringLiteral("2026/12/06");
    QTest::newRow("date with time") << QStringLiteral("2024/3/5 10:20") << QStringLiteral("2024/03/05");
    QTest::newRow("iso date") << QStringLiteral("2025-11-30") << QStringLiteral("2025/11/30");
    QTest::newRow("empty") << QString() << QString();
}

void FormConfigTest::dateRules()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    ConfigFixture f;
    QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
    f.text2()->setFocus();
    f.text2()->clear();
    QTest::keyClicks(f.text2(), typed);
    f.text1(0)->setFocus();
    QTRY_COMPARE(f.text2()->text(), shown);
    QCOMPARE(f.row(1).LastCheck, shown.toStdString());
}

void FormConfigTest::folderPickerFillsTheFolder()
{
    ConfigFixture f;
    f.chosenFolder = QStringLiteral("/home/user/報告");
    f.click("Command1");
    QCOMPARE(f.text1(1)->text(), f.chosenFolder);
    QCOMPARE(f.row(1).Folder, std::string("/home/user/報告"));
    // The picker opened at the user's home for a folder that is not there,
    // at the folder itself when it is.
    QCOMPARE(f.pickerStart, QDir::homePath());
    f.chosenFolder.clear(); // cancelled
    f.text1(1)->setText(QString::fromStdString(f.h.folder.path()));
    f.click("Command1");
    QCOMPARE(f.pickerStart, QString::fromStdString(f.h.folder.path()));
    QCOMPARE(f.row(1).Folder, f.h.folder.path());
}

void FormConfigTest::onlyTheFolderTakesWhatShiftJisCannotHold()
{
    ConfigFixture f;
    QGuiApplication::clipboard()->setText(QStringLiteral(";報告😀"));
    QTest::keyClick(f.text1(2), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(f.row(1).MailTo, std::string("a@example.jp"));
    QCoreApplication::processEvents();
    QCOMPARE(f.h.lastMessage(), QStringLiteral("ﾒｰﾙ送信先に Shift-JIS で表せない文字「😀」(U+1F600)は使えません。"));
    QCOMPARE(f.h.messages.messages.size(), size_t(1));

    // The folder takes any path, a comma included, and the file keeps it.
    const QString path = QStringLiteral("/srv/café,〜😀");
    f.text1(1)->clear();
    TypeText(f.text1(1), path);
    QCOMPARE(f.row(1).Folder, path.toStdString());
    f.click("Command2");
    QCOMPARE(f.h.lastMessage(), QStringLiteral("更新しました"));
    QCOMPARE(f.text1(1)->text(), path);
    QCOMPARE(f.row(1).Folder, path.toStdString());
}

void FormConfigTest::folderThatIsNoUtf8KeepsItsBytesUntilEdited()
{
    ConfigFixture f(false);                    // no file: the rows show the table as it is
    const std::string latin1 = "/srv/caf\xe9"; // "é" in Latin-1
    f.row(2) = {"Docs", "", latin1, "*.*", "0", "", ""};
    f.list()->setCurrentRow(1);
    QCOMPARE(f.text1(1)->text(), QStringLiteral("/srv/caf\uFFFD"));
    QTest::keyClicks(f.text1(3), "2");
    f.form->SetArray(false);
    f.click("Command2");
    QCOMPARE(f.h.lastMessage(), QStringLiteral("更新しました"));
    f.list()->setCurrentRow(1);
    QCOMPARE(f.row(2).Name, std::string("Docs2"));
    QCOMPARE(f.row(2).Folder, latin1);
    // An edit of the folder takes the text as shown; undone, the bytes are back.
    QTest::keyClicks(f.text1(1), "x");
    QCOMPARE(f.row(2).Folder, std::string("/srv/caf\xef\xbf\xbdx"));
    QTest::keyClick(f.text1(1), Qt::Key_Backspace);
    QCOMPARE(f.row(2).Folder, latin1);
}

void FormConfigTest::updateSavesAndSelectsTheFirstRowAgain()
{
    ConfigFixture f;
    f.list()->setCurrentRow(4);
    f.text1(3)->setText(QStringLiteral("改名"));
    f.click("Command2");
    QCOMPARE(f.h.lastMessage(), QStringLiteral("更新しました"));
    QCOMPARE(f.form->currentRow(), std::optional<int>(1));
    QCOMPARE(f.entries()[4], QStringLiteral("(05)改名"));
    SubscriptionTable saved;
    QVERIFY(LoadSubscriptions(saved, f.h.folder.path(), f.h.messages));
    QCOMPARE(saved[4].Name, std::string("改名"));
    // What another writer saved meanwhile (tessalyctl, a check run's last
    // check) stays: only the cells edited here are written.
    SubscriptionTable other = saved;
    other[6].Name = "他で追加";
    other[4].LastCheck = "2026/12/07 09:00:00";
    QVERIFY(SaveSubscriptions(other, f.h.folder.path()));
    f.list()->setCurrentRow(2);
    f.text1(3)->setText(QStringLiteral("三番"));
    f.click("Command2");
    QVERIFY(LoadSubscriptions(saved, f.h.folder.path(), f.h.messages));
    QCOMPARE(saved[2].Name, std::string("三番"));
    QCOMPARE(saved[6].Name, std::string("他で追加"));
    QCOMPARE(saved[4].LastCheck, std::string("2026/12/07 09:00:00"));
    // A failed update is reported: a folder has taken the file's name.
    QCOMPARE(::unlink(f.h.folder.file("subscription.dat").c_str()), 0);
    QCOMPARE(::mkdir(f.h.folder.file("subscription.dat").c_str(), 0700), 0);
    f.click("Command2");
    QVERIFY(f.h.lastMessage().startsWith(QStringLiteral("購読ﾌｧｲﾙの書き込みに失敗しました。\r\n")));
}

void FormConfigTest::clearThenUpdateWritesAnEmptyRow()
{
    ConfigFixture f;
    f.click("Command3");
    for (int index = 0; index < 5; ++index)
        QVERIFY(f.text1(index)->text().isEmpty());
    QVERIFY(!f.check1()->isChecked() && f.text2()->text().isEmpty());
    f.click("Command2");
    const std::string file = ReadFile(f.h.folder.file("subscription.dat"));
    QCOMPARE(QString::fromStdString(file.substr(0, file.find("\r\n"))), QStringLiteral(",,,,0,,,"));
}

void FormConfigTest::subscribeRunsACheckThenReloads()
{
    ConfigFixture f;
    f.list()->setCurrentRow(2);
    f.text1(3)->setText(QStringLiteral("New"));
    // The check run sees the unsaved edit, stamps the row and saves the table.
    f.h.onRun = [&f] {
        QCOMPARE(f.row(3).Name, std::string("New"));
        f.row(1).LastCheck = "2026/12/06 14:05:09";
        SaveSubscriptions(f.h.data.subscriptions, f.h.folder.path());
    };
    f.click("Command4");
    QCOMPARE(f.h.runs, 1);
    QCOMPARE(f.h.lastMessage(), QStringLiteral("終了しました"));
    QCOMPARE(f.form->currentRow(), std::optional<int>(1));
    QCOMPARE(f.text2()->text(), QStringLiteral("2026/12/06 14:05:09"));
    QCOMPARE(f.entries()[2], QStringLiteral("(03)New"));
}

void FormConfigTest::subscribeDuringACheckRunsOnceItHasEnded()
{
    ConfigFixture f;
    // 購読 pressed while a run waits in a message box: the second run
    // starts after the first has ended, never inside it.
    int depth = 0;
    f.h.onRun = [&f, &depth] {
        QCOMPARE(++depth, 1);
        if (f.h.runs == 1) {
            f.form->subscribe();
            QCOMPARE(f.h.runs, 1);
            QVERIFY(!f.form->findChild<QPushButton*>("Command4")->isEnabled());
        }
        --depth;
    };
    f.click("Command4");
    QCOMPARE(f.h.runs, 2);
    QCOMPARE(f.h.messages.messages, (std::vector<std::string>{"終了しました", "終了しました"}));
    QVERIFY(f.form->findChild<QPushButton*>("Command4")->isEnabled());
}

void FormConfigTest::withoutAFileTheBareListIsAppendedEachTime()
{
    ConfigFixture f(false);
    const QStringList bare{"( 1)", "( 2)", "( 3)", "( 4)", "( 5)", "( 6)", "( 7)", "( 8)", "( 9)", "(10)"};
    QCOMPARE(f.entries(), bare);
    // No row in use: the editor says what to do, until one is.
    auto* hint = f.form->findChild<QLabel*>("EmptyHint");
    QVERIFY(hint->isVisible());
    // The first row is chosen, ready to be typed.
    QCOMPARE(f.form->currentRow(), std::optional<int>(1));
    QVERIFY(f.text1(3)->isEnabled());
    QCOMPARE(f.h.data.subscriptions, SubscriptionTable{});
    f.form->load();
    QCOMPARE(f.entries(), bare + bare);
    f.list()->setCurrentRow(12);
    QCOMPARE(f.form->currentRow(), std::optional<int>(3));
    QVERIFY(f.text1(3)->isEnabled());
    QTest::keyClicks(f.text1(1), "/srv");
    QCOMPARE(f.row(3).Folder, std::string("/srv"));
    QVERIFY(!hint->isVisible());
    f.click("Command3");
    QVERIFY(hint->isVisible());
    QVERIFY(!ConfigFixture().form->findChild<QLabel*>("EmptyHint")->isVisible());
}

void FormConfigTest::unusualSubfoldersCellShowsUntickedAndStays()
{
    ConfigFixture f;
    f.row(2).Subfolders = "yes";
    f.row(4).Subfolders = "2";
    f.list()->setCurrentRow(1);
    QCOMPARE(f.check1()->checkState(), Qt::Unchecked);
    QCOMPARE(f.row(2).Subfolders, std::string("yes"));
    f.list()->setCurrentRow(3);
    QCOMPARE(f.check1()->checkState(), Qt::PartiallyChecked);
    QTest::mouseClick(f.check1(), Qt::LeftButton, {}, QPoint(8, 8));
    QCOMPARE(f.row(4).Subfolders, std::string("1"));
}

void FormConfigTest::enterSaves()
{
    ConfigFixture f;
    f.list()->setCurrentRow(1);
    f.text1(0)->setFocus();
    QTest::keyClicks(f.text1(0), "memo");
    // Enter completes the row as leaving the box would, then saves.
    QTest::keyClick(f.text1(0), Qt::Key_Return);
    QCOMPARE(f.h.lastMessage(), QStringLiteral("更新しました"));
    SubscriptionTable saved;
    QVERIFY(LoadSubscriptions(saved, f.h.folder.path(), f.h.messages));
    QCOMPARE(saved[1].Keyword, std::string("memo"));
    QCOMPARE(saved[1].Name, std::string("購読02"));
    QCOMPARE(saved[1].FileName, std::string("*.*"));
    QCOMPARE(f.list()->currentRow(), 0);
    const size_t shown = f.h.messages.messages.size();
    QTest::keyClick(f.list(), Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(f.h.messages.messages.size(), shown + 1);
}

void FormConfigTest::closingAsksOnlyForUnsavedEdits_data()
{
    QTest::addColumn<QString>("typed"); ///< into the keyword box, then Escape
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("answer"); ///< to "変更を保存せずに閉じますか?"
    QTest::newRow("no edit") << "" << false << true;
    QTest::newRow("edit undone") << "x\b" << false << true;
    QTest::newRow("edit, closed") << "x" << true << true;
    QTest::newRow("edit, kept open") << "x" << true << false;
}

void FormConfigTest::closingAsksOnlyForUnsavedEdits()
{
    QFETCH(QString, typed);
    QFETCH(bool, asked);
    QFETCH(bool, answer);
    ConfigFixture f;
    for (QChar key : typed)
        QTest::keyClick(f.text1(0), key == u'\b' ? Qt::Key_Backspace : Qt::Key_X);
    f.h.messages.answers.push_back(answer);
    QTest::keyClick(f.text1(0), Qt::Key_Escape);
    QCOMPARE(f.h.messages.questions.size(), size_t(asked));
    if (asked)
        QCOMPARE(f.h.messages.questions.front(), std::string("変更を保存せずに閉じますか?"));
    const bool closed = !asked || answer;
    QCOMPARE(f.form->isVisible(), !closed);
    // Closed, the edit is dropped; kept open, it stays.
    QCOMPARE(f.row(1).Keyword, std::string(closed ? "plan" : "planx"));
    QVERIFY(f.h.messages.messages.empty());
}

void FormConfigTest::layoutShowsWholeDatesAndTenRows()
{
    ConfigFixture f;
    // The last-check box shows a whole date and time.
    const QString longest = QStringLiteral("2026/12/07 00:47:00");
    QVERIFY2(f.text2()->width() > f.text2()->fontMetrics().horizontalAdvance(longest) + 4,
             qPrintable(QString::number(f.text2()->width())));
    QVERIFY(f.text1(4)->width() >= f.text2()->width());
    // All ten rows are in view without scrolling.
    QVERIFY(f.list()->visualItemRect(f.list()->item(9)).bottom() < f.list()->viewport()->height());
}

QTEST_MAIN(FormConfigTest)
#include "FormConfigTest.moc"

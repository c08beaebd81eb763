// SPDX-License-Identifier: MIT
// The history list: loading with the merge, new lines while it is open, the
// grid, sorting by header clicks, opening documents with read marks, and the
// two clears.
#include "WindowsHarness.h"

#include "common/Cp932.h"
#include "common/PathField.h"
#include "support/PermissionBits.h"
#include "windows/FormList.h"
#include "windows/HistoryModel.h"

#include <QApplication>
#include <QBrush>
#include <QHeaderView>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace tessaly;
using namespace tessaly::test;

namespace {

/// One history line in code page 932 with CR LF.
std::string Line(const std::string& detected, const std::string& name, const std::string& folder,
                 const std::string& file, const std::string& fileTime)
{
    return Utf8ToCp932(detected + "," + name + "," + folder + "," + file + "," + fileTime + ",") + "\r\n";
}

const std::string kLineA = Line("26年12月05_09:00:00", "Beta", "/srv/b", "b.txt", "26年12月04_08:00:00");
const std::string kLineB = Line("26年12月06_10:00:00", "Alpha", "/srv/a", "a.txt", "26年12月06_09:00:00");
const std::string kLineC = Line("26年12月04_11:00:00", "購読", "/srv/c", "c.txt", "26年12月05_07:00:00");

/// A history line naming `folder`/`file`, each written as an escaped path
/// field.
std::string LineFor(const std::string& folder, const std::string& file)
{
    return Utf8ToCp932("26年12月07_08:00:00,購読,") + EncodePathField(folder) + "," + EncodePathField(file) + "," +
           Utf8ToCp932("26年12月07_07:00:00,") + "\r\n";
}

// A folder and a file name code page 932 cannot carry: é, 〜 (which would
// come back as ～), an emoji, a byte that is no UTF-8, a comma, CR and LF.
const std::string kOddFolder = "/srv/caf\xc3\xa9 \xe3\x80\x9c";
const std::string kOddFile = "a,b\r\n\xf0\x9f\x98\x80\xff.doc";
const std::string kOddLine = LineFor(kOddFolder, kOddFile);

/// Stands in for the desktop's opener program until destroyed: an
/// "xdg-open" first on PATH that writes its argument to a file and ends
/// with `exitStatus`; for -1, a PATH that holds no opener at all.
struct StandInOpener {
    explicit StandInOpener(int exitStatus) : savedPath(qgetenv("PATH"))
    {
        argument = folder.file("argument");
        if (exitStatus < 0) {
            qputenv("PATH", QByteArray::fromStdString(folder.path()));
            return;
        }
        const std::string script = folder.file("xdg-open");
        WriteFile(script,
                  "#!/bin/sh\nprintf '%s' \"$1\" > '" + argument + "'\nexit " + std::to_string(exitStatus) + "\n");
        ::chmod(script.c_str(), 0700);
        qputenv("PATH", QByteArray::fromStdString(folder.path()) + ":" + savedPath);
    }
    ~StandInOpener() { qputenv("PATH", savedPath); }
    bool ran() const { return QFile::exists(QString::fromStdString(argument)); }

    TempFolder folder;
    QByteArray savedPath;
    std::string argument;
};

/// A history list over the harness, with a document opener that records.
struct ListFixture {
    /// `desktop`: open through the desktop's own opener instead of recording.
    explicit ListFixture(const std::string& history, const std::string& inbox = {}, bool desktop = false)
    {
        if (!history.empty())
            WriteFile(h.folder.file("history.hst"), history);
        if (!inbox.empty())
            WriteFile(h.folder.file("history.dat"), inbox);
        DocumentOpener recorder = [this](const std::string& path, const OpenResult& done) {
            opened.push_back(path);
            done(openSucceeds, openSucceeds ? std::string() : std::string("拒否"));
        };
        form = std::make_unique<FormList>(h.context, desktop ? DocumentOpener(OpenDocument) : recorder);
        form->show();
        form->activateWindow();
        if (!QTest::qWaitForWindowActive(form.get()))
            qWarning("the history list did not become active");
    }
    QStringList column(int column) const
    {
        QStringList cells;
        for (int row = 0; row < form->model().rowCount(); ++row)
            cells << form->model().cellText(row, column);
        return cells;
    }
    QStringList captions() const
    {
        QStringList texts;
        for (int column = 0; column < HistoryModel::kColumns; ++column)
            texts << form->model().headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        return texts;
    }
    void clickHeader(int column)
    {
        QHeaderView* header = form->grid().horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 10, header->height() / 2));
    }
    /// Double-clicks `row` in `view` (the grid when null) at `column`.
    void doubleClickRow(int row, QTableView* view = nullptr, int column = 1)
    {
        QTableView& grid = view ? *view : form->grid();
        const QPoint at = grid.visualRect(form->model().index(row, column)).center();
        // A double click is a press and release followed by the double click.
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, at);
    }
    void clear(bool everything, bool answer = true)
    {
        form->findChild<QRadioButton*>(everything ? "Option1_1" : "Option1_0")->setChecked(true);
        h.messages.answers.push_back(answer);
        QTest::mouseClick(form->findChild<QWidget*>("Command1"), Qt::LeftButton);
    }
    std::string history() const { return ReadFile(h.folder.file("history.hst")); }

    WindowsHarness h;
    std::vector<std::string> opened;
    bool openSucceeds = true;
    std::unique_ptr<FormList> form;
};

} // namespace

class FormListTest final : public QObject {
    Q_OBJECT

private slots:
    void loadMergesTheInboxAndShowsEveryLine();
    void emptyHistoryShowsOneEmptyRowThatOpensNothing();
    void newLinesAppearWhileOpenKeepingMarksAndSort();
    void columnsFitTheirDatesAndTheFirstStaysWhileScrolling();
    void headerClicksCycleTheDirectionAndMoveTheMarker();
    void pathsSortByTheTextShown_data();
    void pathsSortByTheTextShown();
    void doubleClickOrEnterOpensTheDocumentAndMarksTheRow();
    void desktopOpenerMarksTheRowOrTellsWhy_data();
    void desktopOpenerMarksTheRowOrTellsWhy();
    void desktopOpenerNamesTheFileByItsBytes();
    void clearOfReadRowsKeepsTheOthersInDisplayOrder();
    void clearKeepsWindowsAndEscapedLinesByteForByteAndOpensThem();
    void clearOfEverythingDeletesAndTakesInNewLines();
    void failedRewriteKeepsTheFileAndTheMarks();
    void historyThatIsALinkIsNotReadThroughIt();
};

void FormListTest::loadMergesTheInboxAndShowsEveryLine()
{
    ListFixture f(kLineA + kLineB, kLineC);
    QCOMPARE(f.history(), kLineA + kLineB + kLineC);
    QVERIFY(!QFile::exists(QString::fromStdString(f.h.folder.file("history.dat"))));
    QCOMPARE(f.column(1), QStringList({"Beta", "Alpha", "購読"}));
    QCOMPARE(f.column(0).front(), QStringLiteral("26年12月05_09:00:00"));
    QCOMPARE(f.column(4).back(), QStringLiteral("26年12月05_07:00:00"));
    QVERIFY(f.h.messages.messages.empty());
}

void FormListTest::emptyHistoryShowsOneEmptyRowThatOpensNothing()
{
    ListFixture f({});
    QCOMPARE(f.form->model().rowCount(), 1);
    QCOMPARE(f.form->model().lineCount(), 0);
    QCOMPARE(f.column(0), QStringList({QString()}));
    f.doubleClickRow(0);
    QVERIFY(f.opened.empty());
    QCOMPARE(f.h.lastMessage(), QStringLiteral("ﾌｧｲﾙを開けませんでした"));
    // A clear of everything that cannot delete the file says so.
    QCOMPARE(::mkdir(f.h.folder.file("history.hst").c_str(), 0700), 0);
    f.clear(true);
    QVERIFY(f.h.lastMessage().startsWith(QStringLiteral("履歴ﾌｧｲﾙの削除に失敗しました。\r\n")));
}

void FormListTest::newLinesAppearWhileOpenKeepingMarksAndSort()
{
    ListFixture f(kLineA + kLineB);
    f.clickHeader(1); // Alpha, Beta
    f.doubleClickRow(0);
    // This program's check run: the rows come once it has ended.
    f.h.onRun = [&f] {
        WriteFile(f.h.folder.file("history.dat"), kLineC);
        QCOMPARE(f.form->model().lineCount(), 2);
    };
    f.h.runner.run();
    QCOMPARE(f.column(1), QStringList({"Alpha", "Beta", "購読"}));
    QVERIFY(f.form->model().isRead(0));
    QCOMPARE(f.captions()[1], QStringLiteral("購読名▲"));
    QCOMPARE(f.history(), kLineA + kLineB + kLineC);
    // Another program's (tessalyctl check): seen in history.dat.
    WriteFile(f.h.folder.file("history.dat"), Line("26年12月08_09:00:00", "Aardvark", "/srv/x", "x.txt", ""));
    QTRY_COMPARE(f.column(1), QStringList({"Aardvark", "Alpha", "Beta", "購読"}));
    QVERIFY(f.form->model().isRead(1));
    QVERIFY(!QFile::exists(QString::fromStdString(f.h.folder.file("history.dat"))));
}

void FormListTest::columnsFitTheirDatesAndTheFirstStaysWhileScrolling()
{
    ListFixture f(kLineA + kLineB + kLineC);
    QTableView& grid = f.form->grid();
    QHeaderView* header = grid.horizontalHeader();
    // A cell's text has a margin of the focus frame and a pixel each side.
    const int margin = 2 * (grid.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &grid) + 1);
    const QFontMetrics metrics(grid.font());
    for (int column : {0, 4}) {
        const int text = metrics.horizontalAdvance(f.form->model().cellText(0, column));
        QVERIFY2(header->sectionSize(column) >= text + margin, qPrintable(QString::number(column)));
    }
    // At the first size every column is on screen, the last one to the edge.
    QCOMPARE(grid.horizontalScrollBar()->value(), 0);
    QCOMPARE(header->sectionViewportPosition(4) + header->sectionSize(4), grid.viewport()->width());

    // Narrowed and scrolled to the far right, the first column still shows
    // the dates, and its header still sorts.
    f.form->resize(300, f.form->height());
    QApplication::processEvents();
    grid.horizontalScrollBar()->setValue(grid.horizontalScrollBar()->maximum());
    QVERIFY(grid.horizontalScrollBar()->value() > 0);
    auto* frozen = grid.findChild<QTableView*>(QStringLiteral("FrozenColumn"));
    QVERIFY(frozen && frozen->isVisible());
    QCOMPARE(frozen->x(), grid.frameWidth());
    QCOMPARE(frozen->columnWidth(0), header->sectionSize(0));
    QVERIFY(!frozen->visualRect(f.form->model().index(0, 0)).isEmpty());
    QVERIFY(frozen->visualRect(f.form->model().index(0, 1)).isEmpty());
    QTest::mouseClick(frozen->horizontalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(10, frozen->horizontalHeader()->height() / 2));
    QCOMPARE(f.captions()[0], QStringLiteral("ﾁｪｯｸ日▲"));
    QCOMPARE(f.column(0).front(), QStringLiteral("26年12月04_11:00:00"));
    // A double click on the frozen column opens the row too.
    f.doubleClickRow(0, frozen, 0);
    QCOMPARE(f.opened, std::vector<std::string>{"/srv/c/c.txt"});
}

void FormListTest::headerClicksCycleTheDirectionAndMoveTheMarker()
{
    ListFixture f(kLineA + kLineB + kLineC);
    f.clickHeader(1);
    QCOMPARE(f.captions()[1], QStringLiteral("購読名▲"));
    QCOMPARE(f.column(1), QStringList({"Alpha", "Beta", "購読"}));
    f.clickHeader(1);
    QCOMPARE(f.captions()[1], QStringLiteral("購読名▼"));
    QCOMPARE(f.column(1), QStringList({"購読", "Beta", "Alpha"}));
    f.clickHeader(1);
    QCOMPARE(f.captions()[1], QStringLiteral("購読名▲"));
    // Another column starts ascending and takes the marker; dates sort as dates.
    f.clickHeader(0);
    QCOMPARE(f.captions(), QStringList({"ﾁｪｯｸ日▲", "購読名", "ﾌｫﾙﾀﾞ", "ﾌｧｲﾙ", "最終更新日"}));
    QCOMPARE(f.column(1), QStringList({"購読", "Beta", "Alpha"}));
    QVERIFY(f.form->grid().hasFocus());
}

void FormListTest::pathsSortByTheTextShown_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("ascending");
    // An escaped cell ("|" and "%XX") sorts where the text it shows does.
    QTest::newRow("folder") << 2 << QStringList{"/srv/a", "/srv/b", "/srv/café 〜", "/srv/d"};
    QTest::newRow("file") << 3 << QStringList{"a,b.doc", "b.txt", "c.txt", "d.txt"};
}

void FormListTest::pathsSortByTheTextShown()
{
    QFETCH(int, column);
    QFETCH(QStringList, ascending);
    ListFixture f(LineFor("/srv/b", "c.txt") + LineFor(kOddFolder, "a,b.doc") + LineFor("/srv/d", "b.txt") +
                  LineFor("/srv/a", "d.txt"));
    f.clickHeader(column);
    QCOMPARE(f.column(column), ascending);
}

void FormListTest::doubleClickOrEnterOpensTheDocumentAndMarksTheRow()
{
    ListFixture f(kLineA + kLineB);
    f.doubleClickRow(1);
    QCOMPARE(f.opened, std::vector<std::string>{"/srv/a/a.txt"});
    const HistoryModel& model = f.form->model();
    QVERIFY(model.isRead(1) && !model.isRead(0));
    // The mark is a colour, and text for screen readers and tool tips,
    // which also show a whole path.
    for (int column = 0; column < 5; ++column) {
        QCOMPARE(model.index(1, column).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(0, 255, 255));
        QCOMPARE(model.index(1, column).data(Qt::AccessibleDescriptionRole).toString(), QStringLiteral("既読"));
        QCOMPARE(model.index(0, column).data(Qt::AccessibleDescriptionRole).toString(), QStringLiteral("未読"));
    }
    QCOMPARE(model.index(1, 2).data(Qt::ToolTipRole).toString(), QStringLiteral("/srv/a\n既読"));
    QCOMPARE(model.index(0, 2).data(Qt::ToolTipRole).toString(), QStringLiteral("/srv/b"));
    QVERIFY(!model.index(0, 1).data(Qt::ToolTipRole).isValid());
    QVERIFY(f.h.messages.messages.empty());
    // A document that cannot be opened is reported, named and with the
    // reason, and stays unread.
    f.openSucceeds = false;
    f.doubleClickRow(0);
    QCOMPARE(f.opened.size(), size_t(2));
    QCOMPARE(f.h.lastMessage(), QStringLiteral("ﾌｧｲﾙを開けませんでした\r\n/srv/b/b.txt\r\n拒否"));
    QVERIFY(!model.isRead(0));
    // Return and the keypad's Enter open the current row; other keys only
    // move the selection.
    f.openSucceeds = true;
    QTableView& grid = f.form->grid();
    grid.setFocus();
    grid.setCurrentIndex(model.index(1, 2));
    QTest::keyClick(&grid, Qt::Key_Up);
    QCOMPARE(f.opened.size(), size_t(2));
    QTest::keyClick(&grid, Qt::Key_Return);
    QCOMPARE(f.opened.back(), std::string("/srv/b/b.txt"));
    QVERIFY(model.isRead(0));
    QTest::keyClick(&grid, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(f.opened.size(), size_t(4));
}

void FormListTest::desktopOpenerMarksTheRowOrTellsWhy_data()
{
    QTest::addColumn<int>("exitStatus"); ///< of the stand-in opener; -1: none on PATH
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("reason"); ///< empty: opened and marked
    QTest::newRow("opened") << 0 << true << QString();
    // xdg-open's "no application" and the like: it ran, and failed.
    QTest::newRow("opener failed") << 4 << true << QStringLiteral("関連付けられたプログラムで開けませんでした");
    // Told at once, without running the opener.
    QTest::newRow("missing file") << 0 << false << QStringLiteral("ファイルまたはフォルダがありません");
    QTest::newRow("no opener") << -1 << true
                               << QStringLiteral("ファイルを開くプログラム xdg-open を起動できませんでした");
}

void FormListTest::desktopOpenerMarksTheRowOrTellsWhy()
{
    QFETCH(int, exitStatus);
    QFETCH(bool, exists);
    QFETCH(QString, reason);
    TempFolder docs;
    if (exists)
        WriteFile(docs.file("a.txt"), "x");
    ListFixture f(LineFor(docs.path(), "a.txt"), {}, true);
    const StandInOpener desktop(exitStatus);
    f.doubleClickRow(0);
    if (reason.isEmpty()) {
        QTRY_VERIFY(f.form->model().isRead(0));
        QVERIFY(f.h.messages.messages.empty());
    } else {
        QTRY_VERIFY(!f.h.messages.messages.empty());
        QCOMPARE(f.h.lastMessage(), QStringLiteral("ﾌｧｲﾙを開けませんでした\r\n") +
                                        QString::fromStdString(docs.file("a.txt")) + QStringLiteral("\r\n") + reason);
        QVERIFY(!f.form->model().isRead(0));
    }
    QCOMPARE(desktop.ran(), exists && exitStatus >= 0);
}

void FormListTest::desktopOpenerNamesTheFileByItsBytes()
{
    TempFolder docs;
    // "é" in Latin-1: not UTF-8. Text would make it "?" or U+FFFD, and
    // files of those names exist beside it.
    const std::string latin1 = "caf\xe9 #%.doc";
    WriteFile(docs.file(latin1), "x");
    WriteFile(docs.file("caf? #%.doc"), "x");
    WriteFile(docs.file("caf\xef\xbf\xbd #%.doc"), "x");
    StandInOpener desktop(0);
    ListFixture f(LineFor(docs.path(), latin1), {}, true);
    f.doubleClickRow(0);
    QTRY_VERIFY(f.form->model().isRead(0));
    const QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(ReadFile(desktop.argument)));
    QVERIFY(url.isLocalFile());
    QCOMPARE(QByteArray::fromPercentEncoding(url.toEncoded()),
             "file://" + QByteArray::fromStdString(docs.file(latin1)));
}

void FormListTest::clearOfReadRowsKeepsTheOthersInDisplayOrder()
{
    // The last line has a comma too many: only its first five parts are kept.
    ListFixture f(kLineA + kLineB + kLineC + "x,y,z,w,v,extra,\r\n");
    f.clickHeader(1);
    f.clickHeader(1); // descending, by the bytes of code page 932
    QCOMPARE(f.column(1), QStringList({"購読", "y", "Beta", "Alpha"}));
    f.doubleClickRow(2);
    f.clear(false);
    QCOMPARE(f.h.messages.questions.back(), std::string("履歴をｸﾘｱしますか?"));
    QCOMPARE(f.history(), kLineC + "x,y,z,w,v,\r\n" + kLineB);
    // Loaded again: no marker, nothing read.
    QCOMPARE(f.captions()[1], QStringLiteral("購読名"));
    QCOMPARE(f.form->model().lineCount(), 3);
    QVERIFY(!f.form->model().isRead(0));
}

void FormListTest::clearKeepsWindowsAndEscapedLinesByteForByteAndOpensThem()
{
    // As a Windows installation writes it: code page 932 with "\\" as the
    // second byte of 表 and 予.
    const std::string windows =
        Line("26年12月03_09:00:00", "購読", "C:\\表示\\資料", "予定表.xls", "26年12月02_18:00:00");
    ListFixture f(kLineA + windows + kOddLine);
    f.doubleClickRow(0);
    f.clear(false);
    QCOMPARE(f.history(), windows + kOddLine);
    const HistoryModel& model = f.form->model();
    QCOMPARE(model.cellText(0, 2), QStringLiteral("C:\\表示\\資料"));
    // An escaped line shows its names and opens the exact bytes.
    QCOMPARE(model.cellText(1, 2), QStringLiteral("/srv/café 〜"));
    QCOMPARE(model.cellText(1, 3), QStringLiteral("a,b\r\n😀\uFFFD.doc"));
    QCOMPARE(model.cellText(1, 4), QStringLiteral("26年12月07_07:00:00"));
    f.doubleClickRow(1);
    QCOMPARE(f.opened.back(), kOddFolder + "/" + kOddFile);
    QVERIFY(model.isRead(1));
}

void FormListTest::clearOfEverythingDeletesAndTakesInNewLines()
{
    ListFixture f(kLineA + kLineB);
    WriteFile(f.h.folder.file("history.dat"), kLineC);
    f.clear(true);
    QCOMPARE(f.column(1), QStringList({"購読"}));
    QCOMPARE(f.history(), kLineC);
    f.clear(true);
    QVERIFY(!QFile::exists(QString::fromStdString(f.h.folder.file("history.hst"))));
    QCOMPARE(f.form->model().rowCount(), 1);
    QVERIFY(f.h.messages.messages.empty());
}

void FormListTest::failedRewriteKeepsTheFileAndTheMarks()
{
    ListFixture f(kLineA + kLineB);
    f.doubleClickRow(0);
    // Answering No clears nothing.
    f.clear(true, false);
    f.clear(false, false);
    QCOMPARE(f.history(), kLineA + kLineB);
    QVERIFY(f.form->model().isRead(0));
    // A folder that takes no new file: the new history cannot be begun.
    QCOMPARE(::chmod(f.h.folder.path().c_str(), 0500), 0);
    const auto writable = qScopeGuard([&f] { ::chmod(f.h.folder.path().c_str(), 0700); });
    PermissionBitsApply bits;
    if (!bits.active())
        QSKIP("permission bits cannot be made to apply");
    f.clear(false);
    QVERIFY(f.h.lastMessage().startsWith(QStringLiteral("履歴ﾌｧｲﾙの書き込みに失敗しました。\r\n")));
    QVERIFY(f.h.lastMessage().contains(QStringLiteral("history.hst")));
    QCOMPARE(f.history(), kLineA + kLineB);
    QVERIFY(f.form->model().isRead(0));
}

void FormListTest::historyThatIsALinkIsNotReadThroughIt()
{
    WindowsHarness elsewhere;
    WriteFile(elsewhere.folder.file("history.hst"), kLineA);
    ListFixture f({});
    QCOMPARE(::symlink(elsewhere.folder.file("history.hst").c_str(), f.h.folder.file("history.hst").c_str()), 0);
    f.form->load();
    QVERIFY(f.h.lastMessage().startsWith(QStringLiteral("履歴ﾌｧｲﾙの読み込みに失敗しました。\r\n")));
    QCOMPARE(f.form->model().lineCount(), 0);
    // Rows that were never shown are not written back over the link.
    f.clear(false);
    QCOMPARE(f.h.lastMessage(), QStringLiteral("履歴ﾌｧｲﾙを読み込めなかったため、ｸﾘｱできません。"));
    QCOMPARE(ReadFile(elsewhere.folder.file("history.hst")), kLineA);
}

QTEST_MAIN(FormListTest)
#include "FormListTest.moc"

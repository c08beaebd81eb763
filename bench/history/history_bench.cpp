// SPDX-License-Identifier: MIT
// How long the history list takes with a large history: loading (merge,
// read, split, first paint), sorting each way and scrolling, each printed
// next to the time it takes merely to read the file.
//   history_bench [--lines N] [--dir FOLDER]
// Run on the offscreen platform; timings are printed, never checked.
#include "common/Clock.h"
#include "common/Cp932.h"
#include "common/FileSystem.h"
#include "common/UserMessages.h"
#include "resident/CheckRunner.h"
#include "resident/ResidentData.h"
#include "watch/HistoryMerge.h"
#include "windows/FormList.h"
#include "windows/HistoryModel.h"

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

using namespace tessaly;

namespace {

class PrintedMessages final : public UserMessages {
public:
    void ShowMessage(std::string_view text) override
    {
        std::fprintf(stderr, "message: %.*s\n", int(text.size()), text.data());
    }
    bool AskYesNo(std::string_view) override { return true; }
};

/// Seconds `work` takes.
double Seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string TwoDigits(unsigned value)
{
    char text[3];
    std::snprintf(text, sizeof text, "%02u", value % 100);
    return text;
}

/// `lines` history lines in code page 932, reproducible.
std::string MakeHistory(int lines, unsigned seed)
{
    std::mt19937 random(seed);
    const char* names[] = {"報告書", "議事録", "Docs", "見積", "Design", "週報"};
    std::string text;
    text.reserve(static_cast<size_t>(lines) * 110);
    for (int i = 0; i < lines; ++i) {
        const unsigned r = random();
        const std::string name = names[r % 6];
        std::string line = TwoDigits(20 + r % 7) + "年" + TwoDigits(1 + r / 7 % 12) + "月" +
                           TwoDigits(1 + r / 91 % 28) + "_" + TwoDigits(r / 3 % 24) + ":" + TwoDigits(r / 5 % 60) +
                           ":" + TwoDigits(r / 11 % 60) + "," + name + ",/srv/共有/" + name + "/" +
                           std::to_string(r % 500) + ",資料_" + std::to_string(r % 100000) +
                           ".docx,26年12月05_08:00:00,";
        text += Utf8ToCp932(line);
        text += "\r\n";
    }
    return text;
}

void Row(const char* what, double seconds, double reference)
{
    std::printf("%-40s %9.3f s  %7.2fx read\n", what, seconds, seconds / reference);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int lines = 1000000;
    std::string folder;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--lines") == 0)
            lines = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--dir") == 0)
            folder = argv[i + 1];
    }
    const bool ownFolder = folder.empty();
    if (ownFolder)
        folder =
            (std::filesystem::temp_directory_path() / ("tessaly-history-bench-" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(folder);
    const std::string historyPath = JoinPath(folder, "history.hst");
    const std::string inboxPath = JoinPath(folder, "history.dat");
    {
        std::ofstream(historyPath, std::ios::binary | std::ios::trunc) << MakeHistory(lines, 1);
        std::ofstream(inboxPath, std::ios::binary | std::ios::trunc) << MakeHistory(100, 2);
    }
    std::printf("history of %d lines, %.1f MB\n", lines + 100,
                static_cast<double>(std::filesystem::file_size(historyPath)) / 1e6);

    // Warm the cache, then the reference: reading the file and nothing else.
    std::string bytes;
    ReadWholeFile(historyPath, &bytes, nullptr);
    const double read = Seconds([&] { ReadWholeFile(historyPath, &bytes, nullptr); });
    Row("read the file (reference)", read, read);

    PrintedMessages messages;
    SystemClock clock;
    CheckRunner runner;
    ResidentData data{folder, {}, {}};
    std::unique_ptr<FormList> form;
    Row("open: merge, read, show (first paint)", Seconds([&] {
            form = std::make_unique<FormList>(WindowContext{data, messages, runner, clock});
            form->show();
            form->grid().viewport()->repaint();
        }),
        read);
    if (form->model().lineCount() != lines + 100) {
        std::fprintf(stderr, "expected %d rows, the list shows %d\n", lines + 100, form->model().lineCount());
        return 1;
    }
    for (int column : {0, 1, 3}) {
        for (int click = 0; click < 2; ++click) {
            const std::string what = "sort column " + std::to_string(column) + (click ? " descending" : " ascending");
            Row(what.c_str(), Seconds([&] {
                    form->sortByColumn(column);
                    form->grid().viewport()->repaint();
                }),
                read);
        }
    }
    {
        HistoryModel alone;
        alone.setContent(bytes);
        Row("sort column 3, model without a view", Seconds([&] { alone.sortRows(3, true); }), read);
    }
    QScrollBar* bar = form->grid().verticalScrollBar();
    Row("scroll: 20 jumps across the rows", Seconds([&] {
            for (int step = 1; step <= 20; ++step) {
                bar->setValue(bar->maximum() / 20 * step);
                form->grid().viewport()->repaint();
            }
        }),
        read);
    Row("clear of read rows (rewrite)", Seconds([&] {
            const std::vector<HistoryCells> rows = form->model().unreadRows();
            RewriteHistory(historyPath, rows);
        }),
        read);
    form.reset();
    if (ownFolder)
        std::filesystem::remove_all(folder);
    return 0;
}

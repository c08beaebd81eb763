// SPDX-License-Identifier: MIT
// How much memory a large history takes: the peak growth of the resident
// set while the history list opens and sorts, and the peak of
// `tessalyctl history` over the same file, each printed as bytes per line
// and as a multiple of the file's size.
//   history_memory_bench [--lines N] [--short] [--dir FOLDER]
// Run on the offscreen platform; the figures are printed, never checked.
#include "cli/Ctl.h"
#include "common/Clock.h"
#include "common/Cp932.h"
#include "common/StreamMessages.h"
#include "resident/CheckRunner.h"
#include "resident/ResidentData.h"
#include "windows/FormList.h"
#include "windows/HistoryModel.h"

#include <QApplication>
#include <QTableView>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

using namespace tessaly;

namespace {

/// A field of /proc/self/status in bytes ("VmRSS", "VmHWM").
long long StatusBytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::atoll(line.c_str() + prefix.size()) * 1024;
    return 0;
}

/// The peak growth of the resident set while `work` runs.
long long PeakGrowth(const std::function<void()>& work)
{
    // "5" resets the high-water mark to the current resident set.
    std::ofstream("/proc/self/clear_refs") << "5";
    const long long before = StatusBytes("VmRSS");
    work();
    return StatusBytes("VmHWM") - before;
}

/// Writes `lines` history lines of the usual shape, streamed; `shortLines`
/// writes the least a line can be instead (a line end alone), where the
/// cost per line shows most.
void WriteHistory(const std::string& path, int lines, bool shortLines)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (shortLines) {
        for (int i = 0; i < lines; ++i)
            out << "\r\n";
        return;
    }
    const char* names[] = {"報告書", "議事録", "Docs", "見積", "Design", "週報"};
    char date[64];
    for (int i = 0; i < lines; ++i) {
        const unsigned r = static_cast<unsigned>(i) * 2654435761u;
        std::snprintf(date, sizeof date, "%02u年%02u月%02u_%02u:%02u:%02u", 20 + r % 7, 1 + r / 7 % 12, 1 + r / 91 % 28,
                      r / 3 % 24, r / 5 % 60, r / 11 % 60);
        const std::string name = names[r % 6];
        out << Utf8ToCp932(std::string(date) + "," + name + ",/srv/共有/" + name + "/" + std::to_string(r % 500) +
                           ",資料_" + std::to_string(r % 100000) + ".docx,26年12月05_08:00:00,")
            << "\r\n";
    }
}

/// A stream that throws its output away, as > /dev/null would.
class Discard final : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

/// The peak growth of `tessalyctl --dir folder history [--json]`, run in
/// this process (a child's own peak cannot be told apart from ours: it
/// starts as a copy of this process); -1 when the command failed.
long long CtlPeak(const std::string& folder, bool json)
{
    std::vector<std::string> args{"--dir", folder, "history"};
    if (json)
        args.emplace_back("--json");
    Discard discard;
    std::ostream out(&discard);
    int status = 0;
    const long long peak = PeakGrowth([&] { status = RunCtl(args, out, std::cerr); });
    return status == kCtlOk ? peak : -1;
}

void Row(const char* what, long long bytes, int lines, long long fileSize)
{
    if (bytes < 0) {
        std::printf("%-44s failed\n", what);
        return;
    }
    std::printf("%-44s %8.1f MB  %7.1f bytes/line  %5.2fx the file\n", what, static_cast<double>(bytes) / 1e6,
                static_cast<double>(bytes) / lines, static_cast<double>(bytes) / static_cast<double>(fileSize));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int lines = 1000000;
    std::string folder;
    bool shortLines = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--short") == 0)
            shortLines = true;
        else if (std::strcmp(argv[i], "--lines") == 0 && i + 1 < argc)
            lines = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc)
            folder = argv[++i];
    }
    const bool ownFolder = folder.empty();
    if (ownFolder) {
        char pattern[] = "/tmp/tessaly-history-memory-XXXXXX";
        if (!::mkdtemp(pattern)) {
            std::perror("mkdtemp");
            return 1;
        }
        folder = pattern;
    }
    const std::string historyPath = folder + "/history.hst";
    WriteHistory(historyPath, lines, shortLines);
    const long long fileSize = static_cast<long long>(std::filesystem::file_size(historyPath));
    std::printf("history of %d lines, %.1f MB (%.1f bytes/line)\n", lines, static_cast<double>(fileSize) / 1e6,
                static_cast<double>(fileSize) / lines);

    StreamMessages messages(std::cerr);
    SystemClock clock;
    CheckRunner runner;
    ResidentData data{folder, {}, {}};
    std::unique_ptr<FormList> form;
    Row("history list: open and show", PeakGrowth([&] {
            form = std::make_unique<FormList>(WindowContext{data, messages, runner, clock});
            form->show();
            form->grid().viewport()->repaint();
        }),
        lines, fileSize);
    int shown = form->model().lineCount();
    Row("history list: sort by file name", PeakGrowth([&] { form->sortByColumn(3); }), lines, fileSize);
    form.reset();
    Row("tessalyctl history", CtlPeak(folder, false), lines, fileSize);
    Row("tessalyctl history --json", CtlPeak(folder, true), lines, fileSize);
    if (ownFolder)
        std::filesystem::remove_all(folder);
    if (shown != lines) {
        std::fprintf(stderr, "expected %d rows, the list showed %d\n", lines, shown);
        return 1;
    }
    return 0;
}

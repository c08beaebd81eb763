// SPDX-License-Identifier: MIT
// Times setting the live watches on a tree against one walk of it, the
// way a check run makes it.
//
//   live_bench --root DIR [--pattern P]
//
// Prints one line of "key=value" fields: the seconds to set the watches,
// the folders watched, the row's state (live, or why not), the resident
// memory the watches added in this process (the kernel keeps about a
// kilobyte per watch besides), then the seconds of one walk and the files
// it found.
#include "watch/FolderWalk.h"
#include "watch/LiveWatch.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

/// VmRSS of /proc/self/status in kB.
long ResidentKilobytes()
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    long value = -1;
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "VmRSS:", 6) == 0) {
            value = std::atol(line + 6);
            break;
        }
    }
    std::fclose(status);
    return value;
}

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

const char* StateName(tessaly::LiveState state)
{
    switch (state) {
    case tessaly::LiveState::Live: return "live";
    case tessaly::LiveState::Remote: return "remote";
    case tessaly::LiveState::NoWatches: return "watch-limit";
    case tessaly::LiveState::Unreadable: return "unreadable";
    case tessaly::LiveState::Off: break;
    }
    return "off";
}

} // namespace

int main(int argc, char** argv)
{
    std::string root;
    std::string pattern = "*.doc*";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view option = argv[i];
        if (option == "--root")
            root = argv[i + 1];
        else if (option == "--pattern")
            pattern = argv[i + 1];
    }
    if (root.empty()) {
        std::fprintf(stderr, "usage: live_bench --root DIR [--pattern P]\n");
        return 2;
    }
    tessaly::SubscriptionTable table;
    table[0] = {"bench", "", root, pattern, "1", "", ""};

    const long before = ResidentKilobytes();
    auto start = std::chrono::steady_clock::now();
    tessaly::LiveWatch watch;
    std::string error;
    if (!watch.watch(table, "/nonexistent-data-folder", &error)) {
        std::fprintf(stderr, "live_bench: %s\n", error.c_str());
        return 1;
    }
    const double watchSeconds = SecondsSince(start);
    const long after = ResidentKilobytes();

    start = std::chrono::steady_clock::now();
    const auto files = tessaly::GetFilesMostDeep(root, pattern, "1", tessaly::WalkOptions{8, true}, &error);
    const double walkSeconds = SecondsSince(start);
    if (!files) {
        std::fprintf(stderr, "live_bench: %s\n", error.c_str());
        return 1;
    }
    std::printf("watch_seconds=%.4f folders=%zu state=%s watch_rss_kb=%ld walk_seconds=%.4f files=%zu\n", watchSeconds,
                watch.folderCount(), StateName(watch.rows()[0].state), after - before, walkSeconds, files->size());
    return 0;
}

// SPDX-License-Identifier: MIT
// Times one folder walk the way a check run makes it and counts the files
// that count as updated since an instant.
//
//   walk_bench --root DIR --since T [--pattern P] [--subfolders S] [--threads N]
//
// Prints one line of "key=value" fields: the walk's time in seconds, the
// files found, how many of them were created or written after T (Unix
// seconds), the peak resident memory of the program, its resident memory
// before the walk, and the bytes the result list holds.
#include "common/AutomationDate.h"
#include "watch/FolderWalk.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// A "Vm...:" figure of /proc/self/status in kB. These belong to this
// program image alone, unlike getrusage's peak, which keeps the peak of
// the process before it exec'd us.
long StatusKilobytes(const char* key)
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    long value = -1;
    size_t keyLength = std::strlen(key);
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, key, keyLength) == 0 && line[keyLength] == ':') {
            value = std::atol(line + keyLength + 1);
            break;
        }
    }
    std::fclose(status);
    return value;
}

} // namespace

int main(int argc, char** argv)
{
    std::string root;
    std::string pattern = "*.doc*";
    std::string subfolders = "1";
    long long since = 0;
    tessaly::WalkOptions options;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string_view key = argv[i];
        const char* value = argv[i + 1];
        if (key == "--root")
            root = value;
        else if (key == "--pattern")
            pattern = value;
        else if (key == "--subfolders")
            subfolders = value;
        else if (key == "--since")
            since = std::atoll(value);
        else if (key == "--threads")
            options.threads = std::atoi(value);
    }
    if (root.empty()) {
        std::fprintf(stderr, "usage: walk_bench --root DIR --since T [--pattern P] [--subfolders S] [--threads N]\n");
        return 2;
    }

    long baseline = StatusKilobytes("VmRSS");
    auto start = std::chrono::steady_clock::now();
    std::string error;
    std::optional<tessaly::WalkResult> result = tessaly::GetFilesMostDeep(root, pattern, subfolders, options, &error);
    if (!result) {
        std::fprintf(stderr, "walk_bench: %s\n", error.c_str());
        return 1;
    }
    // Compared as instants, as the check run compares them.
    size_t newer = 0;
    for (size_t i = 0; i < result->size(); ++i)
        newer += result->createdInstant(i).seconds > since || result->writtenInstant(i).seconds > since;
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;

    std::printf("seconds=%.4f files=%zu newer=%zu peak_kb=%ld baseline_kb=%ld result_kb=%zu\n", elapsed.count(),
                result->size(), newer, StatusKilobytes("VmHWM"), baseline, result->memoryBytes() / 1024);
    return 0;
}

// SPDX-License-Identifier: MIT
// Generates the reproducible folder tree the walk benchmark runs over.
//
//   make_tree --root DIR [--files N] [--folders F] [--seed S]
//
// Four levels of folders (fan-out B, so B + B^2 + B^3 + B^4 folders, B chosen
// so that the total is near F; F defaults to N / 90), N empty files spread
// over the root and every folder, about a third of them named to match
// "*.doc*" without regard to case, 15% with Japanese names. After every file
// exists the program takes an instant T and moves the last-write time of
// every hundredth file (a known 1%) to after T. It prints T and the counts
// a walk must find, one "key=value" per line.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// splitmix64: the same sequence on every platform and standard library.
class Random final {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    size_t below(size_t n) { return static_cast<size_t>(next() % n); }

private:
    uint64_t m_state;
};

struct Options {
    std::string root;
    uint64_t files = 1000000;
    uint64_t folders = 0;
    uint64_t seed = 1;
};

const char* const kMatching[] = {".doc", ".docx", ".DOC", ".Docx", ".docm", ".doc.bak"};
const char* const kOther[] = {".txt", ".xls", ".pdf", ".csv", ".xlsx", "", ".ppt", "_doc", ".txt.old", ".md"};
const char* const kSyllables[] = {"ka",  "ri",   "to",   "mon", "sel",   "da", "pro", "ject",   "re",   "port",
                                  "min", "utes", "plan", "Q",   "draft", "v",  "x",   "budget", "Memo", "_"};
const char* const kJapanese[] = {"報告",         "議事録", "資料", "見積", "請求書", "仕様", "設計", "会議",
                                 "ドキュメント", "まとめ", "企画", "営業", "月次",   "週報", "案"};

[[noreturn]] void Die(const std::string& what)
{
    std::fprintf(stderr, "make_tree: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

std::string BaseName(Random& random)
{
    std::string name;
    if (random.below(100) < 15) {
        for (size_t parts = 1 + random.below(3); parts > 0; --parts)
            name += kJapanese[random.below(std::size(kJapanese))];
    } else {
        for (size_t parts = 2 + random.below(4); parts > 0; --parts)
            name += kSyllables[random.below(std::size(kSyllables))];
    }
    return name;
}

std::string FileName(Random& random, uint64_t index, bool* matches)
{
    std::string name = BaseName(random) + "_" + std::to_string(index);
    *matches = random.below(3) == 0;
    name += *matches ? kMatching[random.below(std::size(kMatching))] : kOther[random.below(std::size(kOther))];
    return name;
}

std::string FolderName(Random& random, size_t index)
{
    size_t kind = random.below(100);
    std::string base = kind < 10 ? BaseName(random) : kind < 13 ? "archive.doc" : "dept";
    return base + "_" + std::to_string(index);
}

uint64_t FanOut(uint64_t folders)
{
    uint64_t best = 1;
    double bestGap = 1e300;
    for (uint64_t b = 1; b <= 200; ++b) {
        double total = double(b) + double(b * b) + double(b * b * b) + double(b * b * b * b);
        double gap = std::fabs(total - double(folders));
        if (gap < bestGap) {
            best = b;
            bestGap = gap;
        }
    }
    return best;
}

Options Parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string_view key = argv[i];
        const char* value = argv[i + 1];
        if (key == "--root")
            options.root = value;
        else if (key == "--files")
            options.files = std::strtoull(value, nullptr, 10);
        else if (key == "--folders")
            options.folders = std::strtoull(value, nullptr, 10);
        else if (key == "--seed")
            options.seed = std::strtoull(value, nullptr, 10);
    }
    if (options.root.empty()) {
        std::fprintf(stderr, "usage: make_tree --root DIR [--files N] [--folders F] [--seed S]\n");
        std::exit(2);
    }
    if (options.folders == 0)
        options.folders = options.files / 90 > 0 ? options.files / 90 : 1;
    return options;
}

// The folder paths, root first, then level by level.
std::vector<std::string> MakeFolders(const Options& options, Random& random)
{
    if (::mkdir(options.root.c_str(), 0755) != 0)
        Die("cannot create " + options.root);
    uint64_t fanOut = FanOut(options.folders);
    std::vector<std::string> folders{options.root};
    size_t levelBegin = 0;
    for (int level = 1; level <= 4; ++level) {
        size_t levelEnd = folders.size();
        for (size_t parent = levelBegin; parent < levelEnd; ++parent) {
            for (uint64_t k = 0; k < fanOut; ++k) {
                std::string path = folders[parent] + "/" + FolderName(random, folders.size());
                if (::mkdir(path.c_str(), 0755) != 0)
                    Die("cannot create " + path);
                folders.push_back(path);
            }
        }
        levelBegin = levelEnd;
    }
    return folders;
}

} // namespace

int main(int argc, char** argv)
{
    Options options = Parse(argc, argv);
    Random random(options.seed);
    std::vector<std::string> folders = MakeFolders(options, random);

    std::vector<uint32_t> counts(folders.size(), 0);
    for (uint64_t i = 0; i < options.files; ++i)
        ++counts[random.below(folders.size())];

    uint64_t index = 0;
    uint64_t matching = 0;
    uint64_t changedMatching = 0;
    std::vector<std::string> changed;
    for (size_t f = 0; f < folders.size(); ++f) {
        int dir = ::open(folders[f].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0)
            Die("cannot open " + folders[f]);
        for (uint32_t k = 0; k < counts[f]; ++k, ++index) {
            bool matches = false;
            std::string name = FileName(random, index, &matches);
            int fd = ::openat(dir, name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
            if (fd < 0)
                Die("cannot create " + folders[f] + "/" + name);
            ::close(fd);
            matching += matches;
            if (index % 100 == 37) {
                changed.push_back(folders[f] + "/" + name);
                changedMatching += matches;
            }
        }
        ::close(dir);
    }

    // Every birth time lies before T; the changed files' write times after.
    ::sync();
    time_t since = std::time(nullptr) + 2;
    for (size_t i = 0; i < changed.size(); ++i) {
        struct timespec times[2] = {{since + 60 + time_t(i % 86400), 0}, {since + 60 + time_t(i % 86400), 0}};
        if (::utimensat(AT_FDCWD, changed[i].c_str(), times, 0) != 0)
            Die("cannot set the times of " + changed[i]);
    }
    std::printf("T=%lld\nfiles=%llu\nfolders=%zu\nmatching=%llu\nchanged=%zu\nchanged_matching=%llu\n",
                static_cast<long long>(since), static_cast<unsigned long long>(options.files), folders.size() - 1,
                static_cast<unsigned long long>(matching), changed.size(),
                static_cast<unsigned long long>(changedMatching));
    return 0;
}

// SPDX-License-Identifier: MIT
// Helper of the zip benchmark script.
//
//   zip_bench sample FILE MEGABYTES   writes a reproducible document-like file
//   zip_bench pack ARCHIVE PASSWORD FILE
//                                     packs FILE with the zip component as the
//                                     program does ("-r -v -j -P ...")
//
// The sample mixes text in lines (as in office documents and mails) with
// blocks of noise (as in embedded pictures, about a fifth of the bytes), so
// that it neither packs to nothing nor resists compression entirely.
#include "TessalyZip.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

/// A small deterministic generator, the same on every machine.
class Lcg final {
public:
    uint32_t next()
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(m_state >> 33);
    }

private:
    uint64_t m_state = 20261206;
};

std::vector<std::string> Vocabulary(Lcg& random)
{
    std::vector<std::string> words(4000);
    for (std::string& word : words) {
        const uint32_t length = 2 + random.next() % 9;
        for (uint32_t i = 0; i < length; ++i)
            word.push_back(static_cast<char>('a' + random.next() % 26));
    }
    return words;
}

int WriteSample(const char* path, long megabytes)
{
    Lcg random;
    const std::vector<std::string> words = Vocabulary(random);
    const size_t total = static_cast<size_t>(megabytes) << 20;
    std::string data;
    data.reserve(total + 8192);
    while (data.size() < total) {
        if (random.next() % 256 == 0) {
            for (int i = 0; i < 4096; ++i)
                data.push_back(static_cast<char>(random.next() & 0xff));
            continue;
        }
        for (int i = 0; i < 12; ++i)
            data += words[random.next() % words.size()] + (i == 11 ? "\n" : " ");
    }
    data.resize(total);
    std::FILE* out = std::fopen(path, "wb");
    if (!out || std::fwrite(data.data(), 1, data.size(), out) != data.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return 1;
    }
    return 0;
}

int Pack(const char* archive, const char* password, const char* file)
{
    const std::string line = std::string("-r -v -j -P ") + password + " \"" + archive + "\" \"" + file + "\"";
    char output[1024];
    const int32_t result = Zip(0, line.c_str(), output, sizeof output);
    if (result != 0)
        std::fprintf(stderr, "Zip failed (%d): %s\n", result, output);
    return result == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "sample" && argc == 4)
        return WriteSample(argv[2], std::atol(argv[3]));
    if (command == "pack" && argc == 5)
        return Pack(argv[2], argv[3], argv[4]);
    std::fprintf(stderr, "usage: zip_bench sample FILE MEGABYTES | pack ARCHIVE PASSWORD FILE\n");
    return 2;
}

// SPDX-License-Identifier: MIT
#include "FuzzInput.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace tessaly::fuzz {

const std::string& ScratchFolder()
{
    static const std::string folder = [] {
        std::string pattern =
            access("/dev/shm", W_OK) == 0 ? "/dev/shm/tessaly-fuzz-XXXXXX" : "/tmp/tessaly-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        return pattern;
    }();
    return folder;
}

std::string PutFile(const char* name, const uint8_t* data, size_t size)
{
    std::string path = ScratchFolder() + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size)
        std::abort();
    std::fclose(file);
    return path;
}

} // namespace tessaly::fuzz

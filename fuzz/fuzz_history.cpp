// SPDX-License-Identifier: MIT
// Reads an arbitrary history file and splits every line into its cells.
#include "FuzzInput.h"
#include "watch/HistoryFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = tessaly::fuzz::PutFile("history.hst", data, size);
    std::vector<std::string> lines;
    std::string error;
    tessaly::ReadHistoryLines(path, &lines, &error);
    for (const std::string& line : lines)
        tessaly::ParseHistoryLine(line);
    return 0;
}

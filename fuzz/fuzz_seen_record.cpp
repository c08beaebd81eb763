// SPDX-License-Identifier: MIT
// Opens an arbitrary record of seen files and reads back every folder of it.
#include "FuzzInput.h"
#include "watch/SeenRecord.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = tessaly::fuzz::PutFile("seen01.dat", data, size);
    // The configuration a seed was written with; any other gives Stale.
    for (uint64_t configuration : {uint64_t(1), uint64_t(0)}) {
        tessaly::SeenRecord record(path, configuration);
        if (record.state() != tessaly::SeenRecord::State::Ready && record.folders() != 0)
            std::abort(); // only a usable record has folders
        std::vector<tessaly::SeenEntry> entries;
        std::string folder;
        for (size_t i = 0; i < record.folders(); ++i) {
            record.entries(i, &entries);
            record.folderPath(i, &folder);
            if (record.find(tessaly::SeenHash(folder)) && entries.size() > size)
                std::abort(); // entries come from the file only
        }
    }
    return 0;
}

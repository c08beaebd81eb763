// SPDX-License-Identifier: MIT
// Loads an arbitrary sysconfig.dat, then saves and reloads what was loaded.
#include "FuzzInput.h"
#include "settings/BasicSettings.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    tessaly::fuzz::PutFile("sysconfig.dat", data, size);
    const std::string& folder = tessaly::fuzz::ScratchFolder();
    tessaly::BasicSettings settings;
    tessaly::LoadBasicSettings(settings, folder);
    std::string error;
    if (!tessaly::SaveBasicSettings(settings, folder, &error))
        return 0; // a value too long for a record
    tessaly::BasicSettings again;
    if (!tessaly::LoadBasicSettings(again, folder) || !(again == settings))
        std::abort(); // whatever was loaded must survive a save
    return 0;
}

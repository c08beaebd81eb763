// SPDX-License-Identifier: MIT
#include "resident/ResidentData.h"

#include "common/FileSystem.h"

namespace tessaly {

void LoadResidentSettings(ResidentData& data, std::ostream& log)
{
    ResetBasicSettings(data.settings);
    std::string error;
    // A FIFO or a link under the name is refused before the reader meets it.
    const std::string path = JoinPath(data.folder, kSettingsFileName);
    if (!IsRegularOrMissing(path, &error))
        log << "tessaly: " << kSettingsFileName << " cannot be read: " << error << std::endl;
    else if (!LoadBasicSettings(data.settings, data.folder, &error))
        log << "tessaly: " << kSettingsFileName << " was not read completely: " << error << std::endl;
}

void LoadResidentSubscriptions(ResidentData& data, UserMessages& messages)
{
    LoadSubscriptions(data.subscriptions, data.folder, messages);
}

} // namespace tessaly

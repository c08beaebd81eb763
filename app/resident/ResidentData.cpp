// SPDX-License-Identifier: MIT
#include "resident/ResidentData.h"

namespace tessaly {

void LoadResidentSettings(ResidentData& data, std::ostream& log)
{
    ResetBasicSettings(data.settings);
    std::string error;
    if (!LoadBasicSettings(data.settings, data.folder, &error))
        log << "tessaly: " << kSettingsFileName << " was not read completely: " << error << std::endl;
}

void LoadResidentSubscriptions(ResidentData& data, UserMessages& messages)
{
    LoadSubscriptions(data.subscriptions, data.folder, messages);
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "resident/ProgramVersion.h"

namespace tessaly {

ProgramVersion CurrentVersion()
{
    return {TESSALY_VERSION_MAJOR, TESSALY_VERSION_MINOR, TESSALY_VERSION_PATCH};
}

std::string VersionCaption()
{
    const ProgramVersion version = CurrentVersion();
    return std::string(kProgramTitle) + " Ver  " + std::to_string(version.major) + "." + std::to_string(version.minor) +
           "." + std::to_string(version.revision);
}

std::string TrayToolTip(bool watching, bool checking)
{
    return VersionCaption() + " " + (checking ? " ﾁｪｯｸ中…" : watching ? " 購読中…" : " -停止-");
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "resident/ShippedIcon.h"

#include "common/AtomicFile.h"
#include "common/FileSystem.h"

#include <QFile>

// Resources of a static library are registered by hand, outside any namespace.
static void InitResidentResources()
{
    Q_INIT_RESOURCE(resident);
}

namespace tessaly {

bool InstallShippedIcon(const std::string& folder, std::string* error)
{
    const std::string path = JoinPath(folder, kIconFileName);
    if (PathExists(path))
        return true;
    InitResidentResources();
    QFile shipped(QStringLiteral(":/tessaly/norvikinfo.ico"));
    if (!shipped.open(QIODevice::ReadOnly)) {
        if (error)
            *error = "the shipped icon is missing from the program";
        return false;
    }
    const QByteArray bytes = shipped.readAll();
    // Owner-only like every data file; the writer never follows a link.
    return WriteFileAtomically(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), error,
                               0600);
}

} // namespace tessaly

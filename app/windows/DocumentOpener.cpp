// SPDX-License-Identifier: MIT
#include "windows/DocumentOpener.h"

#include <QByteArray>
#include <QDesktopServices>
#include <QUrl>

#include <filesystem>
#include <system_error>

#include <sys/stat.h>

namespace tessaly {

bool OpenDocument(const std::string& pathBytes)
{
    struct stat st {};
    if (pathBytes.empty() || pathBytes.find('\0') != std::string::npos || ::stat(pathBytes.c_str(), &st) != 0)
        return false;
    // QUrl::fromLocalFile would go through QString and turn bytes that are
    // not UTF-8 into U+FFFD, naming another file.
    std::string absolute = pathBytes;
    if (absolute.front() != '/') {
        std::error_code ignored;
        absolute = std::filesystem::current_path(ignored).native() + "/" + absolute;
    }
    const QByteArray encoded = QByteArray::fromStdString(absolute).toPercentEncoding("/");
    return QDesktopServices::openUrl(QUrl::fromEncoded("file://" + encoded));
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "windows/DocumentOpener.h"

#include <QByteArray>
#include <QProcess>
#include <QString>

#include <filesystem>
#include <memory>
#include <system_error>

#include <sys/stat.h>

namespace tessaly {

void OpenDocument(const std::string& pathBytes, OpenResult done)
{
    struct stat st {};
    if (pathBytes.empty() || pathBytes.find('\0') != std::string::npos || ::stat(pathBytes.c_str(), &st) != 0) {
        if (done)
            done(false);
        return;
    }
    // QUrl::fromLocalFile would go through QString and turn bytes that are
    // not UTF-8 into U+FFFD, naming another file.
    std::string absolute = pathBytes;
    if (absolute.front() != '/') {
        std::error_code ignored;
        absolute = std::filesystem::current_path(ignored).native() + "/" + absolute;
    }
    const QByteArray encoded = QByteArray::fromStdString(absolute).toPercentEncoding("/");

    // No parent: closing the window that asked must not end the opener.
    auto* process = new QProcess;
    // The result is told once, whichever of "finished" and "errorOccurred"
    // comes first (a program that cannot start never finishes).
    auto report = std::make_shared<OpenResult>(std::move(done));
    const auto tell = [process, report](bool opened) {
        if (*report) {
            const OpenResult once = std::move(*report);
            *report = nullptr;
            once(opened);
        }
        process->deleteLater();
    };
    QObject::connect(process, &QProcess::finished, process, [tell](int exitCode, QProcess::ExitStatus status) {
        tell(status == QProcess::NormalExit && exitCode == 0);
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [tell](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            tell(false);
    });
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    process->start(QStringLiteral("xdg-open"), {QString::fromLatin1("file://" + encoded)});
}

} // namespace tessaly

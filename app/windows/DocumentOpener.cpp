// SPDX-License-Identifier: MIT
#include "windows/DocumentOpener.h"

#include "common/FileSystem.h"

#include <QByteArray>
#include <QProcess>
#include <QString>

#include <filesystem>
#include <memory>
#include <system_error>

#include <cerrno>

#include <sys/stat.h>

namespace tessaly {
namespace {

/// What xdg-open's exit status says, for the user.
std::string OpenerFailure(int exitCode)
{
    switch (exitCode) {
    case 2: return ErrorText(ENOENT);
    case 3: return "ファイルを開くプログラムが見つかりません";
    case 4: return "関連付けられたプログラムで開けませんでした";
    default: return "xdg-open が終了コード " + std::to_string(exitCode) + " で終わりました";
    }
}

} // namespace

void OpenDocument(const std::string& pathBytes, OpenResult done)
{
    struct stat st {};
    if (pathBytes.empty() || pathBytes.find('\0') != std::string::npos) {
        if (done)
            done(false, "ファイル名が正しくありません");
        return;
    }
    if (::stat(pathBytes.c_str(), &st) != 0) {
        const int cause = errno;
        if (done)
            done(false, ErrorText(cause));
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
    const auto tell = [process, report](bool opened, const std::string& reason) {
        if (*report) {
            const OpenResult once = std::move(*report);
            *report = nullptr;
            once(opened, reason);
        }
        process->deleteLater();
    };
    QObject::connect(process, &QProcess::finished, process, [tell](int exitCode, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit)
            tell(false, "xdg-open が異常終了しました");
        else
            tell(exitCode == 0, exitCode == 0 ? std::string() : OpenerFailure(exitCode));
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [tell](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            tell(false, "ファイルを開くプログラム xdg-open を起動できませんでした");
    });
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    process->start(QStringLiteral("xdg-open"), {QString::fromLatin1("file://" + encoded)});
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "ZipRun.h"

#include "TessalyZip.h"
#include "ZipArchiveWriter.h"
#include "ZipCommandLine.h"
#include "ZipEntries.h"

#include <vector>

namespace tessaly::zip {
namespace {

ZipResult Failure(int32_t status, std::string message)
{
    return ZipResult{status, std::move(message)};
}

ZipResult WriteArchive(const ZipCommand& command, const std::vector<ZipEntry>& entries)
{
    ZipArchiveWriter writer;
    std::string error;
    if (int32_t status = writer.create(command.archivePath, command.encrypt, command.password, &error))
        return Failure(status, std::move(error));
    for (const ZipEntry& entry : entries) {
        if (int32_t status = writer.add(entry, &error))
            return Failure(status, std::move(error));
    }
    if (int32_t status = writer.finish(&error))
        return Failure(status, std::move(error));
    ZipResult done;
    if (command.verbose)
        done.message = std::to_string(entries.size()) + " 個の項目を書庫に格納しました: " + command.archivePath;
    return done;
}

} // namespace

ZipResult RunZip(std::string_view commandLine)
{
    ZipCommand command;
    std::string error;
    if (!ParseZipCommandLine(commandLine, &command, &error))
        return Failure(TESSALY_ZIP_BAD_COMMAND, "コマンドラインが正しくありません: " + error);
    if (command.inputs.empty())
        return Failure(TESSALY_ZIP_NOTHING_TO_DO, "格納するファイルが指定されていません。");
    std::vector<ZipEntry> entries;
    if (!CollectZipEntries(command, &entries, &error))
        return Failure(TESSALY_ZIP_INPUT_ERROR, std::move(error));
    if (entries.empty())
        return Failure(TESSALY_ZIP_NOTHING_TO_DO, "格納するファイルがありません (フォルダには -r が必要です)。");
    return WriteArchive(command, entries);
}

} // namespace tessaly::zip

// SPDX-License-Identifier: MIT
#include "notify/ZipAttachment.h"

#include "common/FileSystem.h"
#include "notify/CreateZip.h"
#include "watch/PathParts.h"

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

namespace tessaly {
namespace {

/// A relative data folder is taken from the current folder, so that the
/// archive lands in it and not in the temporary folder.
std::string AbsoluteFolder(std::string_view folder)
{
    if (!folder.empty() && folder.front() == '/')
        return std::string(folder);
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(folder), ignored);
    return ignored ? std::string(folder) : absolute.string();
}

} // namespace

bool MakeZipAttachment(std::string_view sourcePath, std::string_view password, std::string_view dataFolder,
                       ZipArchiver& archiver, ZipAttachment* attachment, std::string* error,
                       std::string_view archiveName)
{
    const std::string name = archiveName.empty() ? FileNameOf(sourcePath) + ".zip" : std::string(archiveName);
    attachment->archivePath = JoinPath(AbsoluteFolder(dataFolder), name);
    attachment->archiveSize = 0;
    attachment->resultText = ZipFiles(&attachment->archivePath, std::string(sourcePath), password, archiver);
    if (attachment->resultText != kZipOk) {
        *error = attachment->resultText;
        return false;
    }
    if (attachment->archivePath.empty()) {
        *error = "書庫に入れる文書がありません: " + std::string(sourcePath);
        return false;
    }
    struct stat st {};
    if (::stat(attachment->archivePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = "書庫ファイルがありません: " + attachment->archivePath;
        return false;
    }
    attachment->archiveSize = st.st_size;
    return true;
}

} // namespace tessaly

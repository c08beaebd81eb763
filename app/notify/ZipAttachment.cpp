// SPDX-License-Identifier: MIT
#include "notify/ZipAttachment.h"

#include "common/FileSystem.h"
#include "common/PathField.h"
#include "common/PathParts.h"
#include "notify/CreateZip.h"

#include <cerrno>
#include <climits>
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

/// The length of the well-formed UTF-8 character at the start of `rest`,
/// or 0 when its first byte does not begin one.
size_t CharacterLength(std::string_view rest)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(rest[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || rest.size() < length)
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
    }
    const unsigned char second = byte(1);
    const bool overlong = (lead == 0xE0 && second < 0xA0) || (lead == 0xF0 && second < 0x90);
    const bool beyond = (lead == 0xED && second >= 0xA0) || (lead == 0xF4 && second >= 0x90);
    return overlong || beyond ? 0 : length;
}

bool IsUnfitByte(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F || c == '/';
}

/// The document failure text: the document's path and the cause, one line.
std::string DocumentFailure(std::string_view sourcePath, std::string cause)
{
    for (char& c : cause) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return "文書を書庫に入れられません: " + ValidUtf8(sourcePath) + " (" + cause + ")";
}

/// Checks the document before the component is asked: it must be a file
/// (a folder would be packed whole), and not a symbolic link, whose target
/// may be anything the user can read (the component refuses one as well,
/// should it be put in place of the file after this check).
bool CheckDocument(std::string_view sourcePath, std::string* error)
{
    struct stat st {};
    if (::lstat(std::string(sourcePath).c_str(), &st) != 0) {
        *error = DocumentFailure(sourcePath, ErrorText(errno));
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        *error = DocumentFailure(sourcePath, "シンボリックリンクは書庫に入れません");
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = DocumentFailure(sourcePath, "通常のファイルではありません");
        return false;
    }
    return true;
}

} // namespace

std::string ArchiveNameFor(std::string_view documentName, int copy)
{
    const std::string suffix = (copy >= 2 ? "(" + std::to_string(copy) + ")" : std::string()) + ".zip";
    const size_t room = NAME_MAX - suffix.size();
    std::string name;
    for (size_t pos = 0; pos < documentName.size();) {
        const size_t length = CharacterLength(documentName.substr(pos));
        const bool unfit = length == 0 || (length == 1 && IsUnfitByte(documentName[pos]));
        const std::string_view piece = unfit ? std::string_view("_") : documentName.substr(pos, length);
        if (name.size() + piece.size() > room)
            break;
        name += piece;
        pos += length == 0 ? 1 : length;
    }
    return (name.empty() ? "_" : name) + suffix;
}

bool MakeZipAttachment(std::string_view sourcePath, std::string_view password, std::string_view dataFolder,
                       ZipArchiver& archiver, ZipAttachment* attachment, std::string* error,
                       std::string_view archiveName)
{
    const std::string name = archiveName.empty() ? ArchiveNameFor(FileNameOf(sourcePath)) : std::string(archiveName);
    attachment->archivePath = JoinPath(AbsoluteFolder(dataFolder), name);
    attachment->archiveSize = 0;
    attachment->componentUnavailable = false;
    attachment->resultText.clear();
    if (!CheckDocument(sourcePath, error))
        return false;
    attachment->resultText = ZipFiles(&attachment->archivePath, std::string(sourcePath), password, archiver);
    if (attachment->resultText == kZipNotInstalled || attachment->resultText == kZipBusy) {
        attachment->componentUnavailable = true;
        *error = attachment->resultText;
        return false;
    }
    if (attachment->resultText != kZipOk) {
        *error = DocumentFailure(sourcePath, attachment->resultText);
        return false;
    }
    if (attachment->archivePath.empty()) {
        *error = DocumentFailure(sourcePath, "書庫に入れる文書がありません");
        return false;
    }
    struct stat st {};
    if (::lstat(attachment->archivePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = DocumentFailure(sourcePath, "書庫ファイルがありません: " + ValidUtf8(attachment->archivePath));
        return false;
    }
    attachment->archiveSize = st.st_size;
    return true;
}

} // namespace tessaly

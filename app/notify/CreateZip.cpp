// SPDX-License-Identifier: MIT
#include "notify/CreateZip.h"

#include "common/FileSystem.h"
#include "common/PathField.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#ifndef TESSALY_COMPONENT_DIR
#define TESSALY_COMPONENT_DIR "/usr/local/lib/tessaly"
#endif

namespace tessaly {
namespace {

std::string WithTrailingSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder.push_back('/');
    return folder;
}

std::string TrimBlanks(std::string_view text)
{
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return "";
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

/// A file name may begin or end in blanks; such a path is taken as given.
std::string InputPath(std::string_view given)
{
    std::string path(given);
    return PathExists(path) ? path : TrimBlanks(given);
}

bool EndsInZip(std::string_view name)
{
    if (name.size() < 4)
        return false;
    std::string tail(name.substr(name.size() - 4));
    for (char& c : tail)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return tail == ".zip";
}

/// The archive path actually used for the wanted one.
std::string ArchivePathFor(std::string_view wanted)
{
    const std::string path = TrimBlanks(wanted);
    std::string folder = GetTempDir();
    std::string name = path;
    if (!path.empty() && path.front() == '/') {
        const size_t slash = path.rfind('/');
        folder = path.substr(0, slash + 1);
        name = path.substr(slash + 1);
    }
    if (!EndsInZip(name))
        name += ".zip";
    return folder + name;
}

/// Appends a blank and `text` in double quotes; a double quote inside is
/// written twice, which the component reads back as one. Every other byte
/// (blanks, Tab, line breaks, bytes that are not UTF-8) goes as it is.
void AppendQuoted(std::string* line, std::string_view text)
{
    line->append(" \"");
    for (char c : text) {
        if (c == '"')
            line->push_back('"');
        line->push_back(c);
    }
    line->push_back('"');
}

std::string BadInput(int number, const std::string& path)
{
    return std::string(kZipBadInput) + "\r" + std::to_string(number) + " " + ErrorText(number) + ": " + ValidUtf8(path);
}

/// The password and archive part of the command line.
std::string TargetPart(const std::string& archivePath, std::string_view password)
{
    std::string part;
    if (!password.empty()) {
        part = " -P ";
        for (char c : password) {
            if (c == '"')
                part.push_back('"');
            part.push_back(c);
        }
    }
    AppendQuoted(&part, archivePath);
    return part;
}

/// The command line being built and the number of inputs on it.
struct CommandLine {
    std::string text;
    int inputs = 0;
};

/// One path, a file or a folder. Gives a failure text or "".
std::string AddSingleInput(std::string_view given, const std::string& target, CommandLine* command)
{
    std::string path = InputPath(given);
    if (!path.empty() && path.back() == '/')
        path.pop_back();
    if (path.empty())
        return "";
    // A link is passed on as it is; the component refuses it.
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return BadInput(errno, path);
    command->text = S_ISDIR(st.st_mode) ? "-r -v" : "-r -v -j";
    command->text += target;
    AppendQuoted(&command->text, path);
    command->inputs = 1;
    return "";
}

/// A list of file paths. Gives a failure text or "".
std::string AddInputList(const std::vector<std::string>& list, const std::string& target, CommandLine* command)
{
    command->text = "-r -v -j" + target;
    for (const std::string& element : list) {
        const std::string path = InputPath(element);
        if (path.empty())
            continue;
        if (IsDirectory(path))
            return std::string(kZipFolderInList);
        AppendQuoted(&command->text, path);
        ++command->inputs;
    }
    return "";
}

std::string AddInputs(const ZipInputs& inputs, const std::string& target, CommandLine* command)
{
    if (const auto* single = std::get_if<std::string>(&inputs))
        return AddSingleInput(*single, target, command);
    if (const auto* list = std::get_if<std::vector<std::string>>(&inputs))
        return AddInputList(*list, target, command);
    return "";
}

std::string RemoveOldArchive(const std::string& archivePath)
{
    if (!PathExists(archivePath) || ::unlink(archivePath.c_str()) == 0)
        return "";
    return "以前の書庫ファイルを削除できません: " + ValidUtf8(archivePath) + " (" + ErrorText(errno) + ")";
}

std::string RunComponent(const CommandLine& command, ZipArchiver& archiver)
{
    const std::optional<bool> running = archiver.isRunning();
    if (!running)
        return std::string(kZipNotInstalled);
    if (*running)
        return std::string(kZipBusy);
    std::string output;
    const std::optional<int32_t> result = archiver.zip(command.text, &output);
    if (!result)
        return std::string(kZipNotInstalled);
    if (*result == 0)
        return std::string(kZipOk);
    if (output.empty())
        output = "書庫を作成できませんでした (エラー番号 " + std::to_string(*result) + ")。";
    return output;
}

} // namespace

std::string ZipFiles(std::string* archivePath, const ZipInputs& inputs, std::string_view password,
                     ZipArchiver& archiver)
{
    if (!archiver.isInstalled())
        return std::string(kZipNotInstalled);
    *archivePath = ArchivePathFor(*archivePath);
    const std::string target = TargetPart(*archivePath, password);
    CommandLine command;
    std::string failure = AddInputs(inputs, target, &command);
    if (!failure.empty())
        return failure;
    failure = RemoveOldArchive(*archivePath);
    if (!failure.empty())
        return failure;
    if (command.inputs == 0) {
        archivePath->clear();
        return std::string(kZipOk);
    }
    return RunComponent(command, archiver);
}

std::string GetSystemDir()
{
    return WithTrailingSlash(TESSALY_COMPONENT_DIR);
}

std::string GetTempDir()
{
    const char* folder = std::getenv("TMPDIR");
    return WithTrailingSlash(folder && folder[0] == '/' ? folder : "/tmp");
}

} // namespace tessaly

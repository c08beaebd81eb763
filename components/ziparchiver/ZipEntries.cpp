// SPDX-License-Identifier: MIT
#include "ZipEntries.h"

#include "common/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <set>
#include <sys/stat.h>

namespace tessaly::zip {
namespace {

std::string InputFailure(const std::string& path, int number)
{
    if (number == ENOENT || number == ENOTDIR)
        return "入力ファイルが見つかりません: " + path;
    return "入力ファイルを読めません: " + path + " (" + ErrorText(number) + ")";
}

/// The name a top-level input is stored under: its last path element,
/// resolved through the file system for "/", "." or "..".
std::string BaseName(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    std::string name = trimmed.substr(trimmed.rfind('/') + 1);
    if (name != "." && name != ".." && !name.empty())
        return name;
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (!real)
        return "";
    const std::string resolved = real.get();
    return resolved.substr(resolved.rfind('/') + 1);
}

struct FolderCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

/// The names in a folder, sorted, without "." and "..".
bool ListFolder(const std::string& folder, std::vector<std::string>* names, std::string* error)
{
    std::unique_ptr<DIR, FolderCloser> dir(::opendir(folder.c_str()));
    if (!dir) {
        *error = InputFailure(folder, errno);
        return false;
    }
    names->clear();
    errno = 0;
    while (const dirent* item = ::readdir(dir.get())) {
        if (std::strcmp(item->d_name, ".") != 0 && std::strcmp(item->d_name, "..") != 0)
            names->emplace_back(item->d_name);
        errno = 0;
    }
    if (errno != 0) {
        *error = InputFailure(folder, errno);
        return false;
    }
    std::sort(names->begin(), names->end());
    return true;
}

/// Collects the entries of one command, refusing duplicate names.
class EntryCollector final {
public:
    EntryCollector(const ZipCommand& command, std::vector<ZipEntry>* entries) : m_command(command), m_entries(entries)
    {
    }

    bool addInput(const std::string& path, std::string* error)
    {
        // A link is never followed, not even one given by name: what is
        // packed is the file the caller named, not whatever it points to.
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            *error = InputFailure(path, errno);
            return false;
        }
        if (S_ISLNK(st.st_mode)) {
            *error = "シンボリックリンクは書庫に入れません: " + path;
            return false;
        }
        const std::string name = BaseName(path);
        if (S_ISREG(st.st_mode))
            return add(path, name, false, error);
        if (!S_ISDIR(st.st_mode)) {
            *error = "通常のファイルでもフォルダでもありません: " + path;
            return false;
        }
        const std::string prefix = name.empty() ? "" : name + "/";
        if (!prefix.empty() && !add(path, prefix, true, error))
            return false;
        return !m_command.recurse || addFolderContents(path, prefix, error);
    }

private:
    bool addFolderContents(const std::string& folder, const std::string& prefix, std::string* error)
    {
        std::vector<std::string> names;
        if (!ListFolder(folder, &names, error))
            return false;
        for (const std::string& name : names) {
            std::string path = folder;
            if (path.back() != '/')
                path += '/';
            path += name;
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0) {
                *error = InputFailure(path, errno);
                return false;
            }
            if (S_ISDIR(st.st_mode)) {
                if (!add(path, prefix + name + "/", true, error) ||
                    !addFolderContents(path, prefix + name + "/", error))
                    return false;
            } else if (S_ISREG(st.st_mode)) {
                if (!add(path, prefix + name, false, error))
                    return false;
            }
        }
        return true;
    }

    bool add(const std::string& path, const std::string& name, bool folder, std::string* error)
    {
        if (folder && m_command.junkPaths)
            return true;
        std::string stored = m_command.junkPaths ? name.substr(name.rfind('/') + 1) : name;
        if (!m_names.insert(stored).second) {
            *error = "書庫の中で同じ名前が重複します: " + stored + " (" + path + ")";
            return false;
        }
        m_entries->push_back(ZipEntry{path, std::move(stored), folder});
        return true;
    }

    const ZipCommand& m_command;
    std::vector<ZipEntry>* m_entries;
    std::set<std::string> m_names;
};

} // namespace

bool CollectZipEntries(const ZipCommand& command, std::vector<ZipEntry>* entries, std::string* error)
{
    entries->clear();
    EntryCollector collector(command, entries);
    for (const std::string& input : command.inputs) {
        if (!collector.addInput(input, error))
            return false;
    }
    return true;
}

} // namespace tessaly::zip

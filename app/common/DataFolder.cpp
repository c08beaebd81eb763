// SPDX-License-Identifier: MIT
#include "common/DataFolder.h"

#include "common/FileSystem.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
namespace {

/// mkdir -p with mode 0700 for every folder it creates.
bool MakeFolders(const std::string& path, std::string* error)
{
    if (IsDirectory(path))
        return true;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        std::string prefix = path.substr(0, pos);
        if (prefix.empty() || IsDirectory(prefix))
            continue;
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            *error = "cannot create the data folder " + prefix + ": " + ErrorText(errno);
            return false;
        }
    }
    if (!IsDirectory(path)) {
        *error = "the data folder " + path + " is not a folder";
        return false;
    }
    return true;
}

/// The names in the data folder whose contents decide what is read, to
/// whom mail goes and which server is trusted.
constexpr const char* kSteeringNames[] = {"sysconfig.dat", "subscription.dat", "tls-fingerprints.txt", "outbox"};

std::string StripTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string_view Trimmed(std::string_view text)
{
    constexpr std::string_view kBlanks = " \t\r";
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

/// The folder the `dir=` line of the configuration file names ("" when it
/// has none). False with `error` set when a line is not `key=value`, a
/// comment or blank, or when the folder is empty or relative.
bool ConfiguredFolder(const DataFolderInputs& inputs, std::string* folder, std::string* error)
{
    const std::string& text = *inputs.configText;
    int number = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string_view line = Trimmed(std::string_view(text).substr(start, end - start));
        start = end + 1;
        ++number;
        if (line.empty() || line.front() == '#')
            continue;
        const std::string where = inputs.configPath + " line " + std::to_string(number);
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            *error = where + " is not key=value: " + std::string(line);
            return false;
        }
        if (Trimmed(line.substr(0, equals)) != "dir")
            continue; // a key of a later version
        std::string value(Trimmed(line.substr(equals + 1)));
        if (value == "~" || value.starts_with("~/")) {
            if (inputs.home.empty()) {
                *error = where + ": dir starts with ~ but HOME is not set";
                return false;
            }
            value = StripTrailingSlashes(inputs.home) + value.substr(1);
        }
        if (value.empty() || value.front() != '/') {
            *error = where + ": dir must be an absolute path or start with ~/, not \"";
            *error += value + "\"";
            return false;
        }
        *folder = value;
    }
    return true;
}

/// The text of the configuration file at `path`; nothing when there is
/// none. Never waits on a FIFO under its name.
std::optional<std::string> ReadConfigFile(const std::string& path, std::string* error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            *error = "the configuration file " + path + " cannot be read: " + ErrorText(errno);
        return std::nullopt;
    }
    struct stat st {};
    std::string text;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = "the configuration file " + path + " is not a regular file";
    } else {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<size_t>(n));
        if (n < 0)
            *error = "the configuration file " + path + " cannot be read: " + ErrorText(errno);
    }
    ::close(fd);
    if (!error->empty())
        return std::nullopt;
    return text;
}

} // namespace

std::string ExecutableFolder()
{
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    std::string path(buffer, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

std::string UserConfigFolder()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return StripTrailingSlashes(xdg);
    const char* home = std::getenv("HOME");
    if (home && home[0] != '\0')
        return JoinPath(StripTrailingSlashes(home), ".config");
    return {};
}

DataFolderInputs CurrentDataFolderInputs(std::optional<std::string> explicitFolder)
{
    DataFolderInputs inputs;
    inputs.explicitFolder = std::move(explicitFolder);
    if (const char* folder = std::getenv("TESSALY_DIR"))
        inputs.environmentFolder = folder;
    if (const std::string config = UserConfigFolder(); !config.empty()) {
        inputs.configPath = JoinPath(config, "tessaly/tessaly.conf");
        inputs.configText = ReadConfigFile(inputs.configPath, &inputs.configError);
    }
    inputs.executableFolder = ExecutableFolder();
    if (const char* xdg = std::getenv("XDG_DATA_HOME"))
        inputs.xdgDataHome = xdg;
    if (const char* home = std::getenv("HOME"))
        inputs.home = home;
    return inputs;
}

std::optional<std::string> ResolveDataFolder(const DataFolderInputs& inputs, std::string* error,
                                             DataFolderCreation creation)
{
    std::string folder;
    std::string configured;
    if (!inputs.explicitFolder && inputs.environmentFolder.empty()) {
        if (!inputs.configError.empty()) {
            *error = inputs.configError;
            return std::nullopt;
        }
        if (inputs.configText && !ConfiguredFolder(inputs, &configured, error))
            return std::nullopt;
    }
    if (inputs.explicitFolder) {
        if (inputs.explicitFolder->empty()) {
            *error = "the data folder given with --dir is empty";
            return std::nullopt;
        }
        folder = StripTrailingSlashes(*inputs.explicitFolder);
    } else if (!inputs.environmentFolder.empty()) {
        folder = StripTrailingSlashes(inputs.environmentFolder);
    } else if (!configured.empty()) {
        folder = StripTrailingSlashes(configured);
    } else if (!inputs.executableFolder.empty() &&
               (PathExists(JoinPath(inputs.executableFolder, "sysconfig.dat")) ||
                PathExists(JoinPath(inputs.executableFolder, "subscription.dat")))) {
        return inputs.executableFolder;
    } else if (!inputs.xdgDataHome.empty() && inputs.xdgDataHome.front() == '/') {
        folder = JoinPath(StripTrailingSlashes(inputs.xdgDataHome), "tessaly");
    } else if (!inputs.home.empty()) {
        folder = JoinPath(StripTrailingSlashes(inputs.home), ".local/share/tessaly");
    } else {
        *error = "no data folder: neither --dir, TESSALY_DIR, XDG_DATA_HOME nor HOME is set";
        return std::nullopt;
    }
    if (creation == DataFolderCreation::MustExist) {
        if (!PathExists(folder)) {
            *error = "the data folder " + folder + " does not exist";
            return std::nullopt;
        }
        if (!IsDirectory(folder)) {
            *error = "the data folder " + folder + " is not a folder";
            return std::nullopt;
        }
    } else if (!MakeFolders(folder, error)) {
        return std::nullopt;
    }
    // Links are followed once, here; every later use opens the folder
    // without following one.
    if (char* real = ::realpath(folder.c_str(), nullptr)) {
        folder = real;
        std::free(real);
    }
    return folder;
}

int OpenDataFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    // A folder that may not be read (someone else's) can still be looked at.
    if (fd < 0 && errno == EACCES)
        return ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return fd;
}

DataFolderTrust CheckDataFolderTrust(const std::string& folder)
{
    const int fd = OpenDataFolder(folder);
    if (fd < 0)
        return DataFolderTrust::NotAFolder;
    const DataFolderTrust trust = CheckDataFolderTrust(fd);
    ::close(fd);
    return trust;
}

DataFolderTrust CheckDataFolderTrust(int folderFd)
{
    struct stat st {};
    if (::fstat(folderFd, &st) != 0 || !S_ISDIR(st.st_mode))
        return DataFolderTrust::NotAFolder;
    if (st.st_uid != ::geteuid())
        return DataFolderTrust::OwnedByAnother;
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return DataFolderTrust::WritableByOthers;
    for (const char* name : kSteeringNames) {
        struct stat file {};
        if (::fstatat(folderFd, name, &file, AT_SYMLINK_NOFOLLOW) == 0 && file.st_uid != ::geteuid())
            return DataFolderTrust::HoldsForeignFile;
    }
    return DataFolderTrust::Trusted;
}

std::string DataFolderRefusal(DataFolderTrust trust, const std::string& folder)
{
    switch (trust) {
    case DataFolderTrust::Trusted: return {};
    case DataFolderTrust::NotAFolder: return "データフォルダ " + folder + " はフォルダではないため使用できません。";
    case DataFolderTrust::OwnedByAnother:
        return "データフォルダ " + folder + " は他のユーザーが所有しているため使用できません。";
    case DataFolderTrust::WritableByOthers:
        return "データフォルダ " + folder + " は他のユーザーが書き込めるため使用できません。";
    case DataFolderTrust::HoldsForeignFile:
        return "データフォルダ " + folder +
               " に他のユーザーが所有する sysconfig.dat、subscription.dat、tls-fingerprints.txt または outbox "
               "があるため使用できません。";
    }
    return {};
}

std::string DataFolderRefusalReason(DataFolderTrust trust, const std::string& folder)
{
    switch (trust) {
    case DataFolderTrust::Trusted: return {};
    case DataFolderTrust::NotAFolder: return "the data folder " + folder + " is not a folder";
    case DataFolderTrust::OwnedByAnother:
        return "the data folder " + folder + " belongs to another user; it is not used";
    case DataFolderTrust::WritableByOthers:
        return "the data folder " + folder + " can be written by other users; it is not used (chmod go-w " + folder +
               ")";
    case DataFolderTrust::HoldsForeignFile:
        return "the data folder " + folder +
               " holds a sysconfig.dat, subscription.dat, tls-fingerprints.txt or outbox of another user; it is not "
               "used (check and remove it)";
    }
    return {};
}

} // namespace tessaly

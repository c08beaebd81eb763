// SPDX-License-Identifier: MIT
#include "common/Autostart.h"

#include "common/AtomicFile.h"
#include "common/DataFolder.h"
#include "common/FileSystem.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
namespace {

/// mkdir -p for the folders above `path`; new ones are the user's only.
bool MakeParentFolders(const std::string& path, std::string* error)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            *error = folder + " を作成できません: " + ErrorText(errno);
            return false;
        }
    }
    return true;
}

} // namespace

std::string AutostartEntryPath()
{
    const std::string config = UserConfigFolder();
    return config.empty() ? std::string() : JoinPath(config, "autostart/tessaly.desktop");
}

std::string AutostartEntryText()
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tessaly\n"
           "Comment=Watches folders for new and changed documents\n"
           "Comment[ja]=フォルダの新しい文書や更新された文書を知らせます\n"
           "Exec=tessaly\n"
           "Icon=tessaly\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n"
           "X-GNOME-Autostart-Delay=5\n";
}

std::optional<bool> AutostartEnabled(const std::string& path, std::string* error)
{
    if (path.empty()) {
        *error = "XDG_CONFIG_HOME も HOME も設定されていません";
        return std::nullopt;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR))
        return false;
    std::string text;
    std::string reason;
    // A FIFO under the name is refused, not waited on.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = path + " を読み込めません: " + (fd < 0 ? ErrorText(errno) : "通常のファイルではありません");
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    ::close(fd);
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        if (line == "Hidden=true")
            return false;
    }
    return true;
}

bool SetAutostart(const std::string& path, bool on, std::string* error)
{
    if (path.empty()) {
        *error = "XDG_CONFIG_HOME も HOME も設定されていません";
        return false;
    }
    if (!on) {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT && errno != ENOTDIR) {
            *error = path + " を削除できません: " + ErrorText(errno);
            return false;
        }
        return true;
    }
    // An entry the user already has on (perhaps with options of their own) is kept.
    std::string ignored;
    if (AutostartEnabled(path, &ignored) == true)
        return true;
    return MakeParentFolders(path, error) && WriteFileAtomically(path, AutostartEntryText(), error, 0644);
}

} // namespace tessaly

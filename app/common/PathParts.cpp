// SPDX-License-Identifier: MIT
#include "common/PathParts.h"

#include <climits>
#include <unistd.h>

namespace tessaly {

std::string FileNameOf(std::string_view path)
{
    size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string FolderOf(std::string_view path)
{
    size_t slash = path.rfind('/');
    if (slash != std::string_view::npos)
        return std::string(path.substr(0, slash));
    char buffer[PATH_MAX];
    std::string current = ::getcwd(buffer, sizeof buffer) ? buffer : "";
    if (!current.empty() && current.back() == '/')
        current.pop_back();
    return current;
}

} // namespace tessaly

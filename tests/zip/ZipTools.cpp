// SPDX-License-Identifier: MIT
#include "ZipTools.h"

#include "support/TempFolder.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace tessaly::test {
namespace {

uint32_t Little(const std::string& bytes, size_t at, int width)
{
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
    return value;
}

bool InPath(const std::string& program)
{
    return RunTool({"sh", "-c", "command -v " + program}) == 0;
}

} // namespace

int RunTool(const std::vector<std::string>& argv, std::string* output)
{
    TempFolder scratch;
    const std::string log = scratch.file("output");
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0)
            ::_exit(127);
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    if (output)
        *output = ReadFile(log);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string SevenZipCommand()
{
    for (const char* candidate : {"7z", "7zz", "7za"}) {
        if (InPath(candidate))
            return candidate;
    }
    return "";
}

std::vector<ArchiveEntry> ReadEntries(const std::string& archive)
{
    const std::string bytes = ReadFile(archive);
    std::vector<ArchiveEntry> entries;
    const size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
    if (end == std::string::npos || end + 22 > bytes.size())
        return entries;
    const uint32_t count = Little(bytes, end + 10, 2);
    size_t at = Little(bytes, end + 16, 4);
    for (uint32_t i = 0; i < count; ++i) {
        if (at + 46 > bytes.size() || bytes.compare(at, 4, "PK\x01\x02", 4) != 0)
            return {};
        const size_t nameLength = Little(bytes, at + 28, 2);
        if (at + 46 + nameLength > bytes.size())
            return {};
        entries.push_back({bytes.substr(at + 46, nameLength), static_cast<uint16_t>(Little(bytes, at + 8, 2))});
        at += 46 + nameLength + Little(bytes, at + 30, 2) + Little(bytes, at + 32, 2);
    }
    return entries;
}

std::map<std::string, std::string> ReadTree(const std::string& folder)
{
    std::map<std::string, std::string> tree;
    for (const auto& item : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string relative = std::filesystem::relative(item.path(), folder).string();
        if (item.is_directory())
            tree[relative + "/"] = "";
        else
            tree[relative] = ReadFile(item.path().string());
    }
    return tree;
}

std::string SomeBytes(size_t size, uint32_t seed)
{
    std::string bytes(size, '\0');
    uint32_t state = seed;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(i < 256 ? i : (state >> 16) & 0xff);
    }
    return bytes;
}

} // namespace tessaly::test

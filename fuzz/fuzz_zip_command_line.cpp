// SPDX-License-Identifier: MIT
// The zip component's command line. Every line is parsed; a line whose
// archive and inputs all lie in the scratch folder is also packed for real,
// with a small output buffer, and must then have written nothing but its
// archive and nothing past the buffer. "%S" in the input stands for the
// scratch folder, so that seeds can name real files.
#include "FuzzInput.h"
#include "TessalyZip.h"
#include "ZipCommandLine.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const std::string& Root()
{
    static const std::string root = [] {
        const std::string folder = tessaly::fuzz::ScratchFolder() + "/zip";
        fs::create_directories(folder + "/in/sub");
        fs::create_directories(folder + "/out");
        tessaly::fuzz::PutFile("zip/in/a.txt", reinterpret_cast<const uint8_t*>("alpha"), 5);
        tessaly::fuzz::PutFile("zip/in/sub/b.txt", reinterpret_cast<const uint8_t*>("beta"), 4);
        tessaly::fuzz::PutFile("zip/in/\xe6\x97\xa5\xe6\x9c\xac.txt", reinterpret_cast<const uint8_t*>("nihon"), 5);
        return folder;
    }();
    return root;
}

std::string Expand(std::string line)
{
    for (size_t at = line.find("%S"); at != std::string::npos; at = line.find("%S", at + Root().size()))
        line.replace(at, 2, Root());
    return line;
}

/// Inside the scratch folder, with no way up out of it.
bool Confined(const std::string& path)
{
    return path.rfind(Root() + "/", 0) == 0 && path.find("/..") == std::string::npos;
}

std::set<std::string> Listing()
{
    std::set<std::string> names;
    for (const auto& item : fs::recursive_directory_iterator(Root()))
        names.insert(item.path().lexically_normal().string());
    return names;
}

void PackForReal(const std::string& line, const tessaly::zip::ZipCommand& command, int32_t bufferSize)
{
    const std::set<std::string> before = Listing();
    char buffer[128];
    std::memset(buffer, '#', sizeof buffer);
    const int32_t result = Zip(0, line.c_str(), buffer, bufferSize);
    for (size_t i = static_cast<size_t>(bufferSize); i < sizeof buffer; ++i) {
        if (buffer[i] != '#')
            std::abort();
    }
    if (std::memchr(buffer, '\0', static_cast<size_t>(bufferSize)) == nullptr)
        std::abort();
    std::set<std::string> after = Listing();
    const std::string archive = fs::path(command.archivePath).lexically_normal().string();
    if (result == 0 && after.erase(archive) != 1)
        std::abort();
    if (after != before || ZipGetRunning() != 0)
        std::abort();
    if (result == 0)
        ::unlink(command.archivePath.c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int32_t bufferSize = 1 + data[0] % 64;
    const char* text = reinterpret_cast<const char*>(data + 1);
    const std::string line = Expand(std::string(text, ::strnlen(text, size - 1)));

    tessaly::zip::ZipCommand command;
    std::string error;
    if (!tessaly::zip::ParseZipCommandLine(line, &command, &error)) {
        if (error.empty())
            std::abort();
        return 0;
    }
    if (command.archivePath.empty() || command.archivePath.front() != '/' ||
        (command.encrypt && command.password.empty()))
        std::abort();
    bool confined = Confined(command.archivePath);
    for (const std::string& input : command.inputs)
        confined = confined && Confined(input);
    if (confined)
        PackForReal(line, command, bufferSize);
    return 0;
}

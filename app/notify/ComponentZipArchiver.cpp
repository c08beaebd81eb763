// SPDX-License-Identifier: MIT
#include "notify/ComponentZipArchiver.h"

#include <array>
#include <cstring>

namespace tessaly {

ComponentZipArchiver::ComponentZipArchiver(std::vector<std::string> folders) : m_library(kFileName, std::move(folders))
{
}

bool ComponentZipArchiver::isInstalled() const
{
    return m_library.isInstalled();
}

bool ComponentZipArchiver::bind()
{
    if (m_zip && m_getRunning)
        return true;
    m_zip = reinterpret_cast<ZipFunction>(m_library.symbol("Zip"));
    m_getRunning = reinterpret_cast<GetRunningFunction>(m_library.symbol("ZipGetRunning"));
    return m_zip && m_getRunning;
}

std::optional<bool> ComponentZipArchiver::isRunning()
{
    if (!bind())
        return std::nullopt;
    return m_getRunning() != 0;
}

std::optional<int32_t> ComponentZipArchiver::zip(std::string_view commandLine, std::string* output)
{
    if (!bind())
        return std::nullopt;
    std::array<char, kOutputSize> buffer{};
    const std::string line(commandLine);
    const int32_t result = m_zip(0, line.c_str(), buffer.data(), kOutputSize);
    output->assign(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
    return result;
}

ZipArchiver& InstalledZipArchiver()
{
    static ComponentZipArchiver installed;
    return installed;
}

} // namespace tessaly

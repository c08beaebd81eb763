// SPDX-License-Identifier: MIT
#include "notify/ComponentLibrary.h"

#include "common/DataFolder.h"
#include "common/FileSystem.h"

#include <dlfcn.h>

#ifndef TESSALY_COMPONENT_DIR
#define TESSALY_COMPONENT_DIR "/usr/local/lib/tessaly"
#endif

namespace tessaly {

ComponentLibrary::ComponentLibrary(std::string fileName, std::vector<std::string> folders)
    : m_fileName(std::move(fileName)), m_folders(std::move(folders))
{
}

ComponentLibrary::~ComponentLibrary()
{
    // Deliberately not unloaded: texts the component returned may still be
    // referenced, and unloading buys nothing for a resident program.
}

std::vector<std::string> ComponentLibrary::DefaultFolders()
{
    std::vector<std::string> folders;
    std::string own = ExecutableFolder();
    if (!own.empty())
        folders.push_back(own);
    folders.emplace_back(TESSALY_COMPONENT_DIR);
    return folders;
}

bool ComponentLibrary::isInstalled() const
{
    for (const std::string& folder : m_folders) {
        if (FileHasContent(JoinPath(folder, m_fileName)))
            return true;
    }
    return false;
}

bool ComponentLibrary::load()
{
    if (m_handle)
        return true;
    m_error = m_fileName + " was not found";
    for (const std::string& folder : m_folders) {
        const std::string path = JoinPath(folder, m_fileName);
        if (!PathExists(path))
            continue;
        m_handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (m_handle) {
            m_error.clear();
            return true;
        }
        const char* why = ::dlerror();
        m_error = why ? why : "cannot load " + path;
    }
    return false;
}

void* ComponentLibrary::symbol(const char* name)
{
    if (!load())
        return nullptr;
    ::dlerror();
    void* address = ::dlsym(m_handle, name);
    if (!address)
        m_error = std::string(name) + " is missing from " + m_fileName;
    return address;
}

} // namespace tessaly

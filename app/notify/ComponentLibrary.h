// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace tessaly {

/// One of the program's external components (a shared library with a C
/// contract), loaded by file name on first use: from the folder of the
/// running executable, then from the install's component folder
/// (<prefix>/lib/tessaly). Not thread-safe; the program uses each component
/// from one thread at a time.
class ComponentLibrary final {
public:
    /// `fileName` is the bare file name, e.g. "libtessaly_zip.so".
    explicit ComponentLibrary(std::string fileName, std::vector<std::string> folders = DefaultFolders());
    ~ComponentLibrary();
    ComponentLibrary(const ComponentLibrary&) = delete;
    ComponentLibrary& operator=(const ComponentLibrary&) = delete;

    /// The address of `name`, loading the library first if needed; nullptr
    /// when the library or the function cannot be found (error() says why).
    void* symbol(const char* name);

    /// True when a file of that name exists in one of the folders.
    bool isInstalled() const;

    const std::string& error() const { return m_error; }

    /// The executable's folder, then the install's component folder.
    static std::vector<std::string> DefaultFolders();

private:
    bool load();

    std::string m_fileName;
    std::vector<std::string> m_folders;
    void* m_handle = nullptr;
    std::string m_error;
};

} // namespace tessaly

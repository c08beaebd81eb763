// SPDX-License-Identifier: MIT
#pragma once

#include "notify/ComponentLibrary.h"
#include "notify/ZipArchiver.h"

#include <string>
#include <vector>

namespace tessaly {

/// The zip component libtessaly_zip.so, loaded on first use from the given
/// folders (by default the executable's folder, then the install's component
/// folder). The command line crosses as it is (UTF-8 text, paths as their
/// bytes); the component's UTF-8 message comes back through a 1024-byte
/// output buffer. Not thread-safe.
class ComponentZipArchiver final : public ZipArchiver {
public:
    /// The component's file name.
    static constexpr const char* kFileName = "libtessaly_zip.so";
    /// The size of the output buffer handed to the component.
    static constexpr int32_t kOutputSize = 1024;

    /// Looks for the component in `folders`, in order; loads nothing yet.
    explicit ComponentZipArchiver(std::vector<std::string> folders = ComponentLibrary::DefaultFolders());

    bool isInstalled() const override;
    std::optional<bool> isRunning() override;
    std::optional<int32_t> zip(std::string_view commandLine, std::string* output) override;

private:
    bool bind();

    using ZipFunction = int32_t (*)(intptr_t, const char*, char*, int32_t);
    using GetRunningFunction = int16_t (*)();

    ComponentLibrary m_library;
    ZipFunction m_zip = nullptr;
    GetRunningFunction m_getRunning = nullptr;
};

/// The installed zip component, loaded by name on first use and kept for
/// the life of the process.
ZipArchiver& InstalledZipArchiver();

} // namespace tessaly

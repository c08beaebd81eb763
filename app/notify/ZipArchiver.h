// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

/// The program's view of the zip component: its presence test and its two
/// functions. The real one loads the component library; tests supply their
/// own. Texts are UTF-8; paths on the command line are their bytes, passed
/// on unchanged.
class ZipArchiver {
public:
    virtual ~ZipArchiver() = default;

    /// True when the component file is where the install puts it.
    virtual bool isInstalled() const = 0;

    /// Whether the component is packing for some caller right now; nothing
    /// when the component cannot be loaded.
    virtual std::optional<bool> isRunning() = 0;

    /// Hands `commandLine` to the component and waits until it returns: 0 on
    /// success, otherwise a failure code with the component's message in
    /// `output`. Nothing when the component cannot be loaded.
    virtual std::optional<int32_t> zip(std::string_view commandLine, std::string* output) = 0;
};

} // namespace tessaly

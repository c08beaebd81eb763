// SPDX-License-Identifier: MIT
// The outside tools the zip tests open archives with, and a reader of the
// archive's central directory.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tessaly::test {

/// Runs a program with standard input from /dev/null and returns its exit
/// code (-1 when it could not run or died); its output goes to `output`.
int RunTool(const std::vector<std::string>& argv, std::string* output = nullptr);

/// The 7-Zip command of this machine ("7z" or "7zz"), or "" when missing.
std::string SevenZipCommand();

/// One entry of an archive's central directory.
struct ArchiveEntry {
    std::string name;
    uint16_t flags = 0;
    bool encrypted() const { return flags & 0x0001; }
    bool utf8Name() const { return flags & 0x0800; }
};

/// The entries of a zip archive in stored order; empty when it is not one.
std::vector<ArchiveEntry> ReadEntries(const std::string& archive);

/// Every file under `folder` (relative path -> content) and every folder
/// (relative path + "/" -> "").
std::map<std::string, std::string> ReadTree(const std::string& folder);

/// Deterministic bytes of every value, `size` long.
std::string SomeBytes(size_t size, uint32_t seed);

} // namespace tessaly::test

// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaly::fuzz {

/// A folder in memory (/dev/shm when it exists) for the whole fuzz run.
const std::string& ScratchFolder();

/// Replaces `name` in the scratch folder with the fuzz input.
std::string PutFile(const char* name, const uint8_t* data, size_t size);

} // namespace tessaly::fuzz

// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessaly::zip {

/// What one command line of the zip component asks for.
struct ZipCommand {
    bool recurse = false;            ///< -r: pack the contents of folder inputs
    bool verbose = false;            ///< -v: report what was stored
    bool junkPaths = false;          ///< -j: store every file under its bare name
    bool encrypt = false;            ///< -P was given
    std::string password;            ///< the password's bytes as given
    std::string archivePath;         ///< its bytes as given, absolute
    std::vector<std::string> inputs; ///< their bytes as given, in the order given
};

/// Parses a command line (see TessalyZip.h for its form). Paths and the
/// password are taken byte for byte, whatever their encoding. Gives false
/// with a UTF-8 message in `error` for any line it does not fully
/// understand: an unknown option, an unclosed quote, an empty password, a
/// second -P, an empty path or one holding a NUL, no archive, a relative
/// archive path. A line without inputs parses; the caller decides what that
/// means. Never reads outside `line`.
bool ParseZipCommandLine(std::string_view line, ZipCommand* command, std::string* error);

} // namespace tessaly::zip

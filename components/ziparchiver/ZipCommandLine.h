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
    std::string password;            ///< the password's bytes as given (code page 932)
    std::string archivePath;         ///< UTF-8, absolute
    std::vector<std::string> inputs; ///< UTF-8, in the order given
};

/// Parses a command line in code page 932 (see TessalyZip.h for its form).
/// Gives false with a UTF-8 message in `error` for any line it does not
/// fully understand: an unknown option, an unclosed quote, an empty password,
/// a second -P, a path that is not valid code page 932 or holds a NUL, no
/// archive, a relative archive path. A line without inputs parses; the
/// caller decides what that means. Never reads outside `line`.
bool ParseZipCommandLine(std::string_view line, ZipCommand* command, std::string* error);

/// Decodes a code page 932 path to UTF-8; false when some byte sequence is
/// not valid code page 932.
bool DecodePath(std::string_view bytes, std::string* path);

} // namespace tessaly::zip

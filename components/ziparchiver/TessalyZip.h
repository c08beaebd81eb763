// SPDX-License-Identifier: MIT
// The C contract of the zip component (libtessaly_zip.so). Every text is
// NUL-terminated; messages are UTF-8, and the paths and the password on the
// command line are byte strings used exactly as given.
#pragma once

#include <stdint.h>

#if defined(TESSALY_ZIP_BUILDING)
#define TESSALY_ZIP_EXPORT __attribute__((visibility("default")))
#else
#define TESSALY_ZIP_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/// Packs the inputs named by `commandLine` into a new zip archive and returns
/// only when the archive is complete and closed. The command line reads
///   [-r] [-v] [-j] [-P password] "archive" "input" ...
/// with -r recursing into folder inputs, -j storing every file under its bare
/// name, -v reporting what was stored, and -P protecting every entry with
/// traditional PKWARE encryption. The password runs from the blank after -P
/// to the first blank that is followed by a double-quoted path; a double
/// quote inside a quoted path or the password is written twice; any other
/// byte but NUL may stand in a quoted path. The archive path must be
/// absolute and must not exist yet: nothing is ever replaced, and the new
/// file (0600) is never created through a link. Symbolic links are never
/// followed: one given as an input is refused, one inside a folder is left
/// out; a file is read only through the descriptor that was checked to be a
/// regular file. Each file is
/// stored under its name's bytes: with the language-encoding flag (UTF-8)
/// when the name is valid UTF-8, as plain bytes without it otherwise.
/// Returns 0 on success and one of the non-zero codes below otherwise, in
/// which case no archive is left behind. A NUL-terminated UTF-8 message
/// (empty unless failed or -v; a byte of a path that is not UTF-8 shows as
/// U+FFFD) is written to `output`, cut at a character boundary to
/// `outputSize` bytes including the NUL; nothing is written when `output` is
/// null or `outputSize` is not positive. `window` is not used. Thread-safe.
TESSALY_ZIP_EXPORT int32_t Zip(intptr_t window, const char* commandLine, char* output, int32_t outputSize);

/// Non-zero while a call of Zip is packing in this process.
TESSALY_ZIP_EXPORT int16_t ZipGetRunning(void);

/// Failure codes of Zip.
enum {
    TESSALY_ZIP_INTERNAL_ERROR = 5, ///< the component ran out of memory or could not set up
    TESSALY_ZIP_NOTHING_TO_DO = 12, ///< no input to pack
    TESSALY_ZIP_WRITE_ERROR = 14,   ///< the archive could not be written to the end
    TESSALY_ZIP_CREATE_ERROR = 15,  ///< the archive file could not be created
    TESSALY_ZIP_BAD_COMMAND = 16,   ///< the command line is not understood
    TESSALY_ZIP_INPUT_ERROR = 18    ///< an input is missing or cannot be read
};

#ifdef __cplusplus
}
#endif

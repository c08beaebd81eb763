// SPDX-License-Identifier: MIT
#pragma once

#include "ZipCommandLine.h"

#include <string>
#include <vector>

namespace tessaly::zip {

/// One item to store in the archive.
struct ZipEntry {
    std::string sourcePath; ///< where the content is read from
    std::string name;       ///< the entry name in the archive (the file's name bytes), never absolute, never ".."
    bool folder = false;    ///< a folder entry (name ends in "/"), no content
};

/// Turns the inputs of `command` into the entries to store, in order: a file
/// input under its bare name; a folder input, with -r, as the folder's name
/// followed by its contents (in name order, each subfolder followed by its
/// own contents), without -r as a folder entry only. With -j every file is
/// stored under its bare name and no folder entries are made. Symbolic
/// links are never followed: inside a folder they are left out, as are
/// special files (pipes, devices, sockets). Names keep their bytes exactly,
/// whether they are UTF-8 or not. Gives false with a message when an input
/// is missing, unreadable, a symbolic link or not a file or folder, or when
/// two entries would get the same name. Touches nothing.
bool CollectZipEntries(const ZipCommand& command, std::vector<ZipEntry>* entries, std::string* error);

} // namespace tessaly::zip

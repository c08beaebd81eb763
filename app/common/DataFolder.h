// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>

namespace tessaly {

/// The folder of the running executable (from /proc/self/exe), or "" when
/// it cannot be found.
std::string ExecutableFolder();

/// The environment the data folder is resolved from; tests fill it in.
struct DataFolderInputs {
    std::optional<std::string> explicitFolder; ///< from --dir
    std::string executableFolder;
    std::string xdgDataHome; ///< $XDG_DATA_HOME, "" when unset
    std::string home;        ///< $HOME
};

/// The inputs of the running process.
DataFolderInputs CurrentDataFolderInputs(std::optional<std::string> explicitFolder);

/// Chooses the data folder: the explicit folder when given; else the
/// executable's folder when it already holds sysconfig.dat or
/// subscription.dat (portable layout); else $XDG_DATA_HOME/tessaly, or
/// ~/.local/share/tessaly when that variable is unset or not absolute.
/// The chosen folder is created (mode 0700, parents as needed) when missing,
/// and given as its real path: a link to the folder is followed here, once,
/// and never again by the checks at each use (see OpenDataFolder).
/// Gives nothing with `error` set when no folder can be had.
std::optional<std::string> ResolveDataFolder(const DataFolderInputs& inputs, std::string* error);

/// Whether a data folder may be used, by the rule ssh applies to its own
/// folder: it must be a folder (not a link to one), owned by the effective
/// user, and neither its group nor others may write it. Nor may it hold a
/// file that steers the program (sysconfig.dat, subscription.dat,
/// tls-fingerprints.txt, the outbox) of another user: one put there while
/// the folder was open to others stays refused once the mode is mended.
enum class DataFolderTrust {
    Trusted,
    NotAFolder,
    OwnedByAnother,
    WritableByOthers,
    HoldsForeignFile,
};

DataFolderTrust CheckDataFolderTrust(const std::string& folder);
/// The same for a folder open at `folderFd` (by OpenDataFolder), by fstat:
/// what is checked is what the files are then opened relative to.
DataFolderTrust CheckDataFolderTrust(int folderFd);

/// Opens the data folder itself (O_DIRECTORY | O_NOFOLLOW, close-on-exec),
/// so that its owner and mode are checked on the folder that is then used
/// and not on whatever its name leads to a moment later. -1 (errno set)
/// when it cannot be opened; a link in its place is not opened.
int OpenDataFolder(const std::string& folder);

/// Why the program refuses `folder`, in Japanese; "" when it is trusted.
std::string DataFolderRefusal(DataFolderTrust trust, const std::string& folder);
/// The same as one English line, for tessalyctl.
std::string DataFolderRefusalReason(DataFolderTrust trust, const std::string& folder);

} // namespace tessaly

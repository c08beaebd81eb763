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
    std::string environmentFolder;             ///< $TESSALY_DIR, "" when unset or empty
    std::string configPath;                    ///< the configuration file (tessaly.conf), for messages
    std::optional<std::string> configText;     ///< its text; nothing when there is no such file
    std::string configError;                   ///< why it exists but could not be read, "" when it could
    std::string executableFolder;
    std::string xdgDataHome; ///< $XDG_DATA_HOME, "" when unset
    std::string home;        ///< $HOME
};

/// The user's configuration folder: $XDG_CONFIG_HOME when it is an
/// absolute path, else ~/.config; "" when neither can be had.
std::string UserConfigFolder();

/// The inputs of the running process: the configuration file is
/// UserConfigFolder()/tessaly/tessaly.conf.
DataFolderInputs CurrentDataFolderInputs(std::optional<std::string> explicitFolder);

/// Whether a resolved folder that does not exist yet is made.
enum class DataFolderCreation { CreateMissing, MustExist };

/// Chooses the data folder: the explicit folder when given; else
/// $TESSALY_DIR when set; else the `dir=` line of the configuration file
/// (an absolute path, or one that starts with "~/"); else the executable's
/// folder when it already holds sysconfig.dat or subscription.dat
/// (portable layout); else $XDG_DATA_HOME/tessaly, or
/// ~/.local/share/tessaly when that variable is unset or not absolute.
/// The chosen folder is created (mode 0700, parents as needed) when missing,
/// unless `creation` says it must exist, and given as its real path: a link
/// to the folder is followed here, once, and never again by the checks at
/// each use (see OpenDataFolder). Gives nothing with `error` set (one
/// English line) when no folder can be had; a configuration file that
/// cannot be read or understood is such an error, not passed over.
std::optional<std::string> ResolveDataFolder(const DataFolderInputs& inputs, std::string* error,
                                             DataFolderCreation creation = DataFolderCreation::CreateMissing);

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

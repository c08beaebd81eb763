// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

/// The name of the file whose lock marks the one running copy of the
/// program on a data folder.
inline constexpr std::string_view kInstanceLockFileName = "tessaly.instance.lock";

/// One copy of the program per data folder: an exclusive flock on
/// tessaly.instance.lock in the folder (0600, never through a link), held
/// for the program's life and released by the kernel however it ends. The
/// holder writes into the file whether it runs on the desktop or headless,
/// so that a second start can tell. Never waits. Move-only.
class InstanceLock final {
public:
    enum class Mode { Desktop, Headless };
    enum class Outcome {
        Held,          ///< this copy is the one
        HeldByAnother, ///< another copy runs on the folder
        Failed,        ///< the lock file cannot be used; see error()
    };

    explicit InstanceLock(std::string folder) : m_folder(std::move(folder)) {}
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    /// Tries once to take the lock for a copy running in `mode`.
    Outcome acquire(Mode mode);
    /// The mode the holder wrote; nothing while it has not written it yet.
    std::optional<Mode> holderMode() const;
    /// Why acquire failed, in Japanese.
    const std::string& error() const { return m_error; }

private:
    bool openFile();

    std::string m_folder;
    int m_fd = -1;
    bool m_held = false;
    std::string m_error;
};

/// What a second start does when another copy holds the lock: a desktop
/// start asks that copy to show its main window and gives 0 once it has
/// agreed; a desktop start that finds the other headless tells so in
/// passing (`notify`, in Japanese, never waiting for the user) and gives 0:
/// the program does run. A headless start, or one that finds the other not
/// answering, reports it (`showMessage`, in Japanese) and gives 1. When the
/// other copy ends meanwhile, `lock` is held on return and nothing (no
/// status) is given: this start goes on as the one copy.
std::optional<int> HandOverToRunningCopy(InstanceLock& lock, InstanceLock::Mode mode, const std::string& folder,
                                         const std::function<void(const std::string& text)>& showMessage,
                                         const std::function<void(const std::string& text)>& notify);

} // namespace tessaly

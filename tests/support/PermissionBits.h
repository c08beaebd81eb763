// SPDX-License-Identifier: MIT
#pragma once

namespace tessaly::test {

/// Makes permission bits apply to the calling thread while the object
/// lives, also when the tests run as root: the file-access overrides are
/// taken out of the thread's effective capabilities and put back at the
/// end. Threads started meanwhile inherit the reduced set. Without root
/// there is nothing to take out.
class PermissionBitsApply final {
public:
    PermissionBitsApply();
    ~PermissionBitsApply();
    PermissionBitsApply(const PermissionBitsApply&) = delete;
    PermissionBitsApply& operator=(const PermissionBitsApply&) = delete;

    /// False when the overrides could not be taken out (the test should
    /// skip then).
    bool active() const { return m_active; }

private:
    bool m_active = false;
    bool m_changed = false;
};

} // namespace tessaly::test

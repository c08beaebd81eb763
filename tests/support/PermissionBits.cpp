// SPDX-License-Identifier: MIT
#include "support/PermissionBits.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tessaly::test {
namespace {

constexpr unsigned kOverrides[] = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER};

bool SetOverrides(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    for (unsigned capability : kOverrides) {
        const unsigned bit = 1u << (capability % 32);
        if (on)
            data[capability / 32].effective |= bit & data[capability / 32].permitted;
        else
            data[capability / 32].effective &= ~bit;
    }
    return ::syscall(SYS_capset, &header, data) == 0;
}

} // namespace

PermissionBitsApply::PermissionBitsApply()
{
    if (::geteuid() != 0) {
        m_active = true;
        return;
    }
    m_changed = SetOverrides(false);
    m_active = m_changed;
}

PermissionBitsApply::~PermissionBitsApply()
{
    if (m_changed)
        SetOverrides(true);
}

} // namespace tessaly::test

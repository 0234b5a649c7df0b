// capget/capset through the system calls themselves: no library needed for three words of bits.
#include "engine/Privileges.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tevro {
namespace {

bool ReadCapabilities(__user_cap_data_struct (&data)[_LINUX_CAPABILITY_U32S_3]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capget, &header, data) == 0;
}

} // namespace

bool DropCapabilities() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capset, &header, none) != 0)
        return false;
    __user_cap_data_struct left[_LINUX_CAPABILITY_U32S_3] = {};
    if (!ReadCapabilities(left))
        return false;
    for (const auto& word : left) {
        if (word.permitted != 0 || word.effective != 0 || word.inheritable != 0)
            return false;
    }
    return true;
}

bool HoldsCapabilities() {
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (!ReadCapabilities(data))
        return true; // unknown: assume the worse
    for (const auto& word : data) {
        if (word.effective != 0 || word.permitted != 0)
            return true;
    }
    return false;
}

} // namespace tevro

#include "platform/qt/host_device.h"

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace quill {

DeviceAccess deviceAccess(const std::string& path) {
    DeviceAccess result;
#ifndef _WIN32
    if (::access(path.c_str(), R_OK | W_OK) == 0 || errno != EACCES) return result;
    result.denied = true;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return result;
    const bool groupMayUse = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (!groupMayUse) return result;
    if (const struct group* owner = ::getgrgid(info.st_gid)) {
        result.group = owner->gr_name;
    } else {
        result.group = std::to_string(info.st_gid);
    }
#else
    (void)path;
#endif
    return result;
}

}  // namespace quill

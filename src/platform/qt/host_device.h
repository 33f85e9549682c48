#pragma once

#include <string>

#include "platform/serial_port.h"

namespace quill {

// Whether this user may read and write the host device file `path`. A device that does not
// exist is not denied: opening it fails for another reason.
DeviceAccess deviceAccess(const std::string& path);

}  // namespace quill

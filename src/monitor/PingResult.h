// What a finished ping hands back to the main window, and the result codes it carries.
#pragma once

#include <QString>

namespace tevro {

enum PingResultCode : int {
    PING_NONE = 0,        // no ping result: an informational entry
    VERSION_MISMATCH = 1, // socket layer too old for pinging
    SOCKET_ERROR = 2,     // socket, option or name resolution failed
    PING_FAILED = 3,      // no valid reply
    PING_SUCCESS = 4,     // at least one valid reply
};

} // namespace tevro

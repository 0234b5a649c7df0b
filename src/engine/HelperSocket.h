// Pinging through the ping helper (tevro-ping), for a user who may open neither a raw socket nor the
// kernel's ping socket: the helper alone carries cap_net_raw. One helper process per run.
#pragma once

#include "engine/IcmpSocket.h"

#include <memory>
#include <string>

namespace tevro {

// The helper beside the running program (a build, a portable copy), else where the install puts it
// (the prefix's libexec/tevro/). The second is returned also when neither exists: it is what a user
// is told to give the capability to.
std::string PingHelperPath();

// Whether starting the file would give it cap_net_raw: its file capabilities hold it, permitted and
// effective, and nothing in this process (the bounding set, no_new_privs) takes that away.
bool HelperGrantsRawSockets(const std::string& path);

// The socket that starts the helper at path once its destination is known (IcmpSocket::Begin).
// rawError is the errno of the program's own raw socket, reported should the helper not start.
std::unique_ptr<IcmpSocket> MakeHelperSocket(std::string path, IpFamily family, int timeOutMs, int ttl,
                                             int rawError);

} // namespace tevro

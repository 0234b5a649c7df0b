// Giving up capabilities. Plain C++ (no Qt): the ping helper and the window program share it.
#pragma once

namespace tevro {

// Empties the permitted, effective and inheritable capability sets of the process (the ambient set
// follows). True when the kernel then reports all three empty.
bool DropCapabilities();

// Whether the process holds any effective capability.
bool HoldsCapabilities();

} // namespace tevro

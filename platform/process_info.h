// Facts about the running process: its thread ids and its executable file.
#pragma once
#include <string>

namespace platform {

// Numeric id of the calling thread as the kernel knows it (gettid).
long ThreadId();

// Full path of the running executable (readlink of /proc/self/exe); empty
// when it cannot be read.
std::string ModuleFileName();

// Id of this process.
long ProcessId();

}  // namespace platform

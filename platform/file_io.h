// Descriptor-level helpers shared by the file units of this layer. Every
// loop retries EINTR and continues after short counts.
#pragma once
#include <string>
#include <string_view>

namespace platform {

// Reads from offset 0 to the end of the file into *text (replaced).
bool ReadAllFrom(int fd, std::string* text);

// Writes every byte of text at the descriptor's current position.
bool WriteAllTo(int fd, std::string_view text);

// Creates a new, empty temporary file in the folder of `path` (path + ".tmp."
// + process id + "." + a counter), opened read-write, close-on-exec, mode
// 0600. Returns the descriptor (and its name in *tempPath) or -1.
int CreateTempBeside(const std::string& path, std::string* tempPath);

}  // namespace platform

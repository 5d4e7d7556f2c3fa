#pragma once
// The arguments this process was started with, as the kernel keeps them
// (the program's name first), read wherever they are needed rather than
// handed down from `main`.

#include <string>
#include <vector>

namespace platform {

// Empty when they cannot be read.
std::vector<std::string> launch_arguments();

// The NUL-separated form of /proc/<pid>/cmdline, split.
std::vector<std::string> split_command_line(const std::string& nul_separated);

}  // namespace platform

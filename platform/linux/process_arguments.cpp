#include "platform/process_arguments.h"

#include <fstream>
#include <iterator>

namespace platform {

std::vector<std::string> split_command_line(const std::string& nul_separated) {
    std::vector<std::string> arguments;
    std::size_t start = 0;
    while (start < nul_separated.size()) {
        const std::size_t end = nul_separated.find('\0', start);
        if (end == std::string::npos) {
            arguments.push_back(nul_separated.substr(start));
            break;
        }
        arguments.push_back(nul_separated.substr(start, end - start));
        start = end + 1;
    }
    return arguments;
}

std::vector<std::string> launch_arguments() {
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    if (!file) return {};
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return split_command_line(text);
}

}  // namespace platform

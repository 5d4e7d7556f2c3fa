#pragma once
// Command lines for the probe programs: splitting one into its command and
// argument, and reading standard input from inside the main loop for the
// probes whose main thread runs the toolkit.

#include <functional>
#include <string>

namespace platform {
class main_queue;
}

namespace kes::testing {

// "status Signing in" is the command "status" with the argument "Signing in";
// a line without a space is a command alone.
struct command_line {
    std::string command;
    std::string argument;
};
command_line split_command_line(const std::string& line);

// Each complete line of standard input goes to `handle` on the main thread
// as it arrives; the command "quit" or the end of the input ends the loop
// with exit code 0 (lines after it are not handled).
void serve_command_lines(platform::main_queue& queue, std::function<void(const std::string& line)> handle);

}  // namespace kes::testing

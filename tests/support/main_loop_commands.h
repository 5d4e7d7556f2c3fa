#pragma once
// Standard input read as command lines from inside the main loop, for the
// probes whose main thread runs the toolkit: each complete line goes to the
// handler on the main thread; "quit" or the end of the input ends the loop
// with exit code 0.

#include <functional>
#include <string>

namespace platform {
class main_queue;
}

namespace kes::testing {

void serve_command_lines(platform::main_queue& queue, std::function<void(const std::string& line)> handle);

}  // namespace kes::testing

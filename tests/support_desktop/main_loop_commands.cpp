#include "tests/support_desktop/main_loop_commands.h"

#include "platform/main_queue.h"

#include <unistd.h>

#include <memory>

namespace kes::testing {

command_line split_command_line(const std::string& line) {
    const auto space = line.find(' ');
    if (space == std::string::npos) return {line, std::string()};
    return {line.substr(0, space), line.substr(space + 1)};
}

void serve_command_lines(platform::main_queue& queue, std::function<void(const std::string& line)> handle) {
    auto pending = std::make_shared<std::string>();
    queue.watch_fd(STDIN_FILENO, [&queue, pending, handle = std::move(handle)] {
        char buffer[512];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            queue.quit(0);
            return;
        }
        pending->append(buffer, static_cast<std::size_t>(got));
        for (std::size_t end; (end = pending->find('\n')) != std::string::npos;) {
            const std::string line = pending->substr(0, end);
            pending->erase(0, end + 1);
            if (split_command_line(line).command == "quit") {
                queue.quit(0);
                return;
            }
            handle(line);
        }
    });
}

}  // namespace kes::testing

#include "tests/support/run_program.h"

#include <sys/wait.h>
#include <unistd.h>

namespace kes::testing {

program_result run_program(const std::vector<std::string>& argv) {
    program_result result;
    if (argv.empty()) return result;
    int out[2];
    if (::pipe(out) != 0) return result;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(out[0]);
        ::close(out[1]);
        return result;
    }
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(out[1]);
    char buffer[4096];
    for (ssize_t got; (got = ::read(out[0], buffer, sizeof buffer)) != 0;) {
        if (got < 0) break;
        result.output.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(out[0]);
    int status = 0;
    if (::waitpid(child, &status, 0) == child && WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    return result;
}

}  // namespace kes::testing

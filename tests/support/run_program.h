#pragma once
// Runs a program we did not write (python, grep) on what the agent wrote, and
// answers its exit code and standard output. No shell: arguments go as they are.

#include <string>
#include <vector>

namespace kes::testing {

struct program_result {
    int exit_code = -1;  // -1: it could not be run or did not exit normally
    std::string output;
};

program_result run_program(const std::vector<std::string>& argv);

}  // namespace kes::testing

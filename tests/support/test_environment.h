#pragma once

#include <string>

namespace kes::testing {

// Points HOME, XDG_* and TMPDIR at a new temporary folder and clears proxy
// variables. Must run before anything logs.
void enter_private_home();

// Removes the folder made by enter_private_home and everything in it.
void remove_private_home();

// The folder made by enter_private_home.
const std::string& private_home();

// The body of a test program's main, after it has installed the core's
// factories: the tests run in a private home that is removed afterwards.
int run_all_tests_in_private_home(int argc, char** argv);

// Reads a whole file; empty when it cannot be read.
std::string read_file(const std::string& path);

}  // namespace kes::testing

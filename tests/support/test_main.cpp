// Every test program starts in a fresh, private home: the agent's data folder,
// settings and debug log of one run never meet those of another, and no proxy
// from the developer's environment reaches libcurl. The core's programs run
// on fakes of the platform objects, so they link no window system.
#include "tests/support/core_fakes.h"
#include "tests/support/test_environment.h"

int main(int argc, char** argv) {
    kes::testing::install_core_fakes();
    return kes::testing::run_all_tests_in_private_home(argc, argv);
}

// The test programs of the desktop binding and the platform run on the
// platform objects the agent itself installs, in a private home as every
// other test program.
#include "app/desktop_factories.h"
#include "tests/support/test_environment.h"

int main(int argc, char** argv) {
    kes::install_desktop_factories();
    return kes::testing::run_all_tests_in_private_home(argc, argv);
}

// Every test program starts in a fresh, private home: the agent's data folder,
// settings and debug log of one run never meet those of another, and no proxy
// from the developer's environment reaches libcurl.
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    kes::testing::enter_private_home();
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    kes::testing::remove_private_home();
    return result;
}

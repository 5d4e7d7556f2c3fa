#include "core/foundation/stop_flag.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace kes {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

TEST(StopFlag, ASleepRunsItsCourseUnlessRaisedAndEverySleeperWakesAtTheRaise) {
    stop_flag flag;
    const auto began = steady_clock::now();
    EXPECT_FALSE(flag.wait_for(milliseconds(30)));
    EXPECT_GE(steady_clock::now() - began, milliseconds(30));

    // Sleepers of a minute each: only the raise can end them in time.
    std::vector<std::thread> sleepers;
    std::vector<char> woken(3, 0);
    for (std::size_t i = 0; i < woken.size(); ++i) {
        sleepers.emplace_back([&, i] { woken[i] = flag.wait_for(std::chrono::minutes(1)); });
    }
    std::this_thread::sleep_for(milliseconds(20));
    const auto raised_at = steady_clock::now();
    flag.raise();
    for (auto& sleeper : sleepers) sleeper.join();
    EXPECT_LT(steady_clock::now() - raised_at, std::chrono::seconds(30));
    EXPECT_EQ(woken, std::vector<char>(3, 1));
    EXPECT_TRUE(flag.wait_for(std::chrono::minutes(1))) << "raised stays raised";
}

}  // namespace
}  // namespace kes

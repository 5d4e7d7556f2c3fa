#include "helper/AppDelegate.h"
#include "platform/fake/fake_workspace.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const std::string helper_bundle = "/Applications/Kestrel.app/Contents/Library/LoginItems/Kestrel-Helper.app";

platform::running_application app(int pid, const std::string& identifier) {
    return {pid, 1000, "/Applications/" + identifier + ".app", identifier};
}

std::vector<std::string> launches_with(std::vector<platform::running_application> running,
                                       const std::string& bundle = helper_bundle) {
    auto space = std::make_shared<platform::fake_workspace>();
    space->running = std::move(running);
    AppDelegate(space, bundle).applicationDidFinishLaunching();
    return space->launched;
}

TEST(AppDelegate, LaunchesTheBundleFourFoldersUpUnlessTheAgentRuns) {
    EXPECT_EQ(launches_with({}), std::vector<std::string>{"/Applications/Kestrel.app"});
    EXPECT_EQ(launches_with({app(10, "com.kestrel.Kestrel-Helper"), app(11, "com.kestrel.Kestrel")}),
              std::vector<std::string>{});
    // Only the exact identifier is the agent.
    EXPECT_EQ(launches_with({app(10, "com.kestrel.Kestrel-Helper"), app(11, "com.kestrel.KestrelX"),
                             app(12, "com.kestrel.kestrel"), app(13, "com.kestrel.Kestre"), app(14, "")}),
              std::vector<std::string>{"/Applications/Kestrel.app"});
}

TEST(AppDelegate, TheAgentIsFoundByPlaceNotByName) {
    EXPECT_EQ(launches_with({}, "/Users/a b/Renamed.app/Contents/Library/LoginItems/Kestrel-Helper.app"),
              std::vector<std::string>{"/Users/a b/Renamed.app"});
    // Redundant separators are no folders.
    EXPECT_EQ(launches_with({}, "/opt//K.app/Contents/Library/LoginItems/H.app/"), std::vector<std::string>{"/opt/K.app"});
    // Five components leave the root; four or fewer leave nothing to start.
    EXPECT_EQ(launches_with({}, "/Contents/Library/LoginItems/H.app"), std::vector<std::string>{"/"});
    EXPECT_EQ(launches_with({}, "/Library/LoginItems/H.app"), std::vector<std::string>{});
    EXPECT_EQ(launches_with({}, "Contents/Library/LoginItems/H.app"), std::vector<std::string>{});
    EXPECT_EQ(launches_with({}, ""), std::vector<std::string>{});
}

TEST(AppDelegate, AFailedLaunchIsNotRetried) {
    auto space = std::make_shared<platform::fake_workspace>();
    space->launch_succeeds = false;
    AppDelegate(space, helper_bundle).applicationDidFinishLaunching();
    EXPECT_EQ(space->launched.size(), 1u);
    EXPECT_EQ(space->walks, 1);
}

}  // namespace

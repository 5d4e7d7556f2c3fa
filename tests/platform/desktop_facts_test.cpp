// Small facts of the desktop the agent reads: the computer's model, its own
// launch arguments, and its bundle's resources.
#include "platform/bundle.h"
#include "platform/hardware_model.h"
#include "platform/process_arguments.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace platform {
namespace {

TEST(HardwareModel, TheFirmwaresProductNameElseUnknown) {
    const std::string folder = kes::testing::private_home() + "/dmi";
    std::filesystem::create_directories(folder);
    EXPECT_EQ(hardware_model(folder), "Unknown");
    std::ofstream(folder + "/product_name") << "  ThinkPad X1 Carbon Gen 9\n";
    EXPECT_EQ(hardware_model(folder), "ThinkPad X1 Carbon Gen 9");
    std::ofstream(folder + "/product_name") << "\n";
    EXPECT_EQ(hardware_model(folder), "Unknown");
    EXPECT_FALSE(hardware_model().empty());  // this machine's, whatever it says
}

TEST(LaunchArguments, TheKernelsCommandLineSplitAtItsNuls) {
    EXPECT_EQ(split_command_line(std::string("Kestrel\0-installer_launch\0\0x\0", 29)),
              (std::vector<std::string>{"Kestrel", "-installer_launch", "", "x"}));
    EXPECT_EQ(split_command_line(std::string("no-final-nul")), std::vector<std::string>{"no-final-nul"});
    const std::vector<std::string> own = launch_arguments();
    ASSERT_FALSE(own.empty());
    EXPECT_NE(own[0].find("kes_tests_platform"), std::string::npos) << own[0];
}

TEST(BundleResources, ARegularFileOfTheFolderByNameAndType) {
    const std::string folder = kes::testing::private_home() + "/Resources";
    std::filesystem::create_directories(folder + "/kestrel_icon.svg");  // a folder is no resource
    std::ofstream(folder + "/kestrel_icon_color.icns") << "icns";
    EXPECT_EQ(bundle_resource_path("kestrel_icon_color", "icns", folder), folder + "/kestrel_icon_color.icns");
    EXPECT_EQ(bundle_resource_path("kestrel_icon_color", "png", folder), "");
    EXPECT_EQ(bundle_resource_path("kestrel_icon", "svg", folder), "");
    EXPECT_EQ(bundle_resource_path("../Resources/kestrel_icon_color", "icns", folder), "");
}

}  // namespace
}  // namespace platform

// Small facts of the desktop the agent reads: the computer's identity, its own
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

TEST(ComputerIdentity, BrandMakeAndModelFromTheFirmwareElseUnknown) {
    const std::string folder = kes::testing::private_home() + "/dmi";
    std::filesystem::create_directories(folder);
    const computer_identity bare = read_computer_identity(folder);
    EXPECT_EQ(bare.brand, "Unknown");
    EXPECT_EQ(bare.make, "Unknown");
    EXPECT_EQ(bare.model, "Unknown");
    std::ofstream(folder + "/sys_vendor") << "LENOVO\n";
    std::ofstream(folder + "/product_name") << "  20XW0055GE\n";
    std::ofstream(folder + "/product_version") << "ThinkPad\tX1 Carbon Gen 9\n";
    const computer_identity described = read_computer_identity(folder);
    EXPECT_EQ(described.brand, "LENOVO");
    EXPECT_EQ(described.make, "20XW0055GE");
    EXPECT_EQ(described.model, "ThinkPad X1 Carbon Gen 9");
    std::ofstream(folder + "/product_version") << "\n";
    EXPECT_EQ(read_computer_identity(folder).model, "Unknown");
    EXPECT_FALSE(read_computer_identity().brand.empty());  // this machine's, whatever it says
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

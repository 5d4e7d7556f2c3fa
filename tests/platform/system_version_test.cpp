#include "platform/fake/fake_system_version.h"
#include "platform/system_version.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>

namespace platform {
namespace {

TEST(SystemVersion, ThisDesktopTakesThePathsOfLevelTwelve) {
    const auto version = system_version::create();
    EXPECT_EQ(version->capability_level(), (os_version{12, 0, 0}));
    EXPECT_TRUE(version->at_least(10, 14));
    EXPECT_TRUE(version->at_least(10, 15));
    EXPECT_TRUE(version->at_least(12));
    EXPECT_FALSE(version->at_least(12, 0, 1));
    EXPECT_FALSE(version->at_least(13));
}

TEST(SystemVersion, TheDescriptionNamesTheRealKernel) {
    utsname kernel{};
    ASSERT_EQ(::uname(&kernel), 0);
    const std::string text = system_version::create()->description();
    EXPECT_NE(text.find(std::string(kernel.sysname) + " " + kernel.release), std::string::npos) << text;
}

TEST(SystemVersion, OsReleaseNamesAreUnquotedAndFallBack) {
    EXPECT_EQ(os_release_pretty_name("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(os_release_pretty_name("PRETTY_NAME=\"A \\\"quoted\\\" \\\\ name\"\n"), "A \"quoted\" \\ name");
    EXPECT_EQ(os_release_pretty_name("PRETTY_NAME=Bare\n"), "Bare");
    EXPECT_EQ(os_release_pretty_name("NAME=Fedora\nVERSION=\"39 (Workstation)\"\n"), "Fedora 39 (Workstation)");
    EXPECT_EQ(os_release_pretty_name("# nothing useful\nID=x\n"), "");
    EXPECT_EQ(os_release_pretty_name("PRETTY_NAME=\"unterminated\n"), "\"unterminated");
}

TEST(SystemVersion, DescriptionsJoinWhatIsKnown) {
    EXPECT_EQ(describe_release("Debian 12", "Linux", "6.1.0"), "Debian 12, Linux 6.1.0");
    EXPECT_EQ(describe_release("", "Linux", "6.1.0"), "Linux 6.1.0");
    EXPECT_EQ(describe_release("Debian 12", "", ""), "Debian 12");
    EXPECT_EQ(describe_release("", "", ""), "Linux");
}

TEST(SystemVersion, TheFakeAnswersTheLevelATestInjects) {
    fake_system_version older(os_version{10, 13, 6});
    EXPECT_FALSE(older.at_least(10, 14));
    older.set_level({13, 1, 0});
    EXPECT_TRUE(older.at_least(13));
}

}  // namespace
}  // namespace platform

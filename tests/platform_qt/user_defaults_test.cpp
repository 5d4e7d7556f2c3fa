#include "platform/fake/fake_user_defaults.h"
#include "platform/qt/settings_user_defaults.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>

namespace platform {
namespace {

std::string fresh_folder(const std::string& name) {
    static int counter = 0;
    return kes::testing::private_home() + "/defaults-" + name + "-" + std::to_string(++counter) + "/kestrel";
}

// Every implementation keeps the same contract.
template <class T>
class UserDefaultsContract : public ::testing::Test {
protected:
    std::unique_ptr<user_defaults> make() {
        if constexpr (std::is_same_v<T, settings_user_defaults>) {
            return std::make_unique<settings_user_defaults>(fresh_folder("contract"));
        } else {
            return std::make_unique<T>();
        }
    }
};

using implementations = ::testing::Types<fake_user_defaults, settings_user_defaults>;
TYPED_TEST_SUITE(UserDefaultsContract, implementations);

TYPED_TEST(UserDefaultsContract, RegisteredValuesStandInForKeysNeverStored) {
    auto defaults = this->make();
    EXPECT_FALSE(defaults->get_bool("LaunchedAtLogin"));
    EXPECT_EQ(defaults->get_string("name"), "");
    defaults->register_defaults({{"LaunchedAtLogin", true}, {"name", std::string("registered")}});
    EXPECT_TRUE(defaults->get_bool("LaunchedAtLogin"));
    EXPECT_EQ(defaults->get_string("name"), "registered");

    EXPECT_TRUE(defaults->set_bool("LaunchedAtLogin", false));
    EXPECT_TRUE(defaults->set_string("name", "stored ü"));
    EXPECT_FALSE(defaults->get_bool("LaunchedAtLogin"));
    EXPECT_EQ(defaults->get_string("name"), "stored ü");
    EXPECT_TRUE(defaults->synchronize());
    EXPECT_TRUE(defaults->set_bool("com.kestrel.Kestrel.HasShownMojaveAutomationAlertBefore", true));
    EXPECT_TRUE(defaults->get_bool("com.kestrel.Kestrel.HasShownMojaveAutomationAlertBefore"));
}

class SettingsUserDefaults : public ::testing::Test {
protected:
    std::string folder = fresh_folder("settings");
};

mode_t mode_of(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 0777) : 0;
}

TEST_F(SettingsUserDefaults, LiveInAPrivateIniFileThatANewRunReads) {
    {
        settings_user_defaults defaults(folder);
        ASSERT_TRUE(defaults.set_bool("LaunchedAtLogin", false));
        ASSERT_TRUE(defaults.set_string("com.kestrel.Kestrel.note", "a = b; \"c\""));
        EXPECT_EQ(defaults.file_path(), folder + "/Kestrel.conf");
    }
    EXPECT_EQ(mode_of(folder), 0700u);
    EXPECT_EQ(mode_of(folder + "/Kestrel.conf"), 0600u);

    settings_user_defaults again(folder);
    again.register_defaults({{"LaunchedAtLogin", true}});
    EXPECT_FALSE(again.get_bool("LaunchedAtLogin"));
    EXPECT_EQ(again.get_string("com.kestrel.Kestrel.note"), "a = b; \"c\"");

    // Python's own INI reader sees the same value.
    const std::string command = "/usr/bin/python3 -c \"import configparser,sys; c=configparser.ConfigParser(); "
                                "c.optionxform=str; c.read(sys.argv[1]); print(c['General']['LaunchedAtLogin'])\" '" +
                                folder + "/Kestrel.conf'";
    FILE* reader = ::popen(command.c_str(), "r");
    ASSERT_NE(reader, nullptr);
    char line[64] = {};
    const bool read = std::fgets(line, sizeof line, reader) != nullptr;
    ::pclose(reader);
    ASSERT_TRUE(read);
    EXPECT_STREQ(line, "false\n");
}

TEST_F(SettingsUserDefaults, AnExistingLooseFileIsMadePrivateAtTheNextWrite) {
    ASSERT_EQ(::mkdir(folder.substr(0, folder.rfind('/')).c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    std::ofstream(folder + "/Kestrel.conf") << "[General]\nLaunchedAtLogin=true\n";
    ::chmod((folder + "/Kestrel.conf").c_str(), 0644);

    settings_user_defaults defaults(folder);
    EXPECT_TRUE(defaults.get_bool("LaunchedAtLogin"));
    ASSERT_TRUE(defaults.set_bool("LaunchedAtLogin", false));
    EXPECT_EQ(mode_of(folder), 0700u);
    EXPECT_EQ(mode_of(folder + "/Kestrel.conf"), 0600u);
}

TEST_F(SettingsUserDefaults, TextThatIsNoTruthValueAnswersTheRegisteredOne) {
    ASSERT_EQ(::mkdir(folder.substr(0, folder.rfind('/')).c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    std::ofstream(folder + "/Kestrel.conf") << "[General]\nA=garbage\nB=YES\nC=0\n";
    settings_user_defaults defaults(folder);
    defaults.register_defaults({{"A", true}, {"B", false}, {"C", true}});
    EXPECT_TRUE(defaults.get_bool("A"));
    EXPECT_TRUE(defaults.get_bool("B"));
    EXPECT_FALSE(defaults.get_bool("C"));
}

TEST_F(SettingsUserDefaults, AFolderThatCannotBeMadeFailsTheWriteAndKeepsTheValueForThisRun) {
    const std::string parent = folder.substr(0, folder.rfind('/'));
    ASSERT_EQ(::mkdir(parent.c_str(), 0700), 0);
    std::ofstream(folder) << "a file where the folder belongs";
    settings_user_defaults defaults(folder);
    EXPECT_FALSE(defaults.set_bool("LaunchedAtLogin", false));
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_FALSE(defaults.get_bool("LaunchedAtLogin"));
    std::ifstream blocker(folder);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(blocker), {}), "a file where the folder belongs");
}

// A pipe at the file's name: the toolkit would wait for a writer while it
// reads it, at start, on the main thread. It is neither read nor written,
// and values set hold for this run.
TEST_F(SettingsUserDefaults, APipeInPlaceOfTheFileIsNeverOpenedAndValuesHoldForThisRun) {
    ASSERT_EQ(::mkdir(folder.substr(0, folder.rfind('/')).c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    const std::string file = folder + "/Kestrel.conf";
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    EXPECT_EXIT(
        {
            ::alarm(20);  // an open that waits ends here, and fails the test
            settings_user_defaults defaults(folder);
            defaults.register_defaults({{"LaunchedAtLogin", true}});
            const bool registered_answers = defaults.get_bool("LaunchedAtLogin");
            const bool written = defaults.set_bool("LaunchedAtLogin", false) || defaults.synchronize();
            const bool kept = !defaults.get_bool("LaunchedAtLogin");
            struct stat info {};
            const bool still_a_pipe = ::lstat(file.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
            std::_Exit(registered_answers && !written && kept && still_a_pipe ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(SettingsUserDefaults, TheDefaultFolderFollowsXdgConfigHome) {
    EXPECT_EQ(settings_user_defaults::default_folder(), std::string(std::getenv("XDG_CONFIG_HOME")) + "/kestrel");
}

}  // namespace
}  // namespace platform

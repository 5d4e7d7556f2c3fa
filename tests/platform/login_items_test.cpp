// Login items as autostart entries, checked with Debian's desktop-file-validate.
#include "platform/launcher.h"
#include "platform/login_items.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace platform {
namespace {

namespace stdfs = std::filesystem;
using kes::testing::read_file;

const std::string helper_id = "com.kestrel.Kestrel-Helper";

struct validation {
    int status = -1;
    std::string output;
};

// desktop-file-validate's verdict and everything it printed (errors, warnings, hints).
validation validate(const std::string& entry) {
    const std::string command = "desktop-file-validate '" + entry + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    validation result;
    if (!pipe) return result;
    std::array<char, 512> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe.get())) result.output += buffer.data();
    const int status = ::pclose(pipe.release());
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

void write_plist(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries) {
    std::ofstream out(path);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
    for (const auto& [key, value] : entries) out << "\t<key>" << key << "</key>\n\t<string>" << value << "</string>\n";
    out << "</dict>\n</plist>\n";
}

// <parent>/<name> with the helper bundle in its place; returns the helper's executable.
std::string lay_out_bundle(const std::string& bundle) {
    const std::string helper = bundle + "/Contents/Library/LoginItems/Kestrel-Helper.app";
    stdfs::create_directories(helper + "/Contents/MacOS");
    write_plist(bundle + "/Contents/Info.plist", {{"CFBundleIdentifier", "com.kestrel.Kestrel"},
                                                  {"CFBundleName", "Kestrel"}});
    write_plist(helper + "/Contents/Info.plist",
                {{"CFBundleExecutable", "Kestrel-Helper"}, {"CFBundleIdentifier", helper_id}});
    const std::string executable = helper + "/Contents/MacOS/Kestrel-Helper";
    std::ofstream(executable) << "#!/bin/sh\n";
    stdfs::permissions(executable, stdfs::perms::owner_all);
    return executable;
}

std::vector<std::string> folder_listing(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : stdfs::directory_iterator(folder, ignored)) names.push_back(entry.path().filename());
    return names;
}

class LoginItems : public ::testing::Test {
protected:
    // Tests run in one process share the home: each starts with no autostart folder.
    void SetUp() override { stdfs::remove_all(home_ + "/config"); }

    const std::string home_ = kes::testing::private_home();
    const std::string bundle_ = home_ + "/Applications/Kestrel.app";
    const std::string helper_ = lay_out_bundle(bundle_);
    const std::string autostart_ = home_ + "/config/autostart";
    const std::string entry_ = autostart_ + "/" + helper_id + ".desktop";
    std::unique_ptr<login_items> items_ = make_autostart_login_items(bundle_, autostart_);
};

TEST_F(LoginItems, EnablingWritesAValidPrivateEntryThatRunsTheHelper) {
    EXPECT_FALSE(items_->is_enabled(helper_id));
    ASSERT_TRUE(items_->set_enabled(helper_id, true));
    EXPECT_TRUE(items_->is_enabled(helper_id));

    const validation verdict = validate(entry_);
    EXPECT_EQ(verdict.status, 0) << verdict.output;
    EXPECT_EQ(verdict.output, "");
    EXPECT_EQ(read_file(entry_), "[Desktop Entry]\nType=Application\nName=Kestrel\nExec=\"" + helper_ +
                                     "\"\nTerminal=false\nNoDisplay=true\n");
    struct stat info {};
    ASSERT_EQ(::stat(entry_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // Missing folders are made private; nothing but the entry is left in them.
    ASSERT_EQ(::stat(autostart_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((home_ + "/config").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // Enabling again replaces the entry whole.
    std::ofstream(entry_) << "[Desktop Entry]\nType=Application\nName=Old\nExec=/old/path\n";
    ::chmod(entry_.c_str(), 0644);
    EXPECT_FALSE(items_->is_enabled(helper_id));
    ASSERT_TRUE(items_->set_enabled(helper_id, true));
    EXPECT_TRUE(items_->is_enabled(helper_id));
    ASSERT_EQ(::stat(entry_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(folder_listing(autostart_), std::vector<std::string>{helper_id + ".desktop"});

    ASSERT_TRUE(items_->set_enabled(helper_id, false));
    EXPECT_FALSE(stdfs::exists(entry_));
    EXPECT_FALSE(items_->is_enabled(helper_id));
    EXPECT_TRUE(items_->set_enabled(helper_id, false));  // nothing left to remove
}

TEST_F(LoginItems, PathsWithTheCharactersAnExecLineReservesAreQuoted) {
    const std::string odd = home_ + "/a b\"c$d`e\\f%g'h;i&j|k<l>m*n?o#p(q)r~s\xC3\xA9/Kestrel.app";
    const std::string helper = lay_out_bundle(odd);
    const auto items = make_autostart_login_items(odd, autostart_);
    ASSERT_TRUE(items->set_enabled(helper_id, true));
    const validation verdict = validate(entry_);
    EXPECT_EQ(verdict.status, 0) << verdict.output;
    EXPECT_EQ(verdict.output, "");
    const std::string content = read_file(entry_);
    const std::string written =
        "Exec=\"" + home_ + "/a b\\\\\"c\\\\$d\\\\`e\\\\\\\\f%%g'h;i&j|k<l>m*n?o#p(q)r~s\xC3\xA9/Kestrel.app/" +
        "Contents/Library/LoginItems/Kestrel-Helper.app/Contents/MacOS/Kestrel-Helper\"\n";
    EXPECT_NE(content.find(written), std::string::npos) << content;
    EXPECT_TRUE(items->is_enabled(helper_id));

    // A path no Exec line can carry is refused, and nothing is written.
    ASSERT_TRUE(items->set_enabled(helper_id, false));
    for (const std::string& bad : {home_ + "/line\nfeed/Kestrel.app", home_ + "/not\xFFutf8/Kestrel.app"}) {
        lay_out_bundle(bad);
        EXPECT_FALSE(make_autostart_login_items(bad, autostart_)->set_enabled(helper_id, true));
        EXPECT_FALSE(stdfs::exists(entry_));
    }
}

TEST_F(LoginItems, FailuresAreReportedAndChangeNothing) {
    // A file where the autostart folder must be.
    stdfs::create_directories(home_ + "/config");
    std::ofstream(autostart_) << "not a folder";
    EXPECT_FALSE(items_->set_enabled(helper_id, true));
    EXPECT_EQ(read_file(autostart_), "not a folder");
    EXPECT_FALSE(items_->is_enabled(helper_id));
    EXPECT_TRUE(items_->set_enabled(helper_id, false));  // there is no entry to remove
    EXPECT_EQ(read_file(autostart_), "not a folder");
    stdfs::remove(autostart_);

    // A file where a parent of it must be.
    const auto deeper = make_autostart_login_items(bundle_, autostart_ + "-file/sub/autostart");
    std::ofstream(autostart_ + "-file") << "x";
    EXPECT_FALSE(deeper->set_enabled(helper_id, true));
    EXPECT_EQ(read_file(autostart_ + "-file"), "x");

    // A folder where the entry must be: neither written nor removed.
    stdfs::create_directories(entry_);
    EXPECT_FALSE(items_->set_enabled(helper_id, true));
    EXPECT_FALSE(items_->set_enabled(helper_id, false));
    EXPECT_TRUE(stdfs::is_directory(entry_));
    EXPECT_EQ(folder_listing(autostart_), std::vector<std::string>{helper_id + ".desktop"});  // no temporary left
    stdfs::remove(entry_);

    // Identifiers no item has, or that are no plain name.
    for (const std::string identifier : {"com.kestrel.Other", "", "../com.kestrel.Kestrel-Helper", "a/b", ".hidden"}) {
        EXPECT_FALSE(items_->set_enabled(identifier, true)) << identifier;
        EXPECT_FALSE(items_->is_enabled(identifier)) << identifier;
    }
    EXPECT_EQ(folder_listing(autostart_), std::vector<std::string>{});

    // An item whose executable cannot run.
    stdfs::permissions(helper_, stdfs::perms::owner_read | stdfs::perms::owner_write);
    EXPECT_FALSE(items_->set_enabled(helper_id, true));
    EXPECT_FALSE(stdfs::exists(entry_));
}

TEST_F(LoginItems, AnEntryForAnotherPlaceOrHiddenIsNotEnabled) {
    ASSERT_TRUE(items_->set_enabled(helper_id, true));
    // The bundle moved: the entry still names the old place.
    const std::string moved = home_ + "/Moved.app";
    stdfs::rename(bundle_, moved);
    const auto at_new_place = make_autostart_login_items(moved, autostart_);
    EXPECT_FALSE(at_new_place->is_enabled(helper_id));
    ASSERT_TRUE(at_new_place->set_enabled(helper_id, true));
    EXPECT_TRUE(at_new_place->is_enabled(helper_id));

    // Hidden=true tells the session to act as if the entry were not there;
    // desktops' startup settings also write X-GNOME-Autostart-enabled=false.
    EXPECT_FALSE(at_new_place->is_switched_off(helper_id));
    for (const char* off : {"Hidden=true\n", "X-GNOME-Autostart-enabled=false\n"}) {
        ASSERT_TRUE(at_new_place->set_enabled(helper_id, true));
        std::ofstream(entry_, std::ios::app) << off;
        EXPECT_FALSE(at_new_place->is_enabled(helper_id)) << off;
        EXPECT_TRUE(at_new_place->is_switched_off(helper_id)) << off;
    }
    ASSERT_TRUE(at_new_place->set_enabled(helper_id, true));
    std::ofstream(entry_, std::ios::app) << "X-GNOME-Autostart-enabled=true\n";
    EXPECT_TRUE(at_new_place->is_enabled(helper_id));
    EXPECT_FALSE(at_new_place->is_switched_off(helper_id));
    // Keys of other groups are not the entry's.
    ASSERT_TRUE(at_new_place->set_enabled(helper_id, true));
    std::ofstream(entry_, std::ios::app) << "\n[Desktop Action Other]\nHidden=true\n";
    EXPECT_TRUE(at_new_place->is_enabled(helper_id));
    EXPECT_FALSE(at_new_place->is_switched_off(helper_id));
}

// The agent's entry among the applications, as launchers read it.
TEST_F(LoginItems, TheLauncherEntryIsValidRunsTheAgentShowsItsIconAndIsWrittenOnlyWhenStale) {
    const std::string bundle = home_ + "/Apps With Space/Kestrel.app";
    lay_out_bundle(bundle);
    write_plist(bundle + "/Contents/Info.plist", {{"CFBundleIdentifier", "com.kestrel.Kestrel"},
                                                  {"CFBundleName", "Kestrel"}, {"CFBundleExecutable", "Kestrel"}});
    const std::string agent = bundle + "/Contents/MacOS/Kestrel";
    stdfs::create_directories(bundle + "/Contents/MacOS");
    std::ofstream(agent) << "#!/bin/sh\n";
    stdfs::permissions(agent, stdfs::perms::owner_all);
    const std::string applications = home_ + "/data/applications";
    const std::string entry = applications + "/com.kestrel.Kestrel.desktop";
    stdfs::remove_all(home_ + "/data");

    ASSERT_TRUE(install_launcher_entry(bundle, applications));
    const validation verdict = validate(entry);
    EXPECT_EQ(verdict.status, 0) << verdict.output;
    EXPECT_EQ(verdict.output, "");
    const std::string text = read_file(entry);
    EXPECT_NE(text.find("\nExec=\"" + agent + "\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nIcon=" + bundle + "/Contents/Resources/kestrel_icon_normal.svg\n"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("NoDisplay"), std::string::npos) << "a launcher must list it";

    // As it should be: left alone (no new file); stale: replaced.
    struct stat before {};
    ASSERT_EQ(::stat(entry.c_str(), &before), 0);
    ASSERT_TRUE(install_launcher_entry(bundle, applications));
    struct stat again {};
    ASSERT_EQ(::stat(entry.c_str(), &again), 0);
    EXPECT_EQ(again.st_ino, before.st_ino);
    std::ofstream(entry) << "[Desktop Entry]\nType=Application\nName=Kestrel\nExec=/old/place/Kestrel\n";
    ASSERT_TRUE(install_launcher_entry(bundle, applications));
    EXPECT_EQ(read_file(entry), text);

    // Not a bundle that can run: nothing written.
    stdfs::remove_all(applications);
    EXPECT_FALSE(install_launcher_entry(home_ + "/Nowhere.app", applications));
    EXPECT_FALSE(stdfs::exists(applications));
    EXPECT_EQ(applications_dir(), std::string(std::getenv("XDG_DATA_HOME")) + "/applications");
}

TEST(AutostartFolder, FollowsTheConfigFolder) {
    const std::string config = std::getenv("XDG_CONFIG_HOME");
    EXPECT_EQ(autostart_dir(), config + "/autostart");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(autostart_dir(), std::string(std::getenv("HOME")) + "/.config/autostart");
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
}

}  // namespace
}  // namespace platform

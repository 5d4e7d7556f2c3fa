#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "app/osx_system.h"
#include "app/time_zone_name.h"
#include "platform/fake/fake_instance_lock.h"
#include "platform/fake/fake_updater.h"
#include "platform/fake/fake_workspace.h"
#include "platform/fake/fake_x11_session.h"
#include "platform/main_queue.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/filesystem.hpp>

#include <csignal>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace kes {
namespace {

std::wstring log_added_since(std::size_t before) { return debug_log_read().substr(before); }

class OsxSystemTest : public ::testing::Test {
protected:
    void SetUp() override { config::instance().set_debug_log_level(0xFFFF); }
    void TearDown() override {
        // The display state is process-wide: leave it on for the next test.
        session->set_display_state(platform::display_power::on);
        make()->is_display_on();
        config::instance().set_debug_log_level(1);
    }

    std::shared_ptr<osx_system> make() {
        return std::make_shared<osx_system>(osx_system_services{session, lock, updater, workspace, "com.kestrel.Kestrel"});
    }

    std::shared_ptr<platform::fake_x11_session> session = std::make_shared<platform::fake_x11_session>();
    std::shared_ptr<platform::fake_instance_lock> lock = std::make_shared<platform::fake_instance_lock>();
    std::shared_ptr<platform::fake_updater> updater = std::make_shared<platform::fake_updater>();
    std::shared_ptr<platform::fake_workspace> workspace = std::make_shared<platform::fake_workspace>();
};

TEST_F(OsxSystemTest, IdleTimeComesFromTheSessionAndIsZeroWithoutADisplay) {
    session->set_idle_seconds(42.5);
    const std::size_t before = debug_log_read().size();
    EXPECT_DOUBLE_EQ(make()->get_idle_time(), 42.5);
    EXPECT_NE(log_added_since(before).find(L":8:[osx_system]get_idle_time - 42.5\n"), std::wstring::npos);
    session->set_idle_seconds(std::nullopt);
    EXPECT_EQ(make()->get_idle_time(), 0.0);

    config::instance().set_idle_time_start(300);
    session->set_idle_seconds(300.0);
    EXPECT_FALSE(make()->is_idle());
    session->set_idle_seconds(300.5);
    EXPECT_TRUE(make()->is_idle());
}

TEST_F(OsxSystemTest, DisplayStateIsSharedByEveryObjectAndEachChangeIsLoggedOnce) {
    const auto first = make();
    EXPECT_TRUE(first->is_display_on());
    const std::size_t before = debug_log_read().size();
    session->set_display_state(platform::display_power::off);
    EXPECT_FALSE(first->is_display_on());
    EXPECT_FALSE(make()->is_display_on());
    // Without an answer from the server the last known state stands.
    session->set_display_state(platform::display_power::unknown);
    EXPECT_FALSE(make()->is_display_on());
    session->set_display_state(platform::display_power::on);
    EXPECT_TRUE(first->is_display_on());
    const std::wstring added = log_added_since(before);
    EXPECT_EQ(added.find(L":8196:Display is powering off\n") != std::wstring::npos, true);
    EXPECT_EQ(added.find(L"Display is powering off"), added.rfind(L"Display is powering off"));
    EXPECT_NE(added.find(L":8196:Display is turning on\n"), std::wstring::npos);
}

TEST_F(OsxSystemTest, OtherInstanceCheckAlwaysPostsFirst) {
    EXPECT_FALSE(make()->is_other_instance_running());
    EXPECT_EQ(lock->calls, (std::vector<std::string>{"post", "acquire"}));

    lock = std::make_shared<platform::fake_instance_lock>(platform::instance_lock::state::taken);
    lock->holder = 4242;
    const std::size_t before = debug_log_read().size();
    EXPECT_TRUE(make()->is_other_instance_running());
    EXPECT_EQ(lock->calls, (std::vector<std::string>{"post", "acquire"}));
    EXPECT_NE(log_added_since(before).find(L":1:Found other instances of Kestrel running in background: (pid 4242)"
                                           L"\n\nCurrent Instance: (pid " +
                                           std::to_wstring(::getpid()) + L")"),
              std::wstring::npos);

    // A lock that cannot be used must not keep the agent from starting.
    lock = std::make_shared<platform::fake_instance_lock>(platform::instance_lock::state::unavailable);
    EXPECT_FALSE(make()->is_other_instance_running());
}

TEST_F(OsxSystemTest, ACopyOfAnotherSessionIsFoundByTheDataFoldersLock) {
    auto data_lock = std::make_shared<platform::fake_instance_lock>(platform::instance_lock::state::taken);
    data_lock->holder = 4343;
    std::vector<std::string> asked;
    osx_system_services services{session, lock, updater, workspace, "com.kestrel.Kestrel",
                                 [&](const std::string& folder) {
                                     asked.push_back(folder);
                                     return data_lock;
                                 }};
    const std::size_t before = debug_log_read().size();
    EXPECT_TRUE(std::make_shared<osx_system>(services)->is_other_instance_running());
    EXPECT_EQ(lock->calls, (std::vector<std::string>{"post", "acquire"}));
    EXPECT_EQ(asked, (std::vector<std::string>{make()->get_data_dir()}));
    EXPECT_NE(log_added_since(before).find(L":1:Found other instances of Kestrel running in background: (pid 4343)"),
              std::wstring::npos);

    // Neither lock usable: the agent still starts, and says so.
    lock = std::make_shared<platform::fake_instance_lock>(platform::instance_lock::state::unavailable);
    data_lock = std::make_shared<platform::fake_instance_lock>(platform::instance_lock::state::unavailable);
    services.instance_lock = lock;
    EXPECT_FALSE(std::make_shared<osx_system>(services)->is_other_instance_running());
    EXPECT_NE(log_added_since(before).find(L"The instance lock in " +
                                           util::utf8_to_wstring_lossy(make()->get_data_dir()) +
                                           L" cannot be used; starting without it."),
              std::wstring::npos);
}

TEST_F(OsxSystemTest, AnOlderCopyInTheSessionCountsAsTheHelperSeesIt) {
    const int self = static_cast<int>(::getpid());
    const auto app = [](int pid, unsigned long long started, const std::string& identifier) {
        return platform::running_application{pid, started, "/opt/" + identifier + ".app", identifier};
    };
    // Look-alikes, the helper and younger copies do not count: the lock decides.
    workspace->running = {app(self, 500, "com.kestrel.Kestrel"), app(self + 1, 400, "com.kestrel.Kestrel-Helper"),
                          app(self + 2, 400, "com.kestrel.KestrelX"), app(self + 3, 600, "com.kestrel.Kestrel"),
                          app(self + 4, 500, "com.kestrel.Kestrel")};
    EXPECT_FALSE(make()->is_other_instance_running());
    EXPECT_EQ(lock->calls, (std::vector<std::string>{"post", "acquire"}));

    // An older copy does, and then the lock is not even tried; one started in
    // the same tick is older when its process id is lower.
    workspace->running.push_back(app(self - 1, 500, "com.kestrel.Kestrel"));
    workspace->running.push_back(app(self - 2, 100, "com.kestrel.Kestrel"));
    lock->calls.clear();
    const std::size_t before = debug_log_read().size();
    EXPECT_TRUE(make()->is_other_instance_running());
    EXPECT_EQ(lock->calls, std::vector<std::string>{"post"});
    EXPECT_NE(log_added_since(before).find(L":1:Found other instances of Kestrel running in background: (pid " +
                                           std::to_wstring(self - 1) + L"), (pid " + std::to_wstring(self - 2) +
                                           L")\n\nCurrent Instance: (pid " + std::to_wstring(self) + L")"),
              std::wstring::npos);

    // Not knowing its own start, a copy gives way to every other.
    workspace->running = {app(self + 3, 600, "com.kestrel.Kestrel")};
    EXPECT_TRUE(make()->is_other_instance_running());

    // Without an identifier of its own there is nothing to look for.
    const int walks = workspace->walks;
    EXPECT_FALSE(std::make_shared<osx_system>(osx_system_services{session, lock, updater, workspace, ""})
                     ->is_other_instance_running());
    EXPECT_EQ(workspace->walks, walks);
}

TEST_F(OsxSystemTest, UpdateCheckRunsOnTheMainQueueAndSurvivesABrokenFeed) {
    auto& queue = platform::main_queue::instance();
    queue.bind_to_current_thread();
    const std::size_t before = debug_log_read().size();
    make()->get_update();
    EXPECT_EQ(updater->checks.load(), 0);  // nothing happens until the main loop runs
    queue.run_pending();
    EXPECT_EQ(updater->checks.load(), 1);
    updater->fail = true;
    make()->get_update();
    queue.run_pending();
    EXPECT_EQ(updater->checks.load(), 2);
    const std::wstring added = log_added_since(before);
    EXPECT_NE(added.find(L":1:[osx_system:get_update] provoking Sparkle to prompt for/perform updates...\n"),
              std::wstring::npos);
    EXPECT_NE(added.find(L":1:[osx_system:get_update] Error provoking Sparkle: std::runtime_error  :: feed "
                         L"unreachable\n"),
              std::wstring::npos);
}

TEST_F(OsxSystemTest, FoldersFollowTheBundleAndTheFreedesktopLayout) {
    const auto platform_system = make();
    const std::string home = testing::private_home();
    EXPECT_EQ(platform_system->get_user_library_dir(), std::string(std::getenv("XDG_DATA_HOME")));
    EXPECT_EQ(platform_system->get_temp_dir().back(), '/');
    // The test program lives in no bundle: the application folder is its own folder.
    const std::string app_dir = platform_system->get_app_dir();
    EXPECT_TRUE(boost::filesystem::is_directory(app_dir));
    EXPECT_EQ(platform_system->get_data_dir(), platform_system->get_user_library_dir() + "/KestrelData");
    EXPECT_EQ(platform_system->get_debug_log_path(), platform_system->get_data_dir() + "/log/debug_log.txt");
    EXPECT_EQ(platform_system->get_browser_support_path(),
              platform_system->get_data_dir() + "/client_browser_support.json");

    const std::string activities = platform_system->get_activities_dir();
    EXPECT_EQ(activities, platform_system->get_data_dir() + "/activities");
    struct stat info {};
    ASSERT_EQ(::stat(activities.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(boost::filesystem::is_directory(platform_system->get_activities_backup_dir()));
    EXPECT_EQ(platform_system->get_config_json_path(), platform_system->get_data_dir() + "/kestreld.json");
    EXPECT_EQ(platform_system->get_config_cfg_path(), platform_system->get_data_dir() + "/kestreld.cfg");
    EXPECT_EQ(platform_system->get_ca_bundle_path(), "");  // no bundle resources here: no file, no path
}

TEST_F(OsxSystemTest, TheDataFolderIsPrivateWhetherNewOrFoundOpen) {
    const auto platform_system = make();
    const std::string data_dir = platform_system->get_data_dir();
    const auto mode_of = [](const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 01000u;
    };
    boost::filesystem::remove_all(data_dir);
    const mode_t old_mask = ::umask(022);
    platform_system->get_config_json_path();  // the first start creates it
    EXPECT_EQ(mode_of(data_dir), 0700u);
    ASSERT_EQ(::chmod(data_dir.c_str(), 0755), 0);  // as an older version or a hand left it
    platform_system->get_activities_dir();
    EXPECT_EQ(mode_of(data_dir), 0700u);
    ::umask(old_mask);
    // The debug log was in the folder removed above: later tests of this
    // process read it again.
    debug_log_reopen();
}

TEST(RunCommand, JoinsLinesAndKeepsEveryMultiByteCharacter) {
    const auto platform_system = system::create();
    EXPECT_EQ(platform_system->run_command(L"printf 'a\\nb\\n'"), L"ab");
    // 200 two-byte characters cross every read boundary a small buffer would have.
    EXPECT_EQ(platform_system->run_command(L"for i in $(seq 200); do printf '\\303\\251'; done"),
              std::wstring(200, L'\u00E9'));
    EXPECT_EQ(platform_system->run_command(L"printf '\\303\\251t\\303\\251'"), L"\u00E9t\u00E9");
    EXPECT_EQ(platform_system->run_command(L"exit 3"), L"");
    const std::wstring big = platform_system->run_command(L"head -c 300000 /dev/zero | tr '\\0' x");
    EXPECT_EQ(big.size(), 300000u);
}

TEST(RunCommand, ChildrenStartWithTheOrdinarySignalMaskAndDispositions) {
    // The agent blocks its termination signals in every thread; a command must
    // not inherit that, or it could never be interrupted.
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGHUP);
    sigset_t previous;
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &blocked, &previous), 0);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous_usr1 {};
    sigaction(SIGUSR1, &ignore, &previous_usr1);

    // Signals 32 and 33 belong to the C library, which ignores them in every
    // spawned child; only the ordinary signals 1 to 31 are checked.
    const std::wstring status = system::create()->run_command(
        L"blk=$(sed -n 's/^SigBlk:\\t//p' /proc/self/status); "
        L"ign=$(sed -n 's/^SigIgn:\\t//p' /proc/self/status); "
        L"echo $((0x$blk)) $((0x$ign & 0x7fffffff))");
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    sigaction(SIGUSR1, &previous_usr1, nullptr);
    EXPECT_EQ(status, L"0 0");
    EXPECT_EQ(system::create()->run_command(L"sh -c 'kill -TERM $$; echo survived'"), L"");
}

TEST(TimeZoneName, FollowsTzThenTheSystemSetting) {
    EXPECT_EQ(local_time_zone_name("Asia/Tokyo"), "Asia/Tokyo");
    EXPECT_EQ(local_time_zone_name(":Europe/Berlin"), "Europe/Berlin");
    EXPECT_EQ(local_time_zone_name("/usr/share/zoneinfo/America/New_York"), "America/New_York");
    EXPECT_EQ(local_time_zone_name(""), "UTC");

    const std::string etc = testing::private_home() + "/etc-tz";
    boost::filesystem::create_directories(etc);
    EXPECT_EQ(local_time_zone_name(nullptr, etc), "UTC");  // no local zone configured at all
    boost::filesystem::create_symlink("../usr/share/zoneinfo/posix/Europe/Paris", etc + "/localtime");
    EXPECT_EQ(local_time_zone_name(nullptr, etc), "Europe/Paris");
    std::ofstream(etc + "/timezone") << "Australia/Sydney\n";
    EXPECT_EQ(local_time_zone_name(nullptr, etc), "Australia/Sydney");

    ::setenv("TZ", "Asia/Tokyo", 1);
    EXPECT_EQ(system::create()->get_time_zone_name(), L"Asia/Tokyo");
    ::unsetenv("TZ");
}

}  // namespace
}  // namespace kes

#include "core/foundation/config.h"
#include "kes/build_config.h"

#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>

#include <thread>
#include <vector>

namespace kes {
namespace {

class ConfigStoreTest : public ::testing::Test {
protected:
    void SetUp() override { config::instance().reset(L""); }
};

TEST_F(ConfigStoreTest, DefaultsOfTheMainSettings) {
    const config& settings = config::instance();
    EXPECT_EQ(settings.get_scan_interval(), 1u);
    EXPECT_EQ(settings.get_push_interval(), 1800u);
    EXPECT_EQ(settings.get_push_initial_interval(), 180u);
    EXPECT_EQ(settings.get_pull_interval(), 300u);
    EXPECT_EQ(settings.get_pull_initial_interval(), 30u);
    EXPECT_EQ(settings.get_idle_time_start(), 300u);
    EXPECT_EQ(settings.get_idle_activity_max_away(), 14400u);
    EXPECT_EQ(settings.get_debug_log_level(), 1u);
    EXPECT_EQ(settings.get_logging_scheduled_days(), 127u);
    EXPECT_TRUE(settings.get_first_time_running());
    EXPECT_TRUE(settings.get_logging_enabled());
    EXPECT_FALSE(settings.get_blocking_enabled());
    EXPECT_TRUE(settings.get_logging_scheduled_start_hour().is_special());
    EXPECT_EQ(settings.get_url(), build::default_web_host);
    EXPECT_EQ(settings.get_api_url(), build::default_api_host);
}

TEST_F(ConfigStoreTest, ApiHostFallsBackToTheWebHost) {
    config& settings = config::instance();
    settings.set_url(L"127.0.0.1:4443");
    settings.set_api_url(L"");
    EXPECT_EQ(settings.get_api_url(), L"127.0.0.1:4443");
}

TEST_F(ConfigStoreTest, UnsetSendAndUpdateTimesReadAsTheStartOf2001) {
    const auto start_of_2001 = boost::posix_time::time_from_string("2001-01-01 00:00:00");
    EXPECT_EQ(config::instance().get_last_successful_send(), start_of_2001);
    EXPECT_EQ(config::instance().get_last_update_check(), start_of_2001);
}

TEST_F(ConfigStoreTest, ClientVersionWithIdentity) {
    config& settings = config::instance();
    settings.set_client_version(L"1.0");
    settings.set_os_username(L"ann");
    settings.set_computer_name(L"mac");
    EXPECT_EQ(settings.get_client_version(true), L"1.0 - ann/mac");
    EXPECT_EQ(settings.get_client_version(false), L"1.0");
}

TEST_F(ConfigStoreTest, ResetKeepsOnlyAGivenKey) {
    config& settings = config::instance();
    settings.set_account_key(L"key-1");
    settings.reset(L"");
    EXPECT_EQ(settings.get_account_key(), L"");
    settings.set_scan_interval(7);
    settings.reset(L"key-2");
    EXPECT_EQ(settings.get_account_key(), L"key-2");
    EXPECT_EQ(settings.get_scan_interval(), 1u);
}

TEST_F(ConfigStoreTest, StatusQueueKeepsTheNewestSix) {
    config& settings = config::instance();
    for (int i = 1; i <= 8; ++i) settings.push_status_message(std::to_wstring(i));
    std::wstring text = L"stale";
    std::vector<std::wstring> popped;
    for (int i = 0; i < 7; ++i) {
        settings.pop_status_message(text);
        popped.push_back(text);
    }
    EXPECT_EQ(popped, (std::vector<std::wstring>{L"3", L"4", L"5", L"6", L"7", L"8", L""}));
}

// Texts read while another thread writes them come out whole (run under TSan).
TEST_F(ConfigStoreTest, TextsReadWhileWrittenAreNeverTorn) {
    config& settings = config::instance();
    const std::wstring a(200, L'a');
    const std::wstring b(300, L'b');
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) settings.set_current_window_title(i % 2 ? a : b);
    });
    for (int i = 0; i < 2000; ++i) {
        const std::wstring seen = settings.get_current_window_title();
        ASSERT_TRUE(seen.empty() || seen == a || seen == b);
    }
    writer.join();
}

}  // namespace
}  // namespace kes

namespace kes {
namespace {

TEST(ConfigClock, AnEmptyClockRestoresTheWallClock) {
    config& settings = config::instance();
    settings.set_clock([] { return boost::posix_time::time_from_string("2024-03-05 14:30:00"); });
    EXPECT_EQ(settings.local_now(), boost::posix_time::time_from_string("2024-03-05 14:30:00"));
    settings.set_clock({});
    const auto now = boost::posix_time::second_clock::local_time();
    EXPECT_LE((settings.local_now() - now).total_seconds(), 1);
}

}  // namespace
}  // namespace kes

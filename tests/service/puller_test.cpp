// The puller against a service in memory: focus sessions from alerts, the
// block list, the browser-support table, settings and idle activities.
#include "core/foundation/config.h"
#include "core/foundation/dynamic_structure.h"
#include "core/foundation/dynamic_structure_io.h"
#include "core/foundation/system.h"
#include "core/service/puller.h"
#include "tests/service/puller_fake_service.h"
#include "tests/support/recording_ui.h"
#include "tests/support/test_environment.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>

namespace kes {
namespace {

using boost::posix_time::minutes;
using boost::posix_time::ptime;
using boost::posix_time::seconds;
using boost::posix_time::time_from_string;
using testing::fake_sync_service;

class PullerTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings().set_clock([this] { return now_; });
        settings().set_paused_until(now_ - boost::posix_time::hours(24));
        settings().set_blocking_until(now_ - minutes(1));
        settings().set_idle_activities({});
        service_->block_list.blocking_enabled = true;
        service_->block_list.block_list = {L"news.example.org"};
        ui_.set_puller_factory([this] { return make(); });
    }
    void TearDown() override { settings().set_clock({}); }

    static config& settings() { return config::instance(); }

    std::unique_ptr<puller> make() {
        return std::make_unique<puller>(service_, system::create(), [this]() -> ui* { return &ui_; });
    }

    std::vector<int> started_sessions() const { return service_->started_sessions(); }
    int ended_sessions() const { return service_->ended_sessions(); }

    ptime now_ = time_from_string("2024-05-01 17:30:05");
    std::shared_ptr<fake_sync_service> service_ = std::make_shared<fake_sync_service>();
    testing::recording_ui ui_;
};

TEST_F(PullerTest, AFocusSessionUntilATimeRoundsToWholeMinutesAndWinsOverADuration) {
    service_->alerts.still_zone_until = now_ + minutes(10) + seconds(31);
    service_->alerts.still_zone_duration = 45;
    make()->pull_alerts();
    EXPECT_EQ(started_sessions(), std::vector<int>{11});
    EXPECT_EQ(settings().get_blocking_until(), now_ + minutes(11));
    EXPECT_TRUE(settings().is_blocking());
    EXPECT_EQ(settings().get_blocked_items(), std::vector<std::wstring>{L"news.example.org"});

    // 10 min 30 s is not later than the running session's end: nothing changes.
    service_->alerts.still_zone_until = now_ + minutes(10) + seconds(30);
    make()->pull_alerts();
    EXPECT_EQ(started_sessions(), std::vector<int>{11});

    // Later than the session: 10 min 30 s from a later now gives 10 minutes.
    now_ += minutes(5);
    service_->alerts.still_zone_until = now_ + minutes(10) + seconds(30);
    make()->pull_alerts();
    EXPECT_EQ(started_sessions(), (std::vector<int>{11, 10}));
}

TEST_F(PullerTest, AnAlertTwentySecondsAheadEndsTheRunningSession) {
    ui_.on_get_focused(1);
    ASSERT_TRUE(settings().is_blocking());
    service_->alerts.still_zone_until = now_ + minutes(1) + seconds(20);  // after the end, 80 s ahead
    now_ += minutes(1);  // 20 s ahead now, and after the session's end
    make()->pull_alerts();
    EXPECT_EQ(ended_sessions(), 1);
    EXPECT_FALSE(settings().is_blocking());
}

TEST_F(PullerTest, DurationsStartEndOrAreRefusedWhilePaused) {
    service_->alerts.still_zone_duration = 25;
    service_->alerts.alerts = {{L"Time for a break", L"https://example.org/break"}};
    make()->pull_alerts();
    EXPECT_EQ(started_sessions(), std::vector<int>{25});
    EXPECT_EQ(ui_.opened_urls(), std::vector<std::wstring>{L"https://example.org/break"});
    std::wstring queued;
    settings().pop_status_message(queued);
    EXPECT_EQ(queued, L"Time for a break");

    service_->alerts.alerts.clear();
    service_->alerts.still_zone_duration = 0;
    make()->pull_alerts();
    EXPECT_EQ(ended_sessions(), 1);
    EXPECT_FALSE(settings().is_blocking());

    settings().set_paused_until(now_);  // a time equal to the end still counts as paused
    service_->alerts.still_zone_duration = 30;
    make()->pull_alerts();
    EXPECT_EQ(started_sessions(), std::vector<int>{25});
    settings().pop_status_message(queued);
    EXPECT_EQ(queued, L"Stillzone not started because Kestrel is paused.");
}

TEST_F(PullerTest, ARefreshKeepsARunningSessionAndAFailedOneSwitchesBlockingOff) {
    ui_.on_get_focused(30);
    const ptime session_end = now_ + minutes(30);
    ASSERT_EQ(settings().get_blocking_until(), session_end);
    service_->block_list.block_list = {L"video.example.org"};
    now_ += minutes(10);
    make()->update_blocked_list_no_params();
    EXPECT_TRUE(settings().is_blocking());
    EXPECT_EQ(settings().get_blocking_until(), session_end);
    EXPECT_EQ(settings().get_blocked_items(), std::vector<std::wstring>{L"video.example.org"});

    service_->failing.insert("get_blocked_list");
    EXPECT_FALSE(make()->update_blocked_list(false, false, 0));
    EXPECT_FALSE(settings().is_blocking());
    EXPECT_TRUE(settings().get_blocked_items().empty());
}

// The user ends the session while the puller thread's refresh waits for the
// service: the answer must not bring the ended session back.
TEST_F(PullerTest, ASessionEndedDuringARefreshStaysEnded) {
    ui_.on_get_focused(30);
    ASSERT_TRUE(settings().is_blocking());
    now_ += minutes(10);
    service_->during_block_list = [this] {
        service_->during_block_list = nullptr;
        ui_.end_focus_session();
    };
    EXPECT_TRUE(make()->update_blocked_list(false, false, 0));
    EXPECT_EQ(ended_sessions(), 1);
    EXPECT_FALSE(settings().is_blocking());
    EXPECT_LT(settings().get_blocking_until(), now_);
}

TEST_F(PullerTest, AFocusSessionTheServiceRefusesIsEndedAndBadLengthsAreIgnored) {
    service_->failing.insert("get_blocked_list");
    ui_.on_get_focused(15);
    EXPECT_FALSE(settings().is_blocking());
    EXPECT_EQ(ended_sessions(), 1);

    service_->failing.clear();
    ui_.on_get_focused(1441);
    ui_.on_get_focused(-2);
    EXPECT_EQ(ui_.still_zone_minutes(), (std::vector<int>{30, 30}));
    ui_.on_get_focused(1440);
    EXPECT_EQ(started_sessions(), (std::vector<int>{15, 1440}));

    now_ = time_from_string("2024-05-01 23:00:00");
    ui_.on_get_focused(-1);
    EXPECT_EQ(started_sessions().back(), 60);
}

TEST_F(PullerTest, TheBrowserSupportTableComesFromAGoodLocalFileElseFromTheService) {
    const std::string path = system::create()->get_browser_support_path();
    service_->browser_support = DynamicStructureFromJsonText(R"({"org.example.browser": {"process_name": "example"}})");

    std::ofstream(path) << "{\"2\": {\"com.local.Browser\": {\"process_name\": \"local\"}}}";
    make()->update_browser_support();
    EXPECT_TRUE(settings().get_browser_support()->HasMember(L"com.local.Browser"));
    EXPECT_TRUE(service_->calls.empty());

    // A deep file crashed every start once: the parse must refuse it early.
    const std::string deep = "{\"2\": " + std::string(200000, '[') + std::string(200000, ']') + "}";
    for (const std::string& unusable : {std::string(), std::string("{\"2\": {broken"), std::string("\xff\xfe"), deep}) {
        std::ofstream(path, std::ios::trunc) << unusable;
        settings().set_browser_support_changed(false);
        ASSERT_NO_THROW(make()->update_browser_support()) << unusable.substr(0, 20);
        EXPECT_TRUE(settings().get_browser_support()->HasMember(L"org.example.browser")) << unusable.substr(0, 20);
        EXPECT_TRUE(settings().take_browser_support_changed());
    }

    service_->failing.insert("get_browser_support_list");
    make()->update_browser_support();
    EXPECT_TRUE(settings().get_browser_support()->HasMember(L"com.apple.Safari"));
}

TEST_F(PullerTest, SettingsPullReachesTheSettingsFileAndMessagesFailQuietly) {
    service_->config_answer =
        DynamicStructureFromJsonText(R"({"pull_interval": 77, "backup_log": true, "unknown_key": 1})");
    make()->pull_config();
    EXPECT_EQ(settings().get_pull_interval(), 77u);
    const auto saved = nlohmann::json::parse(testing::read_file(system::create()->get_config_json_path()));
    EXPECT_EQ(saved.at("pull_interval"), 77);
    EXPECT_EQ(saved.at("backup_log"), true);

    service_->messages = {message::pull_config, message::pull_alerts, message::update_block_list,
                          static_cast<message>(-1)};
    EXPECT_EQ(make()->pull_messages(), (std::vector<std::uint32_t>{2, 1, 5, 0xffffffffu}));
    service_->failing = {"get_messages", "get_config"};
    EXPECT_TRUE(make()->pull_messages().empty());
    service_->config_answer = DynamicStructureFromJsonText(R"({"pull_interval": 5})");
    make()->pull_config();
    EXPECT_EQ(settings().get_pull_interval(), 77u);
}

TEST_F(PullerTest, IdleActivityDefaultsFillOnlyAnEmptyList) {
    make()->update_idle_activity_list();
    const auto defaults = settings().get_idle_activities();
    ASSERT_EQ(defaults.size(), 12u);
    EXPECT_EQ(defaults[4], L"quicktime player");
    EXPECT_EQ(defaults[11], L"iracingsim64.exe");
    settings().set_idle_activities({L"my game"});
    make()->update_idle_activity_list();
    EXPECT_EQ(settings().get_idle_activities(), std::vector<std::wstring>{L"my game"});
    EXPECT_TRUE(service_->calls.empty());
}

}  // namespace
}  // namespace kes

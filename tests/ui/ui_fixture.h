#pragma once
// The UI logic in a test: the recording UI over the real configuration
// store of the test's private home, a clock that moves only when told (the
// event loop's sleeps move it), an idle time the test sets, and a web
// service in memory for the focus-session requests. The UI's own service
// client (sign-in, update checks) sends nothing: its requests fail at once;
// entered offline time is kept in memory.

#include "core/capture/log_entry.h"
#include "core/foundation/activation_service.h"
#include "core/foundation/config.h"
#include "core/foundation/system.h"
#include "core/service/api.h"
#include "core/service/puller.h"
#include "core/service/transfer_stop.h"
#include "tests/service/puller_fake_service.h"
#include "tests/support/recording_ui.h"
#include "tests/support/settable_idle_system.h"
#include "tests/support/still_clock.h"
#include "tests/ui/debug_log_lines.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <vector>

namespace kes::testing {

struct accepting_activation : activation_service {
    activation_result activate_enterprise(const std::wstring&) override {
        activation_result answer;
        answer.result = activation_result::outcome::success;
        answer.account_key = L"AK-enrolled";
        return answer;
    }
    activation_result activate_silent() override {
        activation_result answer;
        answer.result = activation_result::outcome::success;
        return answer;
    }
};

class UiTest : public ::testing::Test {
protected:
    using ptime = boost::posix_time::ptime;

    void SetUp() override {
        settings().set_clock([this] { return clock_.now(); });
        settings().set_defaults();
        settings().set_activation_service(nullptr);
        settings().set_debug_log_level(0xFFFF);
        settings().set_url(L"app.kestrel.test");
        settings().set_status_message(L"", 0);
        settings().set_survey_url(L"");
        settings().set_gui_loaded(true);
        // No unattended update check unless a test asks for one.
        settings().set_check_updates(false);
        settings().set_last_update_check(now());
        drain_queue();
        // A fresh configuration is paused until the moment it was made.
        settings().set_paused_until(now() - boost::posix_time::hours(48));
        service_->block_list.blocking_enabled = true;
        service_->block_list.block_list = {L"news.example.org"};
        ui_.init();
        ui_.set_puller_factory([this] {
            return std::make_unique<puller>(service_, system::create(), [this]() -> ui* { return &ui_; },
                                            [this] { return now(); });
        });
    }

    void TearDown() override {
        settings().set_activation_service(nullptr);
        settings().set_debug_log_level(1);
        settings().set_clock({});
    }

    static config& settings() { return config::instance(); }

    static network::transport_options offline_transport() {
        auto stopped = std::make_shared<network::transfer_stop>();
        stopped->stop();
        network::transport_options options;
        options.stop = stopped;
        return options;
    }

    ptime now() const { return clock_.now(); }
    void advance(const boost::posix_time::time_duration& by) { clock_.advance(by); }
    void set_now(const ptime& at) { clock_.set(at); }

    // The offline-time prompt switched on: away after 300 s idle, not dismissed.
    void enable_offline_time() {
        settings().set_timepie_enabled(true);
        settings().set_idle_time_away(300);
        settings().set_offline_dismissed_until(now());
    }

    static void drain_queue() {
        std::wstring text;
        do {
            settings().pop_status_message(text);
        } while (!text.empty());
    }

    void sign_in() {
        settings().set_account_key(L"AK-test-1234");
        settings().set_activation_service(std::make_shared<accepting_activation>());
        ASSERT_TRUE(settings().is_authenticated());
    }

    // The event loop's sleeps: each moves the clock on by its length; after
    // `stop_after` sleeps the loop is told to stop.
    ui::seams loop_seams() {
        ui::seams with;
        with.platform_system = idle_system_;
        with.service_client = &offline_client_;
        // Focus requests run at once on the test's thread, in step with its clock.
        with.run_focus_request = [](std::function<void()> request) { request(); };
        with.record_activity = [this](const log_entry& record) {
            std::lock_guard<std::mutex> lock(recorded_mutex_);
            recorded_.push_back(record);
        };
        with.wait_for_stop = [this](std::chrono::milliseconds duration) {
            waits_.push_back(duration);
            heartbeats_.push_back(settings().get_last_event_time());
            advance(boost::posix_time::milliseconds(duration.count()));
            return static_cast<int>(waits_.size()) < stop_after_;
        };
        return with;
    }

    // Runs `count` passes as the loop would, without its sleeps.
    void passes(int count) {
        for (int i = 0; i < count; ++i) {
            ui_.run_event_pass();
            advance(boost::posix_time::milliseconds(500));
        }
    }

    std::vector<std::wstring> calls_since(std::size_t before) const {
        const std::vector<std::wstring> all = ui_.calls();
        return std::vector<std::wstring>(all.begin() + static_cast<std::ptrdiff_t>(std::min(before, all.size())),
                                         all.end());
    }

    std::vector<log_entry> recorded() const {
        std::lock_guard<std::mutex> lock(recorded_mutex_);
        return recorded_;
    }

    std::vector<int> started_sessions() const { return service_->started_sessions(); }
    int ended_sessions() const { return service_->ended_sessions(); }

    still_clock clock_{boost::posix_time::time_from_string("2024-05-01 17:30:05")};  // a Wednesday
    std::shared_ptr<settable_idle_system> idle_system_ = std::make_shared<settable_idle_system>();
    std::shared_ptr<fake_sync_service> service_ = std::make_shared<fake_sync_service>();
    int stop_after_ = 1;
    std::vector<std::chrono::milliseconds> waits_;
    std::vector<ptime> heartbeats_;
    mutable std::mutex recorded_mutex_;
    std::vector<log_entry> recorded_;  // under recorded_mutex_
    Kestrel::Network::API offline_client_{offline_transport(), [](network::request&) {}};
    recording_ui ui_{loop_seams()};
};

}  // namespace kes::testing

#pragma once
// The UI logic against the service stand-in: the recording UI with a service
// client that trusts the stand-in, the configuration store pointed at it and
// activating through it, and a local clock that moves only when told. The
// stand-in is shared by a suite and reset for every test.

#include "core/foundation/config.h"
#include "core/foundation/system.h"
#include "core/foundation/text.h"
#include "core/service/api.h"
#include "core/service/puller.h"
#include "core/service/service_activation.h"
#include "core/service/sync_service.h"
#include "tests/service/standin_fixture.h"
#include "tests/support/recording_ui.h"
#include "tests/support/run_program.h"
#include "tests/support/still_clock.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <memory>
#include <string>

namespace kes::testing {

class StandinUiTest : public ::testing::Test {
protected:
    using json = nlohmann::json;
    using ptime = boost::posix_time::ptime;

    static void SetUpTestSuite() { service_ = std::make_unique<standin>(); }
    static void TearDownTestSuite() { service_.reset(); }

    void SetUp() override {
        settings().set_clock([this] { return clock_.now(); });
        settings().set_defaults();
        start_test_on(*service_);
        settings().set_debug_log_level(0xFFFF);
        settings().set_status_message(L"", 0);
        settings().set_check_updates(false);
        settings().set_last_update_check(now());
        settings().set_activation_service(std::make_shared<service_activation>(api_));
        ui_.set_puller_factory([this] {
            return std::make_unique<puller>(make_sync_service(api_), system::create(),
                                            [this]() -> ui* { return &ui_; }, [this] { return now(); });
        });
        ui_.init();
    }

    void TearDown() override {
        settings().set_activation_service(nullptr);
        settings().set_debug_log_level(1);
        settings().set_clock({});
    }

    static config& settings() { return config::instance(); }

    ptime now() const { return clock_.now(); }
    void set_now(const ptime& at) { clock_.set(at); }

    std::wstring status() const { return settings().get_status_message(); }
    int severity() const { return settings().get_status_severity(); }

    static std::string field(const json& entry, const std::string& name) {
        for (const auto& item : entry.at("fields")) {
            if (item.at(0) == name) return item.at(1).get<std::string>();
        }
        return "<absent>";
    }

    // Whether grep finds `text` in the debug log.
    static bool log_holds(const std::wstring& text) {
        const std::string path = system::create()->get_debug_log_path();
        const auto found = run_program({"/usr/bin/grep", "-F", "-q", "-e", util::wstring_to_utf8(text), path});
        EXPECT_NE(found.exit_code, 2) << "grep could not read " << path;
        return found.exit_code == 0;
    }

    static inline std::unique_ptr<standin> service_;
    still_clock clock_{boost::posix_time::time_from_string("2024-05-01 17:30:05")};
    Kestrel::Network::API api_{service_->transport(), [this](network::request& call) { ui_.add_computer_params(call); }};
    recording_ui ui_{[this] {
        ui::seams with;
        with.service_client = &api_;
        return with;
    }()};
};

}  // namespace kes::testing

#pragma once
// The preferences windows through the application controller, offscreen,
// signing in against the service stand-in. The UI thread's forwarding of
// status texts is done by the test's loop (update_status_text), so what the
// window shows is what a user would see a pass later.

#include "core/service/api.h"
#include "core/service/service_activation.h"
#include "gui/osx_PreferencesWindow.h"
#include "tests/gui/controller_fixture.h"
#include "tests/gui/saved_settings.h"
#include "tests/service/standin_fixture.h"

#include <QWidget>

#include <memory>
#include <string>

namespace kes::testing {

using standin_accounts::demo_email;
using standin_accounts::demo_password;

class PreferencesTest : public ControllerTest {
protected:
    static void SetUpTestSuite() { standin_ = std::make_unique<standin>(); }
    static void TearDownTestSuite() { standin_.reset(); }

    PreferencesTest() {
        start_test_on(*standin_);
        service_client_ = &api_;
        // As in the agent: a sign-in holds once the service confirms the account.
        config::instance().set_activation_service(std::make_shared<service_activation>(api_));
        // Only the sign-in's texts: the fixture's "running" is no concern here.
        config::instance().set_status_message(L"", 0);
    }

    ~PreferencesTest() override {
        // The sign-in thread uses this fixture's service client: it ends first.
        controller_ = nullptr;
        bridge_.reset();
        config::instance().set_activation_service(nullptr);
    }

    // The desktop's capability level before the launch: 10.13 is the classic window.
    void on_release(int major, int minor) { fakes_.version->set_level({major, minor, 0}); }

    osx_PreferencesWindow& preferences() { return *controller_->preferencesWC(); }

    // Opens the window as the menu item does.
    QWidget& open_preferences() {
        controller_->showPreferencesWindow();
        serve();
        return preferences().window();
    }

    // Serves the loop, with the UI thread's status forwarding, until `done`.
    bool wait_until(const std::function<bool()>& done, int limit_ms = 20'000) {
        return run_loop_until(
            [&] {
                bridge_->update_status_text();
                return done();
            },
            limit_ms);
    }

    // The sign-in requests the stand-in received (the check after one carries no password).
    std::size_t sign_in_requests() const {
        std::size_t count = 0;
        for (const auto& entry : standin_->requests("/activate")) {
            for (const auto& item : entry.at("fields")) count += item.at(0) == "password" ? 1 : 0;
        }
        return count;
    }

    static inline std::unique_ptr<standin> standin_;
    Kestrel::Network::API api_{standin_->transport(),
                               [this](network::request& call) { bridge_->add_computer_params(call); }};
};

}  // namespace kes::testing

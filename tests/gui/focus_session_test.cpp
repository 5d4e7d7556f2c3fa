// Focus sessions from the menu and the focus window against the service
// stand-in, which takes its time: the thread that draws the windows never
// waits for it (the test program refuses a request made on that thread), the
// session starts once the service has answered, and a session the service
// did not confirm is told to the user in an alert drawn on the main thread.
#include "core/foundation/text_table.h"
#include "core/service/api.h"
#include "core/service/sync_service.h"
#include "tests/gui/controller_fixture.h"
#include "tests/service/standin_fixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <chrono>
#include <cstdio>

namespace kes::testing {
namespace {

class FocusSessionTest : public ControllerTest {
protected:
    static void SetUpTestSuite() { standin_ = std::make_unique<standin>(); }
    static void TearDownTestSuite() { standin_.reset(); }

    FocusSessionTest() {
        start_test_on(*standin_);
        config::instance().set_account_key(standin_accounts::demo_account_key);
        service_client_ = &api_;
    }
    ~FocusSessionTest() override {
        // The focus-request thread uses this fixture's client: it ends first.
        controller_ = nullptr;
        bridge_.reset();
    }

    KestrelController& launch_against_the_standin() {
        KestrelController& launched = launch();
        bridge_->set_puller_factory([this] {
            return std::make_unique<puller>(make_sync_service(api_), system::create(),
                                            [this]() -> ui* { return bridge_.get(); });
        });
        return launched;
    }

    std::size_t started_at_the_service() const {
        std::size_t count = 0;
        for (const auto& entry : standin_->requests("/api/block_list")) {
            for (const auto& item : entry.at("fields")) {
                count += item.at(0) == "focus" && item.at(1) == "true" ? 1 : 0;
            }
        }
        return count;
    }

    static inline std::unique_ptr<standin> standin_;
    Kestrel::Network::API api_{standin_->transport(), [](network::request&) {}};
};

TEST_F(FocusSessionTest, TheMenuAndTheWindowGoOnWhileTheServiceTakesItsTimeAndTheSessionThenStarts) {
    launch_against_the_standin();
    standin_->script("/api/block_list", {{"delay", 2}}, 2);

    using clock = std::chrono::steady_clock;
    const auto chosen = clock::now();
    bridge_->on_menu_action(k_tray_item_focus_for_15_minutes);
    const double menu_ms = std::chrono::duration<double, std::milli>(clock::now() - chosen).count();
    EXPECT_FALSE(config::instance().is_blocking()) << "the session waits for the service's answer";

    std::thread([&] { bridge_->show_still_zone_window(); }).join();
    serve();
    focus().blockingTime->setText(QStringLiteral("45"));
    const auto clicked = clock::now();
    QTest::mouseClick(focus().blockingOKButton, Qt::LeftButton);
    const double click_ms = std::chrono::duration<double, std::milli>(clock::now() - clicked).count();
    std::fprintf(stderr, "[ figures ] with the service 2 s slow: menu choice returned in %.1f ms, window's button in %.1f ms\n",
                 menu_ms, click_ms);

    ASSERT_TRUE(run_loop_until([&] { return started_at_the_service() == 2 && config::instance().is_blocking(); }));
    EXPECT_FALSE(was_logged(L"[network::request] A request on the thread that draws the user interface: "
                            L"/api/block_list (refused)"));
    EXPECT_TRUE(fakes_.alerts->alerts().empty());
}

TEST_F(FocusSessionTest, ASessionTheServiceDoesNotConfirmIsToldInAnAlert) {
    launch_against_the_standin();
    standin_->script("/api/block_list", {{"status", 500}}, 1);
    bridge_->on_menu_action(k_tray_item_focus_for_30_minutes);
    ASSERT_TRUE(run_loop_until([&] { return !fakes_.alerts->alerts().empty(); }));
    const auto shown = fakes_.alerts->alerts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].request.message, "Kestrel");
    EXPECT_EQ(shown[0].request.informative_text, util::wstring_to_utf8(get_text(L"stillzone_alert_error_not_started")));
    EXPECT_EQ(shown[0].thread, std::this_thread::get_id());
    EXPECT_FALSE(config::instance().is_blocking());
}

}  // namespace
}  // namespace kes::testing

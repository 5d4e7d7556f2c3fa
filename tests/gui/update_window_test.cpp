// Update checks against the service stand-in: a check the user asks for is
// sent from the loop's thread and its result is shown in the update window,
// whose download button opens the download page; an unattended check that
// finds a newer version tells the user once per version.
#include "core/service/api.h"
#include "tests/gui/controller_fixture.h"
#include "tests/service/standin_fixture.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <boost/date_time/posix_time/posix_time.hpp>

#include <thread>

namespace kes::testing {
namespace {

class UpdateWindowTest : public ControllerTest {
protected:
    static void SetUpTestSuite() { standin_ = std::make_unique<standin>(); }
    static void TearDownTestSuite() { standin_.reset(); }

    UpdateWindowTest() {
        start_test_on(*standin_);
        config::instance().set_account_key(standin_accounts::demo_account_key);
        config::instance().set_client_version(L"1.0.0");
        service_client_ = &api_;
    }
    ~UpdateWindowTest() override {
        // The bridge asks through this fixture's client: it ends first.
        controller_ = nullptr;
        bridge_.reset();
    }

    void offer(int major, int minor, int revision, int build) {
        standin_->set_state({{"client_version", {{"major", major}, {"minor", minor}, {"revision", revision},
                                                 {"build", build}}}});
    }

    // As the UI loop does when the user chose "Check for Updates...": on its
    // own thread, which waits for the service.
    void check_as_asked() {
        std::thread([this] { bridge_->check_for_updates_now(); }).join();
    }

    // The window once it shows `headline`; fails the test otherwise.
    update_window& shown_with(const QString& headline) {
        const bool shown = run_loop_until([&] {
            const update_window* window = controller_->updateWindow();
            return window && window->updateWindow->isVisible() && window->updateHeadline->text() == headline;
        });
        EXPECT_TRUE(shown) << headline.toStdString();
        return built(controller_->updateWindow());
    }

    std::size_t version_requests() { return standin_->requests("/client_version").size(); }

    bool logged_no_update() const {
        for (const std::wstring& line : logged()) {
            if (line.find(L"no update") != std::wstring::npos) return true;
        }
        return false;
    }

    static inline std::unique_ptr<standin> standin_;
    Kestrel::Network::API api_{standin_->transport(), [](network::request&) {}};
};

TEST_F(UpdateWindowTest, ACheckTheUserAsksForShowsWhatItFoundAndTheOfferOpensTheDownloadPage) {
    launch();
    // Asked on the main thread, nothing waits there: the loop's next pass asks.
    bridge_->check_for_updates_now();
    EXPECT_TRUE(config::instance().get_update_check_requested());
    EXPECT_EQ(version_requests(), 0u);

    check_as_asked();
    update_window& offered = shown_with(QStringLiteral("A newer version of Kestrel is available."));
    EXPECT_EQ(version_requests(), 1u);
    EXPECT_EQ(offered.updateDetails->text(), QStringLiteral("Kestrel 1.2.3.45 is available; you have 1.0.0."));
    EXPECT_TRUE(offered.downloadButton->isVisible());
    QTest::mouseClick(offered.downloadButton, Qt::LeftButton);
    ASSERT_TRUE(run_loop_until([&] { return !fakes_.opener->opened_pages().empty(); }));
    EXPECT_EQ(fakes_.opener->opened_pages(),
              std::vector<std::string>{"https://" + util::wstring_to_utf8(standin_->host()) + "/download?src=client"});
    EXPECT_FALSE(offered.updateWindow->isVisible());

    offer(1, 0, 0, 0);
    check_as_asked();
    update_window& newest = shown_with(QStringLiteral("Kestrel is up to date."));
    EXPECT_EQ(newest.updateDetails->text(), QStringLiteral("You have the newest version of Kestrel (1.0.0)."));
    EXPECT_FALSE(newest.downloadButton->isVisible());

    standin_->script("/client_version", {{"status", 500}}, 1);
    check_as_asked();
    EXPECT_FALSE(shown_with(QStringLiteral("The check for updates failed.")).downloadButton->isVisible());
    EXPECT_EQ(version_requests(), 3u);
    EXPECT_TRUE(fakes_.notifier->notifications().empty());
    EXPECT_FALSE(logged_no_update());
}

TEST_F(UpdateWindowTest, AnUnattendedCheckTellsOfANewerVersionOncePerVersion) {
    launch();
    const auto unattended_check = [this] {
        config::instance().set_last_update_check(boost::posix_time::not_a_date_time);
        std::thread([this] { EXPECT_TRUE(bridge_->check_for_updates(false)); }).join();
    };
    unattended_check();
    unattended_check();
    offer(1, 3, 0, 0);
    unattended_check();
    EXPECT_EQ(version_requests(), 3u);
    const auto told = fakes_.notifier->notifications();
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0].title, "Kestrel Alert");
    EXPECT_EQ(told[0].text, "Kestrel 1.2.3.45 is available. Choose \"Check for Updates...\" in Kestrel's menu to "
                            "download it.");
    EXPECT_EQ(told[1].text, "Kestrel 1.3.0.0 is available. Choose \"Check for Updates...\" in Kestrel's menu to "
                            "download it.");
    serve();
    EXPECT_EQ(controller_->updateWindow(), nullptr);  // nobody asked: no window
    EXPECT_FALSE(logged_no_update());
}

}  // namespace
}  // namespace kes::testing

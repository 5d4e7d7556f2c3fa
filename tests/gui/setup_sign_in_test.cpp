// Signing in from the wizard's first page against the service stand-in, as
// a user clicks through it offscreen: the service's words for a wrong
// password and the button back, the second-factor prompt and the wizard
// moving on, one request for a double click (the stand-in's request log),
// the typed password forgotten, no secret in the debug log, and a sign-in
// that outlives the wizard it came from.
#include "core/foundation/text_table.h"
#include "core/service/api.h"
#include "core/service/service_activation.h"
#include "gui/osx_SetupLoginViewController.h"
#include "tests/gui/setup_wizard_fixture.h"
#include "tests/service/standin_fixture.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>

namespace kes::testing {
namespace {

using namespace standin_accounts;

class SetupSignInTest : public SetupWizardTest {
protected:
    static void SetUpTestSuite() { service_ = std::make_unique<standin>(); }
    static void TearDownTestSuite() { service_.reset(); }

    SetupSignInTest() {
        start_test_on(*service_);
        config::instance().set_activation_service(std::make_shared<service_activation>(api_));
        permission_->trusted = true;  // the page after the sign-in is the Automation page
    }
    ~SetupSignInTest() override {
        // The sign-in thread ends before the client it uses.
        if (bridge_) bridge_->finish_sign_in();
        config::instance().set_activation_service(nullptr);
    }

    ui::seams bridge_seams() override {
        ui::seams with = ControllerTest::bridge_seams();
        with.service_client = &api_;
        return with;
    }

    osx_SetupLoginViewController& sign_in_page() {
        open_wizard();
        EXPECT_EQ(current_page(), "osx_SetupLoginViewController");
        return *wizard().loginVC();
    }
    static void type(QLineEdit* field, const std::wstring& text) {
        field->clear();
        QTest::keyClicks(field, QString::fromStdWString(text));
    }
    // Runs the loop, with the status-line step of the UI event thread's
    // passes (which turns the sign-in's status into the page's text), until
    // `done` holds.
    bool run_passes_until(const std::function<bool()>& done) {
        QElapsedTimer since_pass;
        since_pass.start();
        return run_loop_until(
            [&] {
                if (since_pass.elapsed() >= 100) {
                    bridge_->update_status_text();
                    since_pass.restart();
                }
                return done();
            },
            20'000);
    }
    // Until the sign-in has ended, its last steps ran on the main thread and
    // the page shows `status`.
    bool let_the_sign_in_end(osx_SetupLoginViewController& page, const QString& status) {
        return run_passes_until([&] {
            return !bridge_->is_signing_in() && !page.activateButton->isHidden() && page.statusLabel->text() == status;
        });
    }

    // The sign-in requests the stand-in received (silent re-activations carry no password).
    static int sign_in_requests() {
        int count = 0;
        for (const auto& entry : service_->requests("/activate")) {
            for (const auto& field : entry.at("fields")) {
                if (field.at(0) == "password") ++count;
            }
        }
        return count;
    }

    static inline std::unique_ptr<standin> service_;
    Kestrel::Network::API api_{service_->transport(),
                               [this](network::request& call) { bridge_->add_computer_params(call); }};
};

TEST_F(SetupSignInTest, AWrongPasswordShowsTheServicesWordsAndTheButtonComesBack) {
    osx_SetupLoginViewController& page = sign_in_page();
    type(page.emailField, demo_email);
    type(page.passwordField, L"not-the-password");
    QTest::mouseClick(page.activateButton, Qt::LeftButton);
    // While it runs: the spinner instead of the button.
    EXPECT_TRUE(page.activateButton->isHidden());
    EXPECT_FALSE(page.spinner->isHidden());
    ASSERT_TRUE(let_the_sign_in_end(page, QStringLiteral("Wrong e-mail address or password.")))
        << page.statusLabel->text().toStdString();
    EXPECT_TRUE(page.spinner->isHidden());
    EXPECT_TRUE(page.activateButton->isVisible());
    EXPECT_EQ(current_page(), "osx_SetupLoginViewController");
    EXPECT_EQ(config::instance().get_account_key(), L"");
    // What was typed served that sign-in only.
    EXPECT_TRUE(page.passwordField->text().isEmpty());
    EXPECT_EQ(controller_->password(), L"");
    EXPECT_EQ(page.emailField->text(), QString::fromStdWString(demo_email));
    EXPECT_EQ(sign_in_requests(), 1);
    EXPECT_TRUE(was_logged(L"[KestrelController]activate: " + [&] {
        char text[32];
        std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&page)));
        return util::utf8_to_wstring(text);
    }()));
}

TEST_F(SetupSignInTest, TheSecondFactorIsAskedForAndTheSignInMovesTheWizardOn) {
    fakes_.alerts->queue_answer({platform::alert_first_button, "000000"});  // mistyped
    fakes_.alerts->queue_answer({platform::alert_first_button, util::wstring_to_utf8(second_code)});
    osx_SetupLoginViewController& page = sign_in_page();
    type(page.emailField, second_email);
    type(page.passwordField, second_password);
    QTest::keyClick(page.passwordField, Qt::Key_Return);
    ASSERT_TRUE(run_passes_until([&] { return current_page() != "osx_SetupLoginViewController"; }));

    EXPECT_EQ(current_page(), "osx_SetupAutomationViewController");
    const auto prompts = fakes_.alerts->alerts();
    ASSERT_EQ(prompts.size(), 2u);
    EXPECT_EQ(prompts[0].request.message, "Enter 2 factor authentication code:");
    EXPECT_EQ(prompts[0].request.informative_text, "");
    // The prompt after a refused code says what the service made of it.
    EXPECT_EQ(prompts[1].request.message, "Enter 2 factor authentication code:");
    EXPECT_EQ(prompts[1].request.informative_text, "That code was not right. Try again.");
    EXPECT_EQ(config::instance().get_account_key(), L"AK-2fa-c04d7e19a2b54f86b3d1");
    EXPECT_EQ(sign_in_requests(), 3);  // without a code, with the wrong one, with the right one
    EXPECT_TRUE(page.passwordField->text().isEmpty());
    EXPECT_EQ(controller_->password(), L"");
    EXPECT_FALSE(page.activateButton->isHidden());
    // The page is left: later status texts no longer reach it.
    const QString shown = page.statusLabel->text();
    bridge_->set_status_message(L"a later status text");
    serve();
    EXPECT_EQ(page.statusLabel->text(), shown);

    const std::wstring log = debug_log_read();
    for (const std::wstring& secret : {second_password, second_code}) {
        EXPECT_EQ(log.find(secret), std::wstring::npos) << util::wstring_to_utf8(secret);
    }
}

TEST_F(SetupSignInTest, ASignInWhoseCheckAfterwardsFailsStaysOnThePageWithTheFailure) {
    // The service accepts the sign-in, then fails every check of the new
    // account (the loop's status step may check before the sign-in does).
    service_->script("/activate", {{"status", 500}, {"after", 1}}, 0);
    osx_SetupLoginViewController& page = sign_in_page();
    type(page.emailField, demo_email);
    type(page.passwordField, demo_password);
    QTest::mouseClick(page.activateButton, Qt::LeftButton);
    ASSERT_TRUE(let_the_sign_in_end(page, QString::fromStdWString(get_text(L"status_error_invalid_response"))))
        << page.statusLabel->text().toStdString();
    EXPECT_EQ(current_page(), "osx_SetupLoginViewController");
    EXPECT_TRUE(page.activateButton->isVisible());
    EXPECT_FALSE(controller_->isActivated());
    EXPECT_GE(service_->requests("/activate").size(), 2u);
}

TEST_F(SetupSignInTest, ADoubleClickSendsOneRequest) {
    // The service takes its time, as a slow network does.
    service_->script("/activate", {{"delay", 0.6}});
    osx_SetupLoginViewController& page = sign_in_page();
    type(page.emailField, demo_email);
    type(page.passwordField, demo_password);
    QTest::mouseDClick(page.activateButton, Qt::LeftButton);
    // Return in the field and a click from code while it runs, too.
    QTest::keyClick(page.passwordField, Qt::Key_Return);
    page.activate();
    ASSERT_TRUE(run_loop_until([&] { return current_page() != "osx_SetupLoginViewController"; }, 20'000));
    EXPECT_EQ(sign_in_requests(), 1);
    EXPECT_EQ(config::instance().get_account_key(), L"AK-demo-7f3c9e21b8d44a0f9c5e");
    EXPECT_TRUE(was_logged(L"[osx_SetupLoginViewController:activate] A sign-in is running; the click is ignored."));
}

TEST_F(SetupSignInTest, ASignInThatEndsAfterItsWizardIsGoneTouchesNothing) {
    launch();
    service_->script("/activate", {{"delay", 0.8}});
    {
        // A wizard of its own, gone before the sign-in ends.
        osx_SetupWindowController wizard({*bridge_, *controller_});
        wizard.showWindow();
        osx_SetupLoginViewController& page = *wizard.loginVC();
        type(page.emailField, demo_email);
        type(page.passwordField, demo_password);
        page.activate();
        ASSERT_TRUE(bridge_->is_signing_in());
    }
    ASSERT_TRUE(run_loop_until([&] { return !bridge_->is_signing_in(); }, 20'000));
    // Its completion reaches the main queue and finds no page.
    QElapsedTimer drain;
    drain.start();
    run_loop_until([&] { return drain.elapsed() > 300; });
    EXPECT_EQ(config::instance().get_account_key(), L"AK-demo-7f3c9e21b8d44a0f9c5e");
    EXPECT_EQ(sign_in_requests(), 1);
}

}  // namespace
}  // namespace kes::testing

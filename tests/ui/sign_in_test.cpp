// Sign-in against the service stand-in: its failures as the service words
// them, the second-factor round trip, Cancel, one sign-in at a time, the
// keys in kestreld.json as python reads them, and no secret in the debug log
// as grep finds it.
#include "core/foundation/text_table.h"
#include "tests/ui/standin_ui_fixture.h"

#include <algorithm>
#include <chrono>
#include <future>

namespace kes {
namespace {

using result = ui::sign_in_result;

using namespace testing::standin_accounts;

class SignInTest : public testing::StandinUiTest {
protected:
    json activations() const { return service_->requests("/activate"); }
    // The sign-in requests (silent re-activations carry no password).
    std::vector<json> sign_in_requests() const {
        std::vector<json> chosen;
        for (const json& entry : activations()) {
            if (field(entry, "password") != "<absent>") chosen.push_back(entry);
        }
        return chosen;
    }
    int post_activations() const {
        const auto calls = ui_.calls();
        return static_cast<int>(std::count(calls.begin(), calls.end(), L"set_state_post_activate"));
    }

    void SetUp() override {
        StandinUiTest::SetUp();
        ui_.answer_computer(L"Brand-X", L"Model-Y", L"Debian 12");
    }
};

TEST_F(SignInTest, EmptyInputsEndWithTheirOwnTextAndAskNothing) {
    ui_.answer_sign_in(L"", L"");
    EXPECT_EQ(ui_.sign_in(), result::failed);
    EXPECT_EQ(status(), L"Missing or bad email");  // only the e-mail's text when both are missing
    EXPECT_EQ(severity(), 4);

    ui_.answer_sign_in(demo_email, L"");
    EXPECT_EQ(ui_.sign_in(), result::failed);
    EXPECT_EQ(status(), L"Missing or invalid password");
    EXPECT_EQ(severity(), 4);
    EXPECT_TRUE(activations().empty());
    EXPECT_EQ(post_activations(), 0);
}

TEST_F(SignInTest, AWrongPasswordShowsTheServicesOwnWords) {
    ui_.answer_sign_in(demo_email, L"not-the-password");
    EXPECT_EQ(ui_.sign_in(), result::failed);
    EXPECT_EQ(status(), L"Wrong e-mail address or password.");
    EXPECT_EQ(severity(), 4);
    EXPECT_EQ(settings().get_account_key(), L"");
    EXPECT_EQ(post_activations(), 0);
    EXPECT_EQ(ui_.two_factor_prompts(), 0);
}

TEST_F(SignInTest, ASignInStoresBothKeysAndSendsTheComputerFields) {
    ui_.answer_sign_in(demo_email, demo_password);
    EXPECT_EQ(ui_.sign_in(), result::signed_in);
    EXPECT_EQ(settings().get_account_key(), demo_account_key);
    EXPECT_EQ(settings().get_data_key(), demo_data_key);
    EXPECT_TRUE(settings().is_authenticated());
    EXPECT_EQ(post_activations(), 1);
    EXPECT_EQ(status(), get_text(L"status_message_activation_success"));

    const auto sent = sign_in_requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(field(sent[0], "username"), "demo@kestrel.test");
    EXPECT_EQ(field(sent[0], "two_factor_auth_code"), "<absent>");
    EXPECT_EQ(field(sent[0], "computer[brand]"), "Brand-X");
    EXPECT_EQ(field(sent[0], "computer[make]"), "Model-Y");
    EXPECT_EQ(field(sent[0], "computer[model]"), "Model-Y");
    EXPECT_EQ(field(sent[0], "computer[platform_version]"), "Debian 12");
    // The settings were pulled once under the new key.
    const json pulls = service_->requests("/config");
    ASSERT_EQ(pulls.size(), 1u);
    EXPECT_EQ(field(pulls[0], "account_key"), util::wstring_to_utf8(demo_account_key));
}

TEST_F(SignInTest, TheSecondFactorIsAskedForAndTheKeysReachTheSettingsFileAndNeverTheLog) {
    ui_.answer_sign_in(second_email, second_password);
    ui_.answer_two_factor_codes({second_code});
    EXPECT_EQ(ui_.sign_in(), result::signed_in);
    EXPECT_EQ(ui_.two_factor_prompts(), 1);
    EXPECT_EQ(post_activations(), 1);
    const auto sent = sign_in_requests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(field(sent[0], "two_factor_auth_code"), "<absent>");
    EXPECT_EQ(field(sent[1], "two_factor_auth_code"), "731946");
    // The code served this sign-in only.
    EXPECT_EQ(settings().get_two_factor_code(), L"");

    const std::string settings_file = system::create()->get_config_json_path();
    const auto read = testing::run_program(
        {"/usr/bin/python3", "-c",
         "import json, sys\n"
         "saved = json.load(open(sys.argv[1], encoding='utf-8'))\n"
         "print(saved['account_key'])\nprint(saved['data_key'])\n",
         settings_file});
    ASSERT_EQ(read.exit_code, 0);
    EXPECT_EQ(read.output,
              util::wstring_to_utf8(second_account_key) + "\n" + util::wstring_to_utf8(second_data_key) + "\n");

    for (const std::wstring& secret : {second_password, second_code, second_account_key, second_data_key}) {
        EXPECT_FALSE(log_holds(secret)) << util::wstring_to_utf8(secret);
    }
    // The log still tells what happened, with the keys shortened.
    EXPECT_TRUE(log_holds(L"[ui:on_activate_thread] Caught Kestrel::Network::TwoFactorRequired"));
    EXPECT_TRUE(log_holds(L"[ui:on_activate] 2fa code = [redacted]"));
    EXPECT_TRUE(log_holds(L"[ui:on_activate] account_key = ****b3d1"));
}

TEST_F(SignInTest, SecretsTheServiceOrAnExceptionRepeatsStayOutOfTheLogAndTheStatusLine) {
    const std::string echoed = "No account for demo@kestrel.test with demo-Password-4711.";
    service_->script("/activate", {{"result_code", {1, "BAD_LOGIN"}}, {"error", echoed}});
    ui_.answer_sign_in(demo_email, demo_password);
    EXPECT_EQ(ui_.sign_in(), result::failed);
    EXPECT_EQ(status(), L"No account for demo@kestrel.test with [redacted].");

    // A second factor the service repeats back in its refusal.
    service_->script("/activate", {{"result_code", {5, "2FA_REQUIRED"}}, {"message", "Enter the code."}});
    service_->script("/activate", {{"result_code", {1, "2FA_BAD"}}, {"error", "Code 731946 is wrong."}});
    ui_.answer_sign_in(second_email, second_password);
    ui_.answer_two_factor_codes({second_code});
    EXPECT_EQ(ui_.sign_in(), result::failed);
    EXPECT_EQ(status(), L"Code [redacted] is wrong.");
    // And once the sign-in is over, the status line logged later holds them no more.
    ui_.update_status_text();

    for (const std::wstring& secret : {demo_password, second_password, second_code}) {
        EXPECT_FALSE(log_holds(secret)) << util::wstring_to_utf8(secret);
    }
}

TEST_F(SignInTest, CancellingTheSecondFactorPromptEndsTheSignIn) {
    ui_.answer_sign_in(second_email, second_password);
    ui_.answer_two_factor_codes({});  // Cancel
    EXPECT_EQ(ui_.sign_in(), result::cancelled);
    EXPECT_EQ(ui_.two_factor_prompts(), 1);
    EXPECT_EQ(sign_in_requests().size(), 1u);
    EXPECT_EQ(status(), get_text(L"status_message_activation_incomplete"));
    EXPECT_EQ(settings().get_account_key(), L"");
    EXPECT_EQ(settings().get_two_factor_code(), L"");
    EXPECT_EQ(post_activations(), 0);
}

TEST_F(SignInTest, ACodeTheServiceKeepsRefusingIsAskedForFiveTimesAtMostWithItsWordsAndThenTheEnd) {
    ui_.answer_sign_in(second_email, second_password);
    ui_.answer_two_factor_codes({L"111111", L"222222", L"333333", L"444444", L"555555", L"666666"});
    EXPECT_EQ(ui_.sign_in(), result::failed);
    EXPECT_EQ(ui_.two_factor_prompts(), 5);
    EXPECT_EQ(sign_in_requests().size(), 6u);
    // The first prompt asks; each later one says why the last code failed.
    std::vector<std::wstring> prompts;
    for (const auto& call : ui_.calls()) {
        if (call.rfind(L"ask_two_factor_code", 0) == 0) prompts.push_back(call);
    }
    EXPECT_EQ(prompts, (std::vector<std::wstring>{
                           L"ask_two_factor_code", L"ask_two_factor_code: That code was not right. Try again.",
                           L"ask_two_factor_code: That code was not right. Try again.",
                           L"ask_two_factor_code: That code was not right. Try again.",
                           L"ask_two_factor_code: That code was not right. Try again."}));
    // No further try comes: the status says the sign-in is over.
    EXPECT_EQ(status(), get_text(L"status_message_activation_two_factor_ended"));
    EXPECT_EQ(severity(), 4);
    EXPECT_EQ(post_activations(), 0);
}

TEST_F(SignInTest, ASignInWhoseCheckAfterwardsFailsIsAFailureWithItsText) {
    // The sign-in itself is accepted; the check of the new account that
    // follows gets a server error.
    service_->script("/activate", {{"status", 500}, {"after", 1}});
    ui_.answer_sign_in(demo_email, demo_password);
    EXPECT_EQ(ui_.sign_in(), result::failed);
    EXPECT_EQ(activations().size(), 2u);  // nothing else checks the account here
    EXPECT_EQ(severity(), 4);
    EXPECT_NE(status(), get_text(L"status_message_activation_finishing"));
    EXPECT_NE(status(), get_text(L"status_message_activation_success"));
    EXPECT_FALSE(status().empty());
    EXPECT_EQ(post_activations(), 0);
    EXPECT_FALSE(settings().is_authenticated());
    EXPECT_EQ(settings().get_account_key(), L"") << "the keys of an account nobody confirmed are not kept";

    // The next sign-in, with the service well again, holds.
    EXPECT_EQ(ui_.sign_in(), result::signed_in);
    EXPECT_TRUE(settings().is_authenticated());
    EXPECT_EQ(post_activations(), 1);
}

TEST_F(SignInTest, AFailedAttemptNeverSetsThePostActivationStateEvenWhenAlreadyActivated) {
    settings().set_account_key(demo_account_key);
    ASSERT_TRUE(settings().is_authenticated());
    ui_.answer_sign_in(demo_email, L"wrong");
    EXPECT_EQ(ui_.sign_in(), result::failed);
    EXPECT_EQ(post_activations(), 0);
}

TEST_F(SignInTest, AfterTheServiceRefusedTheOldKeyASignInActivatesTheNewOne) {
    settings().set_account_key(L"AK-revoked-000000000000000");
    EXPECT_FALSE(settings().is_authenticated());  // the key is refused and cleared
    ASSERT_EQ(settings().get_account_key(), L"");
    ui_.answer_sign_in(demo_email, demo_password);
    EXPECT_EQ(ui_.sign_in(), result::signed_in);
    EXPECT_TRUE(settings().is_authenticated());
    EXPECT_EQ(post_activations(), 1);
}

TEST_F(SignInTest, ADoubleStartMakesOneRequest) {
    ui_.answer_sign_in(demo_email, demo_password);
    ui_.hold_sign_in();
    std::promise<result> finished;
    ASSERT_TRUE(ui_.start_sign_in([&](result outcome) { finished.set_value(outcome); }));
    ASSERT_TRUE(ui_.wait_until_sign_in_held());
    EXPECT_TRUE(ui_.is_signing_in());
    EXPECT_FALSE(ui_.start_sign_in());                  // the second click
    EXPECT_EQ(ui_.sign_in(), result::busy);             // or a thread of the window's own
    ui_.release_sign_in();
    auto outcome = finished.get_future();
    ASSERT_EQ(outcome.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(outcome.get(), result::signed_in);
    EXPECT_EQ(sign_in_requests().size(), 1u);
    EXPECT_EQ(post_activations(), 1);

    // Once it has ended, the next one may start.
    ui_.answer_sign_in(demo_email, L"wrong");
    std::promise<result> again;
    ASSERT_TRUE(ui_.start_sign_in([&](result second) { again.set_value(second); }));
    auto second = again.get_future();
    ASSERT_EQ(second.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(second.get(), result::failed);
}

TEST_F(SignInTest, ClosingTheUiEndsAWaitingSignInWithoutARequest) {
    ui_.answer_sign_in(demo_email, demo_password);
    ui_.hold_sign_in();
    std::promise<result> finished;
    ASSERT_TRUE(ui_.start_sign_in([&](result outcome) { finished.set_value(outcome); }));
    ASSERT_TRUE(ui_.wait_until_sign_in_held());
    ui_.close_sign_in();
    ui_.release_sign_in();
    auto outcome = finished.get_future();
    ASSERT_EQ(outcome.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(outcome.get(), result::cancelled);
    ui_.finish_sign_in();
    EXPECT_TRUE(activations().empty());
    EXPECT_EQ(post_activations(), 0);
    EXPECT_FALSE(ui_.start_sign_in());
}

TEST_F(SignInTest, TheSilentReCheckReportsWhatTheServiceSays) {
    settings().set_account_key(demo_account_key);
    ui_.on_verify();
    EXPECT_EQ(status(), L"Verification successful!");
    EXPECT_EQ(severity(), 1);
    settings().set_account_key(L"AK-unknown-00000000000000");
    ui_.on_verify();
    EXPECT_EQ(status(), get_text(L"status_error_invalid_response"));
    EXPECT_EQ(severity(), 4);
}

}  // namespace
}  // namespace kes

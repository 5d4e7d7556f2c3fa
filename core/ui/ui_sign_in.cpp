// Sign-in: an e-mail and password (and a second-factor code when the service
// asks for one) become the account key, on a thread of its own.
#include "core/ui/ui.h"

#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/log_secrets.h"
#include "core/foundation/text.h"
#include "core/service/api.h"
#include "core/service/network_errors.h"
#include "core/service/puller.h"
#include "core/service/redaction.h"
#include "core/service/request.h"
#include "core/foundation/text_table.h"

#include <optional>
#include <system_error>

namespace kes {
namespace {

// A code the service keeps refusing is not asked for without end.
constexpr int max_two_factor_prompts = 5;

void set_status(config& settings, const wchar_t* key, int severity) {
    settings.set_status_message(get_text(key), severity);
}

}  // namespace

bool ui::start_sign_in(sign_in_done on_done) {
    std::lock_guard<std::mutex> lock(sign_in_thread_mutex_);
    if (sign_in_closing_.load()) return false;
    if (sign_in_running_.exchange(true)) {
        log(L"[ui::start_sign_in] A sign-in is already running; no second one is started.", log_level::ui);
        return false;
    }
    // The thread of the last sign-in has ended its work, or is about to.
    if (sign_in_thread_.joinable()) sign_in_thread_.join();
    try {
        sign_in_thread_ = std::thread([this, done = std::move(on_done)] { run_sign_in_thread(done); });
    } catch (const std::system_error& e) {
        sign_in_running_.store(false);
        log(L"[ui::start_sign_in] No thread for the sign-in: " + util::utf8_to_wstring_lossy(e.what()),
            log_level::error);
        return false;
    }
    return true;
}

void ui::run_sign_in_thread(const sign_in_done& done) {
    sign_in_result result = sign_in_result::failed;
    try {
        result = sign_in();
    } catch (...) {
        // `sign_in` reports its own failures; nothing may end the process here.
        log(L"[ui::start_sign_in] Caught unknown exception!", log_level::error);
    }
    sign_in_running_.store(false);
    if (!done) return;
    try {
        done(result);
    } catch (...) {
        log(L"[ui::start_sign_in] Caught unknown exception from the completion!", log_level::error);
    }
}

void ui::close_sign_in() { sign_in_closing_.store(true); }

void ui::finish_sign_in() {
    close_sign_in();
    std::lock_guard<std::mutex> lock(sign_in_thread_mutex_);
    if (sign_in_thread_.joinable()) sign_in_thread_.join();
}

void ui::on_activate_thread_entry(ui* target) {
    if (target != nullptr) target->on_activate_thread();
}

void ui::on_activate_thread() { sign_in(); }

ui::sign_in_result ui::sign_in() {
    std::unique_lock<std::mutex> one_at_a_time(sign_in_mutex_, std::try_to_lock);
    if (!one_at_a_time.owns_lock()) {
        log(L"[ui::on_activate_thread] A sign-in is already running; this one does nothing.", log_level::ui);
        return sign_in_result::busy;
    }
    const std::wstring email = get_username();
    const std::wstring password = get_password();
    // Whatever the service or an exception says back, the password, the
    // codes and the keys of this sign-in never reach the log.
    secrets hidden;
    hidden.push_back(std::make_unique<secret_in_use>(password));
    // A code entered for an earlier sign-in is never sent again.
    configuration_->set_two_factor_code(L"");
    sign_in_result result = sign_in_result::failed;
    try {
        result = sign_in_locked(email, password, hidden);
    } catch (const std::exception& e) {
        log(L"[ui::on_activate_thread] Caught std::exception: " + util::utf8_to_wstring_lossy(e.what()),
            log_level::error);
        set_status(*configuration_, L"status_error_unhandled_error", 4);
    } catch (...) {
        log(L"[ui::on_activate_thread] Caught unknown exception!", log_level::error);
        set_status(*configuration_, L"status_error_unhandled_error", 4);
    }
    configuration_->set_two_factor_code(L"");
    return result;
}

ui::sign_in_result ui::sign_in_locked(const std::wstring& email, const std::wstring& password, secrets& hidden) {
    // The service's own words go to the status line without any secret in them.
    const auto show_failure = [&](const std::wstring& message) {
        configuration_->set_status_message(without_secrets(message), 4);
    };

    int prompts = 0;
    std::wstring refusal;  // the service's word on the code entered last
    std::optional<Kestrel::Network::activation_result> activated;
    while (!activated) {
        if (sign_in_closing_.load()) return sign_in_result::cancelled;  // the UI is going away
        log(L"[ui::on_activate_thread]start ", log_level::ui);
        set_status(*configuration_, L"status_message_activating", 0);
        if (email.empty()) {
            set_status(*configuration_, L"status_message_activation_invalid_email", 4);
            return sign_in_result::failed;
        }
        if (password.empty()) {
            set_status(*configuration_, L"status_message_activation_invalid_password", 4);
            return sign_in_result::failed;
        }
        set_status(*configuration_, L"status_message_activating", 0);
        try {
            activated = service_client_.activate(email, password, configuration_->get_two_factor_code());
        } catch (const Kestrel::Network::TwoFactorRequired& e) {
            log(L"[ui:on_activate_thread] Caught Kestrel::Network::TwoFactorRequired", log_level::caught_service);
            if (prompts == max_two_factor_prompts) {
                log(L"[ui:on_activate_thread] The second-factor code was refused " +
                        std::to_wstring(max_two_factor_prompts) + L" times; the sign-in ends.",
                    log_level::ui);
                // The service's words ask for another try, which no longer comes.
                set_status(*configuration_, L"status_message_activation_two_factor_ended", 4);
                return sign_in_result::failed;
            }
            if (prompts > 0) refusal = without_secrets(e.message);
            ++prompts;
            const std::wstring code = sign_in_closing_.load() ? std::wstring() : ask_two_factor_code(refusal);
            hidden.push_back(std::make_unique<secret_in_use>(code));
            configuration_->set_two_factor_code(code);
            log(L"[ui:on_activate] 2fa code = " + std::wstring(code.empty() ? L"" : redacted_text), log_level::ui);
            if (code.empty() || sign_in_closing_.load()) {
                log(L"[ui:on_activate_thread] The second-factor prompt was cancelled; the sign-in ends.",
                    log_level::ui);
                set_status(*configuration_, L"status_message_activation_incomplete", 0);
                return sign_in_result::cancelled;
            }
        } catch (const Kestrel::Network::Exception& e) {
            log(L"[ui:on_activate_thread] Caught Kestrel::Network::Exception", log_level::caught_service);
            show_failure(e.message);
            return sign_in_result::failed;
        }
    }

    hidden.push_back(std::make_unique<secret_in_use>(activated->account_key));
    hidden.push_back(std::make_unique<secret_in_use>(activated->data_key));
    set_status(*configuration_, L"status_message_activation_finishing", 1);
    store_activation(activated->account_key, activated->data_key);
    try {
        make_puller()->pull_config();
    } catch (const std::exception& e) {
        // The keys are stored: the sign-in stands, the daemon's puller tries again.
        log(L"[ui::on_activate_thread] Pulling the settings failed: " + util::utf8_to_wstring_lossy(e.what()),
            log_level::error);
    }

    // The account just changed: the store asks the service about it afresh.
    // Only an account the service confirms is signed in; the store has put
    // the check's failure on the status line.
    if (!configuration_->confirm_authentication()) {
        log(L"[ui::on_activate_thread] The service did not confirm the new account; the sign-in has failed.",
            log_level::ui_error);
        withdraw_activation();
        if (configuration_->get_status_severity() != 4) set_status(*configuration_, L"status_error_invalid_response", 4);
        return sign_in_result::failed;
    }
    if (sign_in_closing_.load()) return sign_in_result::signed_in;
    activation_prompt_shown_.store(false);
    set_state_post_activate();
    return sign_in_result::signed_in;
}

void ui::store_activation(const std::wstring& account_key, const std::wstring& data_key) {
    log(L"[ui:on_activate] account_key = " + network::redact_key(account_key), log_level::ui_network);
    log(L"[ui:on_activate] data_key = " + network::redact_key(data_key), log_level::ui_network);
    configuration_->set_account_key(account_key);
    configuration_->set_data_key(data_key);
}

void ui::withdraw_activation() {
    // Keys the service did not confirm would leave the agent neither signed
    // in nor asking for a sign-in.
    configuration_->set_account_key(L"");
    configuration_->set_data_key(L"");
}

void ui::on_verify() {
    set_status(*configuration_, L"status_message_activation_verifying", 0);
    try {
        service_client_.activate_silent();
        set_status(*configuration_, L"status_message_activation_verifying_success", 1);
    } catch (const Kestrel::Network::Exception&) {
        log(L"[ui::on_verify] Caught Kestrel::Network::Exception", log_level::caught_service);
        set_status(*configuration_, L"status_error_invalid_response", 4);
    }
}

void ui::add_computer_params(network::request& activation) {
    activation.add_param(utf8("computer[brand]"), utf8(get_computer_brand()));
    activation.add_param(utf8("computer[make]"), utf8(get_computer_make()));
    activation.add_param(utf8("computer[model]"), utf8(get_computer_model()));
    activation.add_param(utf8("computer[platform_version]"), utf8(get_platform_version()));
}

}  // namespace kes

// Two loop steps of upkeep: the weekly (or requested) update check and the
// help window's diagnostic text.
#include "core/ui/ui.h"

#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "core/service/api.h"
#include "core/service/network_errors.h"
#include "core/ui/help_info.h"
#include "core/foundation/text_table.h"
#include "core/ui/update_check.h"

namespace kes {
namespace {

// The text is rebuilt on the pass after this many passes without a rebuild.
constexpr std::int32_t help_passes_between = 2;

}  // namespace

bool ui::check_for_updates(bool user_requested) {
    configuration_->set_update_check_requested(false);
    const boost::posix_time::ptime now = configuration_->local_now();
    if (!user_requested) {
        if (!configuration_->get_check_updates() || !is_update_check_due(configuration_->get_last_update_check(), now)) {
            return false;
        }
        // The service answers no one without an account: asking before the
        // sign-in only turns the status into an error.
        if (!configuration_->has_account_key()) return false;
        if (!update_check_retry_after_.is_special() && now < update_check_retry_after_) return false;
    }
    try {
        const Kestrel::Network::client_version answer = service_client_.get_released_client_version();
        // Only a check that got its answer counts as done.
        configuration_->set_last_update_check(now);
        update_check_retry_after_ = boost::posix_time::ptime();
        const client_version_numbers released{answer.major, answer.minor, answer.revision, answer.build};
        const std::wstring released_text = client_version_text(released);
        released_version_ = released_text;
        log(L"[ui:check_for_updates] current version = " + released_text, log_level::ui_network);

        const std::wstring running_text = configuration_->get_client_version();
        bool newer = false;
        if (running_text != released_text) {
            const std::optional<client_version_numbers> running = parse_client_version(running_text);
            if (running) {
                newer = is_newer_version(released, *running);
            } else {
                // Nothing can be said to be newer than a version we cannot read.
                log(L"[ui:check_for_updates] The running version \"" + running_text +
                        L"\" cannot be compared; no update is offered.",
                    log_level::warning);
            }
        }
        if (newer) {
            log(L"[ui:check_for_updates] Version " + released_text + L" is newer than the running " + running_text +
                    L".",
                log_level::ui_network);
            on_update_check_result(true);
        } else if (user_requested) {
            on_update_check_result(false);
        }
    } catch (const Kestrel::Network::Exception&) {
        log(L"[ui::check_for_updates] Caught Kestrel::Network::Exception", log_level::caught_service);
        configuration_->set_status_message(get_text(L"status_error_invalid_response"), 4);
        update_check_retry_after_ = now + boost::posix_time::seconds(update_check_retry_seconds);
        return false;
    }
    return true;
}

void ui::refresh_help_info() {
    if (help_passes_++ <= help_passes_between) return;
    help_passes_ = 0;
    try {
        write_help_info_text(read_help_facts(*configuration_, get_platform_version()), help_text_);
    } catch (const std::exception& e) {
        log(L"[ui:refresh_help_info] Caught std::exception: " + util::utf8_to_wstring_lossy(e.what()),
            log_level::error);
        help_text_ = L"Error setting help info";
    } catch (...) {
        log(L"[ui:refresh_help_info] Caught unknown exception!", log_level::error);
        help_text_ = L"Error setting help info";
    }
    set_help_info(help_text_);
}

}  // namespace kes

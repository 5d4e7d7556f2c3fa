#include "core/capture/scanner.h"

#include "core/capture/csv_text.h"
#include "core/capture/grabber.h"
#include "core/capture/logger.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/system.h"
#include "core/foundation/text.h"
#include "core/foundation/time_util.h"
#include "core/ui/ui.h"

#include <thread>

namespace kes {
namespace {

using boost::posix_time::seconds;

constexpr std::uint32_t error_retries = 10;

std::wstring what_of(const std::exception& e) { return util::utf8_to_wstring_lossy(e.what()); }

// A trace line with a value: passes ask twice a second, so it is built only
// while kept.
void trace(const wchar_t* head, const std::wstring& value) {
    if (log_enabled(log_level::debug)) log(head + util::escape_control_characters(value), log_level::debug);
}

}  // namespace

// One picture of the desktop per pass: the grabber and the platform answer
// the pass's repeated questions from what they read once, whichever way
// the pass ends.
class scanner::sampling_pass {
public:
    sampling_pass(kes::grabber& grabber, kes::system& platform, sampling_pass*& running)
        : grabber_(grabber), platform_(platform), running_(running) {
        running_ = this;
        begin();
    }
    ~sampling_pass() {
        end();
        running_ = nullptr;
    }
    sampling_pass(const sampling_pass&) = delete;
    sampling_pass& operator=(const sampling_pass&) = delete;

    // After the scanner slept inside the pass, the picture is taken again.
    void restart() {
        end();
        begin();
    }

private:
    void begin() {
        grabber_.begin_pass();
        platform_.begin_pass();
    }
    void end() {
        platform_.end_pass();
        grabber_.end_pass();
    }

    kes::grabber& grabber_;
    kes::system& platform_;
    sampling_pass*& running_;
};

scanner::scanner() : scanner(seams{}) {}

scanner::scanner(seams with) : config_(&config::instance()) {
    record_sink_ = with.record_sink ? std::move(with.record_sink)
                                    : [log = &logger::get_instance()](const log_entry&, const std::string& row) {
                                          log->log_row(row);
                                      };
    grabber_ = with.grabber ? std::move(with.grabber) : grabber::create();
    system_ = with.platform_system ? std::move(with.platform_system) : system::create();
    clock_ = with.clock ? std::move(with.clock) : &util::local_now_seconds;
    sleep_ = with.sleep ? std::move(with.sleep) : [](std::chrono::seconds span) { std::this_thread::sleep_for(span); };
    user_interface_ = with.user_interface ? std::move(with.user_interface) : &ui::get_instance;
    log(L"[scanner]ctor", log_level::ctor);
    config_->set_os_username(grabber_->get_os_username());
    config_->set_computer_name(grabber_->get_computer_name());
    config_->set_client_version(grabber_->get_process_version(true));
    config_->set_current_application_name(L"");
    config_->set_current_application_version(L"");
    config_->set_current_window_title(L"");
    config_->set_current_extended_info(L"");
}

scanner::~scanner() { log(L"[scanner]dtor", log_level::ctor); }

bool scanner::is_clock_skewed() const {
    if (last_scan_time_.is_not_a_date_time()) return false;
    const auto gap = clock_() - last_scan_time_;
    return gap > seconds(30) || gap.is_negative();
}

bool scanner::has_open_record() const { return !current_entry_.get_process_name().empty(); }

bool scanner::process_id_changed(const std::wstring& process_id) {
    return grabber_->get_active_process_id() != process_id;
}

std::wstring scanner::application_name_of(const std::wstring& lower_process_name) {
    const auto dot = lower_process_name.rfind(L'.');
    if (dot == std::wstring::npos) return lower_process_name;
    const std::wstring suffix = lower_process_name.substr(dot + 1);
    return suffix == L"exe" || suffix == L"app" ? lower_process_name.substr(0, dot) : lower_process_name;
}

std::wstring scanner::fixed_title(const std::wstring& application_name) {
    if (application_name == L"kestrel") return L"Kestrel";
    if (application_name == L"baretail") return L"BareTail";
    return {};
}

void scanner::scan() {
    sampling_pass pass(*grabber_, *system_, pass_);
    now_ = clock_();
    if (is_clock_skewed()) {
        log(L"[scanner:scan] System clock skewed, completing record.", log_level::info);
        complete_record(true);
    }
    last_scan_time_ = now_;

    if (has_open_record()) {
        current_entry_.set_completed(now_);
        if (config_->get_partial_scanning_enabled() && system_->get_idle_time() < 1.0 &&
            current_entry_.get_completed() - current_entry_.get_started() >=
                seconds(config_->get_scan_partial_split_interval())) {
            complete_record(false);
        }
    }

    const bool keep_idle = config_->get_in_idle_activity() &&
                           static_cast<double>(config_->get_idle_activity_max_away()) > system_->get_idle_time();
    const bool display_on = system_->is_display_on();
    const bool turned_on = display_on && !display_was_on_;
    display_was_on_ = display_on;

    if (!start_pending_) {
        if (!config_->is_logging_allowed_now() || focus_changed()) {
            complete_record(true);
        } else if (system_->is_idle() && (!keep_idle || !display_on)) {
            complete_record(true);
        }
    }

    // Besides a focus change, a display wake or a pending start, a record
    // also starts whenever none is open while the user is present and
    // logging is allowed: someone who comes back to the window they left
    // after an idle, paused or skewed completion is recorded again.
    bool start = false;
    if (config_->is_logging_allowed_now() && !system_->is_idle()) {
        if (!has_open_record()) {
            start = true;
        } else if (focus_changed()) {
            // The focus moved after the completion above looked: the open
            // record is what was in front until now, so it ends here rather
            // than being taken over, start and all, by what came.
            if (!start_pending_) complete_record(true);
            start = true;
        } else {
            start = turned_on;
        }
    }
    if (start || turned_on || start_pending_) start_record();
    publish_open_record();
}

void scanner::publish_open_record() {
    const std::lock_guard<std::mutex> lock(exit_mutex_);
    if (!start_pending_ && has_open_record()) {
        open_at_last_pass_ = current_entry_;
    } else {
        open_at_last_pass_.reset();
    }
}

bool scanner::hand_over(const log_entry& record, const std::string& row) {
    const std::lock_guard<std::mutex> lock(exit_mutex_);
    if (ending_) return false;
    record_sink_(record, row);
    open_at_last_pass_.reset();
    return true;
}

void scanner::complete_open_record_at_exit() {
    std::optional<log_entry> open;
    {
        const std::lock_guard<std::mutex> lock(exit_mutex_);
        if (ending_) return;
        ending_ = true;
        open.swap(open_at_last_pass_);
    }
    if (!open) return;
    log(L"[scanner:complete_open_record_at_exit] completing the open record", log_level::info);
    try {
        // It ends where the last pass saw it; nothing else may be asked of a
        // desktop that is going away.
        if (open->get_completed().is_special() || open->get_completed() < open->get_started()) {
            open->set_completed(open->get_started());
        }
        if (const std::optional<std::string> row = valid_csv_row(*open)) {
            record_sink_(*open, *row);
            log(L"[scanner]" + loggable_row(util::utf8_to_wstring_lossy(*row)), log_level::info);
        }
    } catch (...) {
        log(L"[scanner:complete_open_record_at_exit] The open record could not be completed.", log_level::error);
    }
}

void scanner::complete_record(bool full) {
    if (has_open_record()) {
        const auto started = current_entry_.get_started();
        auto completed = current_entry_.get_completed();
        // The user left when idleness began, a threshold before it was seen;
        // the end never moves before the start.
        if (system_->is_idle()) completed -= seconds(config_->get_idle_time_start());
        if (!full) completed -= seconds(1);
        if (!started.is_special() && (completed.is_special() || completed < started)) completed = started;
        current_entry_.set_completed(completed);
        try {
            log(L"[scanner:complete_record] - start of utf8 validation", log_level::user2);
            if (const std::optional<std::string> row = valid_csv_row(current_entry_)) {
                if (hand_over(current_entry_, *row) && log_enabled(log_level::info))
                    log(L"[scanner]" + loggable_row(util::utf8_to_wstring_lossy(*row)), log_level::info);
            } else {
                log(L"[scanner] Dropping activity due to utf8 issues.", log_level::record_dropped);
            }
        } catch (const std::exception& e) {
            log(L"[scanner::complete_record] Caught std::exception: " + what_of(e) + L"... _log_entry info:",
                log_level::error);
            log(L"    window_title: " + util::escape_control_characters(current_entry_.get_window_title()),
                log_level::error);
            log(L"    process_name: " + util::escape_control_characters(current_entry_.get_process_name()),
                log_level::error);
            log(L"  this entry has been thrown away to protect the integrity of the remaining data.",
                log_level::error);
        } catch (...) {
            log(L"[scanner::complete_record] Caught unknown exception: on _log_entry info:", log_level::error);
            log(L"    window_title: " + util::escape_control_characters(current_entry_.get_window_title()),
                log_level::error);
            log(L"    process_name: " + util::escape_control_characters(current_entry_.get_process_name()),
                log_level::error);
            log(L"  this entry has been thrown away to protect the integrity of the remaining data.",
                log_level::error);
        }
    }
    if (full) {
        current_entry_.clear();
    } else {
        const auto rest_starts = current_entry_.get_completed();
        current_entry_.set_started(rest_starts);
        current_entry_.set_completed(rest_starts + seconds(1));
    }
}

void scanner::complete_open_record_at_end() {
    if (start_pending_ || !has_open_record()) return;
    log(L"[scanner:complete_open_record_at_end] completing the open record", log_level::info);
    complete_record(true);
}

void scanner::start_record() {
    while (!try_start_record()) {
    }
}

bool scanner::try_start_record() {
    log(L"[scanner]Start Record", log_level::debug);
    start_pending_ = true;
    if (current_entry_.get_started().is_not_a_date_time()) {
        const ptime start = now_.is_not_a_date_time() ? clock_() : now_;
        current_entry_.set_started(start);
        // A record is at least the instant it began, so a completion before
        // the next pass never writes an end of not-a-date-time.
        current_entry_.set_completed(start);
    }

    try {
        last_process_id_ = grabber_->get_active_process_id();
    } catch (const std::exception& e) {
        log(L"[scanner:start_record] Caught std::exception grabbing process_id: " + what_of(e), log_level::error);
        return true;
    } catch (...) {
        log(L"[scanner:start_record] Caught unkown exception grabbing process_id!", log_level::error);
        return true;
    }
    trace(L"[scanner]Process id = ", last_process_id_);

    std::wstring name;
    try {
        name = grabber_->get_process_name();
    } catch (const std::exception& e) {
        log(L"[scanner:start_record] Caught std::exception grabbing process_name: " + what_of(e),
            log_level::error);
        return true;
    } catch (...) {
        log(L"[scanner:start_record] Caught unknown exception grabbing process_name!", log_level::error);
        return true;
    }
    trace(L"[scanner]Process name = ", name);
    const std::wstring lower = util::to_lower(name);
    current_entry_.set_process_name(lower);
    config_->set_current_application_name(lower);
    application_name_ = application_name_of(lower);
    current_entry_.set_application_name(application_name_);
    if (lower == L"<unknown>" || lower.empty()) {
        // Nothing is in front (bare desktop, screen lock): no record begins,
        // so that time is not counted to whatever comes to the front next.
        current_entry_.clear();
        return true;
    }

    if (kes::ui* user_interface = user_interface_()) {
        if (grabber_->is_application_blocked(application_name_)) {
            user_interface->on_blocked_item_focused(application_name_);
        } else {
            user_interface->on_unblocked_item_focused(application_name_);
        }
    }
    if (process_id_changed(last_process_id_)) return false;

    const std::wstring fixed = fixed_title(application_name_);
    if (!fixed.empty()) {
        last_window_title_ = fixed;
        trace(L"[scanner]Window title = ", last_window_title_);
    } else {
        try {
            const std::wstring title = grabber_->get_window_title();
            grabber_->unblock_by_window_title(title);
            last_window_title_ = title;
            trace(L"[scanner]Window title = ", last_window_title_);
        } catch (const std::exception& e) {
            log(L"[scanner:start_record] Caught std::exception grabbing window_title: " + what_of(e),
                log_level::error);
        } catch (...) {
            log(L"[scanner:start_record] Caught unknown exception grabbing window_title", log_level::error);
        }
    }
    if (config_->get_window_titles_enabled()) {
        current_entry_.set_window_title(last_window_title_);
        config_->set_current_window_title(last_window_title_);
    } else {
        current_entry_.set_window_title(L"");
    }
    if (process_id_changed(last_process_id_)) return false;

    const std::wstring version = grabber_->get_process_version(false);
    current_entry_.set_process_version(version);
    config_->set_current_application_version(version);
    if (process_id_changed(last_process_id_)) return false;

    const std::wstring computer = grabber_->get_computer_name();
    current_entry_.set_computer_name(computer);
    config_->set_computer_name(computer);
    if (process_id_changed(last_process_id_)) return false;

    const std::wstring user = grabber_->get_os_username();
    current_entry_.set_os_username(user);
    config_->set_os_username(user);
    current_entry_.set_process_hash(L"");
    if (process_id_changed(last_process_id_)) return false;

    const std::wstring extended = log_entry::kept_extended_info(grabber_->get_extended_info());
    last_extended_info_ = extended;
    if (extended == L"ERROR") {
        if (error_retry_count_ < error_retries) {
            ++error_retry_count_;
            sleep_(std::chrono::seconds(1));
            if (pass_) pass_->restart();
            return false;
        }
    } else {
        current_entry_.set_extended_info(extended);
        config_->set_current_extended_info(extended);
    }

    update_idle_activity();
    start_pending_ = false;
    return true;
}

void scanner::update_idle_activity() {
    const std::wstring name = config_->get_current_application_name();
    const std::wstring extended = config_->get_current_extended_info();
    const std::wstring title = config_->get_current_window_title();
    bool in_idle_activity = false;
    for (const std::wstring& activity : config_->get_idle_activities()) {
        if (name.find(activity) != std::wstring::npos || extended.find(activity) != std::wstring::npos ||
            title.find(activity) != std::wstring::npos) {
            in_idle_activity = true;
            break;
        }
    }
    config_->set_in_idle_activity(in_idle_activity);
}

std::wstring scanner::title_to_compare() {
    const std::wstring fixed = fixed_title(application_name_);
    return fixed.empty() ? grabber_->get_window_title() : fixed;
}

bool scanner::focus_changed() {
    if (grabber_->get_active_process_id() != last_process_id_) {
        log(L"[scanner]process_id has changed, focus has changed", log_level::debug);
        return true;
    }
    if (last_extended_info_ == L"ERROR") {
        log(L"[scanner]previous extended info was ERROR, rescan", log_level::debug);
        return true;
    }
    trace(L"[scanner]current_application_name = ", application_name_);
    if (title_to_compare() == last_window_title_) {
        log(L"[scanner]process_id and window title are the same, focus has not changed", log_level::debug);
        return false;
    }
    log(L"[scanner]window titles are not similar, focus has changed", log_level::debug);
    return true;
}

}  // namespace kes

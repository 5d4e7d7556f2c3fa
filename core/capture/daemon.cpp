#include "core/capture/daemon.h"

#include "core/capture/scanner.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "core/foundation/thread_name.h"
#include "core/foundation/time_util.h"
#include "core/service/puller.h"
#include "core/service/pusher.h"
#include "core/service/transfer_stop.h"
#include "core/foundation/text_table.h"
#include "core/ui/ui.h"

#include <curl/curl.h>

#include <algorithm>
#include <mutex>
#include <map>
#include <sstream>
#include <system_error>

namespace kes {
namespace {

// The UI slot of the running daemon; the UI thread sleeps on it.
std::mutex ui_slot_guard;
daemon* ui_slot_owner = nullptr;

// The browser-support table is pulled again once it is more than six hours old.
constexpr auto browser_support_max_age = std::chrono::seconds(21601);

void log_start(const wchar_t* start_line, const wchar_t* thread_line) {
    log(start_line, log_level::info);
    log(std::wstring(thread_line) + daemon::current_thread_id_text(), log_level::info);
}

}  // namespace

std::wstring daemon::current_thread_id_text() {
    std::ostringstream out;
    out << std::hex << "0x" << std::this_thread::get_id();
    return util::widen(out.str());
}

daemon_workers daemon::make_default_workers() {
    daemon_workers workers;
    workers.scanner = std::make_unique<kes::scanner>();
    workers.pusher = std::make_unique<kes::pusher>();
    workers.puller = std::make_unique<kes::puller>();
    return workers;
}

daemon::daemon(const worker_factory& make_workers, clock_source clock)
    : config_(&config::instance()), clock_(std::move(clock)),
      transfer_stop_(std::make_shared<network::transfer_stop>()) {
    running_.store(true);
    network::install_transfer_stop(transfer_stop_);
    daemon_workers workers = make_workers();
    scanner_ = std::move(workers.scanner);
    pusher_ = std::move(workers.pusher);
    puller_ = std::move(workers.puller);
    {
        std::lock_guard<std::mutex> lock(ui_slot_guard);
        ui_slot_owner = this;
    }
    curl_global_init(CURL_GLOBAL_ALL);
}

daemon::~daemon() {
    running_.store(false);
    // A daemon destroyed without `stop` still ends its threads instead of
    // taking the process down through std::terminate.
    stop();
    try {
        curl_global_cleanup();
    } catch (const std::exception& e) {
        log(L"[daemon:dtor] Caught std::exception during curl cleanup: " + util::widen(e.what()),
            log_level::error);
    } catch (...) {
        log(L"[daemon:dtor] Caught unknown exception during curl cleanup.", log_level::error);
    }
    network::remove_transfer_stop(transfer_stop_.get());
    std::lock_guard<std::mutex> lock(ui_slot_guard);
    if (ui_slot_owner == this) ui_slot_owner = nullptr;
}

std::chrono::milliseconds daemon::scan_sleep(std::uint32_t scan_interval) {
    if (scan_interval == 0) return zero_interval_sleep;
    return scan_interval < 100 ? std::chrono::milliseconds(std::uint64_t{scan_interval} * 1000)
                               : std::chrono::milliseconds(scan_interval);
}

std::chrono::milliseconds daemon::interval_sleep(std::uint32_t seconds) {
    if (seconds == 0) return zero_interval_sleep;
    return std::chrono::seconds(seconds);
}

void daemon::launch(std::size_t slot, const char* thread_name, std::function<void()> body) {
    try {
        slots_[slot].thread = std::thread([thread_name, body = std::move(body)] {
            name_this_thread(thread_name);
            body();
        });
    } catch (const std::system_error&) {
        stop();
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                "thread constructor failed");
    }
}

void daemon::start(ui* user_interface) {
    launch(scanner_slot, "kes-scanner", [this] { continuous_scanning(); });
    log(L"  Scanner Started", log_level::info);
    launch(pusher_slot, "kes-pusher", [this] { continuous_pushing(); });
    log(L"  Pusher Started", log_level::info);
    launch(puller_slot, "kes-puller", [this] { continuous_pulling(); });
    log(L"  Puller Started", log_level::info);
    launch(ui_slot, "kes-ui-events", [user_interface] {
        if (user_interface) user_interface->event_handler();
    });
    log(L"  Gui Running: EventHandler Started", log_level::info);
}

void daemon::signal_stop(std::size_t slot) {
    slots_[slot].stop.raise();
}

void daemon::join(std::size_t slot) {
    std::thread& thread = slots_[slot].thread;
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) thread.join();
}

void daemon::stop() {
    running_.store(false);
    transfer_stop_->stop();
    for (const std::size_t slot : {puller_slot, pusher_slot, scanner_slot, ui_slot}) signal_stop(slot);
    for (const std::size_t slot : {puller_slot, pusher_slot, scanner_slot, ui_slot}) join(slot);
}

bool daemon::complete_open_record() {
    if (slots_[scanner_slot].thread.joinable() || !scanner_) return false;
    scanner_->complete_open_record_at_end();
    return true;
}

void daemon::complete_open_record_at_exit() {
    if (scanner_) scanner_->complete_open_record_at_exit();
}

bool daemon::wait_for_stop(std::size_t slot, std::chrono::milliseconds duration) {
    return !slots_[slot].stop.wait_for(duration);
}

bool daemon::wait_for_ui_stop(std::chrono::milliseconds duration) {
    daemon* owner = nullptr;
    {
        std::lock_guard<std::mutex> lock(ui_slot_guard);
        owner = ui_slot_owner;
    }
    if (owner == nullptr) return false;
    return owner->wait_for_stop(ui_slot, duration);
}

bool daemon::run_once_logged(const wchar_t* tag, const std::function<void()>& step) {
    try {
        step();
        return true;
    } catch (const std::exception& e) {
        log(std::wstring(tag) + L"Caught std::exception: " + util::utf8_to_wstring_lossy(e.what()),
            log_level::error);
    } catch (...) {
        log(std::wstring(tag) + L"Caught unknown exception!", log_level::error);
    }
    return false;
}

bool daemon::guarded_cycle(const wchar_t* tag, int& failures, const std::function<void()>& cycle,
                           const std::function<void()>& on_failure) {
    if (run_once_logged(tag, cycle)) return true;
    if (on_failure) on_failure();
    if (failures < 10) {
        ++failures;
        return true;
    }
    return false;
}

void daemon::continuous_scanning() {
    log_start(L"[daemon:continuous_scanning] Thread starting ",
              L"[daemon:continuous_scanning] Scanner thread id is: ");
    int failures = 0;
    const auto cycle = [&] {
        config_->set_last_scan_time(util::local_now_seconds());
        scanner_->scan();
        wait_for_stop(scanner_slot, scan_sleep(config_->get_scan_interval()));
        failures = 0;
    };
    const auto on_failure = [&] {
        config_->set_status_message(get_text(L"status_message_fatal_error"), 4);
    };
    while (running_.load()) {
        if (!guarded_cycle(L"[daemon:continuous_scanning] ", failures, cycle, on_failure)) {
            log(L"daemon:continuous_scanning] Error count too high, stopping thread.", log_level::error);
            running_.store(false);
            break;
        }
    }
    log(L"[daemon::continuous_scanning] Thread stopping ", log_level::info);
}

void daemon::continuous_pushing() {
    log_start(L"[daemon::continuous_pushing] Thread starting ",
              L"[daemon::continuous_pushing] Pusher thread id is: ");
    int failures = 0;
    const auto cycle = [&] {
        pusher_->shove();
        config_->set_last_push_time(util::local_now_seconds());
        wait_for_stop(pusher_slot, interval_sleep(config_->get_push_interval()));
        failures = 0;
    };
    run_once_logged(L"[daemon:continuous_pushing] ", [&] {
        wait_for_stop(pusher_slot, interval_sleep(config_->get_push_initial_interval()));
    });
    while (running_.load()) {
        if (!guarded_cycle(L"[daemon:continuous_pushing] ", failures, cycle, nullptr)) {
            log(L"daemon:continuous_pushing] Error count too high, stopping thread.", log_level::error);
            return;
        }
    }
    log(L"[daemon:continuous_pushing] Thread stopping ", log_level::info);
}

void daemon::act_on_message(std::size_t index, std::uint32_t code) {
    log(L"[daemon] message: " + std::to_wstring(index) + L" => " + std::to_wstring(code),
        log_level::network);
    switch (code) {
        case 1: puller_->pull_alerts(); break;
        case 2: puller_->pull_config(); break;
        case 3: puller_->update_client(); break;
        case 4: puller_->update_client_beta(); break;
        case 5: puller_->update_blocked_list_no_params(); break;
        case 6:
            log(L"[daemon:continuous_pulling] kes::message::survey_available called and not handled",
                log_level::error);
            break;
        default: break;
    }
}

void daemon::act_on_waiting_messages() {
    std::size_t acted = 0;
    while (!waiting_messages_.empty() && acted < max_messages_per_pull && running_.load()) {
        const std::uint32_t code = waiting_messages_.front();
        waiting_messages_.pop_front();
        act_on_message(acted++, code);
    }
    if (!waiting_messages_.empty()) {
        log(L"[daemon] " + std::to_wstring(waiting_messages_.size()) + L" messages wait for the next pull",
            log_level::network);
    }
}

void daemon::pull_cycle(bool& initial_config_pulled) {
    if (config_->is_authenticated()) {
        if (!initial_config_pulled) {
            log(L"[daemon] getting initial config ", log_level::network);
            initial_config_pulled = true;
            puller_->pull_config();
        }
        const auto now = clock_();
        if (now - config_->get_last_browser_support_pull() >= browser_support_max_age) {
            log(L"[daemon] It has been more than 6 hours since the last browser_support pull. Re-pulling",
                log_level::network);
            puller_->update_browser_support();
            config_->set_last_browser_support_pull(clock_());
        }
        const std::vector<std::uint32_t> messages = puller_->pull_messages();
        log(L"[daemon] got " + std::to_wstring(messages.size()) + L" messages", log_level::network);
        std::map<std::uint32_t, std::size_t> dropped;  // code -> how often
        for (const std::uint32_t code : messages) {
            if (waiting_messages_.size() < max_waiting_messages) {
                waiting_messages_.push_back(code);
            } else {
                ++dropped[code];
            }
        }
        if (!dropped.empty()) {
            // Said at the default mask: each dropped code is an operation the service asked for.
            constexpr std::size_t codes_named = 16;
            std::wstring which;
            std::size_t named = 0;
            for (const auto& [code, count] : dropped) {
                if (named++ == codes_named) {
                    which += L" and " + std::to_wstring(dropped.size() - codes_named) + L" other codes";
                    break;
                }
                which += (which.empty() ? L"" : L", ") + std::to_wstring(code) + L" x" + std::to_wstring(count);
            }
            log(L"[daemon] " + std::to_wstring(max_waiting_messages) + L" messages wait already; dropped codes " +
                    which,
                log_level::caught_network);
        }
        act_on_waiting_messages();
    }
    config_->set_last_pull_time(util::local_now_seconds());
}

void daemon::continuous_pulling() {
    log_start(L"[daemon:continuous_pulling] Thread starting ",
              L"[daemon:continuous_pulling] Puller thread id is: ");
    int failures = 0;
    bool initial_config_pulled = false;
    run_once_logged(L"[daemon:continuous_pulling] ", [&] { puller_->update_idle_activity_list(); });
    run_once_logged(L"[daemon:continuous_pulling] ", [&] {
        wait_for_stop(puller_slot, interval_sleep(config_->get_pull_initial_interval()));
    });
    const auto cycle = [&] {
        pull_cycle(initial_config_pulled);
        wait_for_stop(puller_slot, interval_sleep(config_->get_pull_interval()));
        failures = 0;
    };
    while (running_.load()) {
        if (!guarded_cycle(L"[daemon:continuous_pulling] ", failures, cycle, nullptr)) {
            log(L"daemon:continuous_pulling] Error count too high, stopping thread.", log_level::error);
            return;
        }
    }
    log(L"[daemon::continuous_pulling] Thread stopping ", log_level::info);
}

}  // namespace kes

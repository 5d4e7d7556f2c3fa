#include "app/unexpected_exit_guard.h"

#include "app/orderly_end.h"
#include "core/capture/daemon.h"
#include "core/capture/logger.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace kes {
namespace {

std::atomic<unexpected_exit_guard*> armed{nullptr};

// Made before main, so they outlast every exit handler registered in it.
std::mutex warning_mutex;
std::string last_toolkit_warning;

void on_exit() { unexpected_exit_guard::run_exit_handler(); }

}  // namespace

unexpected_exit_guard::unexpected_exit_guard(daemon& target, logger& activity_logger)
    : target_(target), activity_logger_(activity_logger) {
    // Registered now, after the process-wide objects they use were made, so
    // the handlers run before anything made earlier is destroyed.
    static const bool registered = [] {
        std::atexit(on_exit);
        std::at_quick_exit(on_exit);
        return true;
    }();
    (void)registered;
    armed.store(this);
}

unexpected_exit_guard::~unexpected_exit_guard() {
    unexpected_exit_guard* self = this;
    armed.compare_exchange_strong(self, nullptr);
}

void unexpected_exit_guard::note_toolkit_warning(const std::string& text) {
    const std::lock_guard<std::mutex> lock(warning_mutex);
    last_toolkit_warning = text;
}

void unexpected_exit_guard::run_exit_handler() {
    unexpected_exit_guard* guard = armed.exchange(nullptr);
    if (guard == nullptr) return;
    std::string cause;
    {
        const std::lock_guard<std::mutex> lock(warning_mutex);
        cause = last_toolkit_warning;
    }
    const auto save_what_can_be_saved = [guard, &cause] {
        log(L"[main] The process is ending without its orderly end" +
                (cause.empty() ? std::wstring(L".")
                               : L"; the toolkit's last warning was: " + util::utf8_to_wstring_lossy(cause)),
            log_level::error);
        guard->target_.complete_open_record_at_exit();
        const std::uint32_t lost = guard->activity_logger_.records_only_in_memory();
        if (lost > 0) report_lost_records(lost);
    };
    // The exiting thread's thread-local objects are already destroyed when
    // the exit handlers run, and formatting a record uses some: the work
    // runs on a thread of its own.
    try {
        std::thread(save_what_can_be_saved).join();
    } catch (const std::exception&) {
        // No thread to be had: the journal keeps what it holds, nothing more.
    }
}

}  // namespace kes

// Runs the real scanner, grabber and activity logger against $DISPLAY the way
// the agent does: the scanner on a thread of its own, scripts on the main
// thread through the main queue. SIGTERM ends it through the same steps as
// the agent's orderly end: stop and join the scanner while serving the main
// queue, complete the open record, flush the logger.
//
//   kes_scanner_probe --scan-interval S --idle-time-start S
//                     [--script-delay-ms N] [--debug-log-level N] [--report FILE]
//                     [--blocked-items A,B,...] [--blocking-minutes N]
//                     [--browser-page URL]
//
// The report (JSON) lists every scanner pass, with the X round trips and
// the thread's CPU time it cost, every script run with the thread it ran on, so a test can see that
// scripts ran on the main thread while the scanner pass that asked for them
// waited, and the block list as it stood at the end.
//
// With blocked items and minutes a focus session runs from the start. With
// a browser page, browser scripts are answered as a scriptable browser
// would: in front with a page open, showing URL; otherwise the desktop's
// engine answers them (it has no browser scripting).
#include "core/capture/daemon.h"
#include "core/capture/logger.h"
#include "core/capture/scanner.h"
#include "core/foundation/config.h"
#include "core/foundation/text.h"
#include "app/osx_AppleScriptExecutor.h"
#include "app/unsupported/osx_BrowserScriptExecutor.h"
#include "app/osx_grabber.h"
#include "platform/main_queue.h"
#include "platform/script_engine.h"
#include "platform/termination_signals.h"
#include "platform/linux/x11_traffic.h"

#include <nlohmann/json.hpp>

#include <boost/date_time/posix_time/posix_time.hpp>

#include <time.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using steady = std::chrono::steady_clock;

double ms_since(steady::time_point origin, steady::time_point t) {
    return std::chrono::duration<double, std::milli>(t - origin).count();
}

// CPU time of the calling thread, for what one pass costs without its wake-up.
long long thread_cpu_ns() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec;
}

// The desktop's engine, with each run recorded and optionally held.
class recording_engine : public platform::script_engine {
public:
    recording_engine(std::shared_ptr<platform::script_engine> inner, platform::main_queue& queue,
                     std::chrono::milliseconds delay, steady::time_point origin)
        : inner_(std::move(inner)), queue_(queue), delay_(delay), origin_(origin) {}

    platform::script_result run_named(const std::string& name) override {
        return recorded(name, false, [&] { return inner_->run_named(name); });
    }
    platform::script_result run_source(const std::string& source) override {
        return recorded(source, true, [&] {
            if (browser_page_.empty()) return inner_->run_source(source);
            if (source.find("to return URL of") != std::string::npos) {
                return platform::script_result::answer(browser_page_);
            }
            if (source.find("to set URL of") != std::string::npos) return platform::script_result::answer("");
            return platform::script_result::answer("true");  // in front, with a page open
        });
    }

    void answer_browser_scripts_with(std::string page) { browser_page_ = std::move(page); }

    nlohmann::json runs() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return runs_;
    }

private:
    template <class Run>
    platform::script_result recorded(const std::string& script, bool source, Run&& run) {
        const auto begin = steady::now();
        std::this_thread::sleep_for(delay_);
        platform::script_result result = run();
        const auto end = steady::now();
        std::lock_guard<std::mutex> lock(mutex_);
        runs_.push_back({{"script", script},
                         {"source", source},
                         {"on_main_thread", queue_.is_main_thread()},
                         {"begin_ms", ms_since(origin_, begin)},
                         {"end_ms", ms_since(origin_, end)},
                         {"answered", result.answered()},
                         {"answer", result.answered() ? result.text : std::string()}});
        return result;
    }

    std::shared_ptr<platform::script_engine> inner_;
    platform::main_queue& queue_;
    std::chrono::milliseconds delay_;
    steady::time_point origin_;
    std::string browser_page_;
    mutable std::mutex mutex_;
    nlohmann::json runs_ = nlohmann::json::array();
};

std::string argument(int argc, char** argv, const std::string& name, const std::string& fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (argv[i] == name) return argv[i + 1];
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    auto& queue = platform::main_queue::instance();
    queue.bind_to_current_thread();
    platform::termination_signals signals;
    const auto origin = steady::now();

    kes::config& settings = kes::config::instance();
    settings.set_scan_interval(static_cast<std::uint32_t>(std::stoul(argument(argc, argv, "--scan-interval", "1"))));
    settings.set_idle_time_start(static_cast<std::uint32_t>(std::stoul(argument(argc, argv, "--idle-time-start", "300"))));
    settings.set_debug_log_level(static_cast<std::uint32_t>(std::stoul(argument(argc, argv, "--debug-log-level", "1"))));
    const std::chrono::milliseconds delay(std::stol(argument(argc, argv, "--script-delay-ms", "0")));
    const std::string report_path = argument(argc, argv, "--report", "");

    const std::string blocked = argument(argc, argv, "--blocked-items", "");
    if (!blocked.empty()) {
        std::vector<std::wstring> items;
        for (std::size_t start = 0;;) {
            const auto comma = blocked.find(',', start);
            items.push_back(kes::util::utf8_to_wstring(blocked.substr(start, comma - start)));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        settings.set_blocked_items(std::move(items));
        const long minutes = std::stol(argument(argc, argv, "--blocking-minutes", "30"));
        settings.set_blocking_until(settings.local_now() + boost::posix_time::minutes(minutes));
    }

    auto engine = std::make_shared<recording_engine>(platform::script_engine::create(), queue, delay, origin);
    engine->answer_browser_scripts_with(argument(argc, argv, "--browser-page", ""));
    kes::scanner::seams seams;
    seams.grabber = std::make_shared<kes::osx_grabber>(std::make_shared<kes::osx_AppleScriptExecutor>(engine, queue),
                                                       std::string(),
                                                       std::make_shared<kes::osx_BrowserScriptExecutor>(engine, queue));
    seams.user_interface = [] { return nullptr; };
    kes::scanner scanner(std::move(seams));
    kes::logger& activity_logger = kes::logger::get_instance();

    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    std::atomic<bool> ended{false};
    nlohmann::json passes = nlohmann::json::array();
    std::thread scanning([&] {
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (stop) break;
            }
            const auto begin = steady::now();
            const std::uint64_t trips_before = platform::x11_round_trips();
            const long long cpu_before = thread_cpu_ns();
            try {
                scanner.scan();
            } catch (const std::exception& e) {
                std::cerr << "scan failed: " << e.what() << '\n';
            }
            const long long cpu_used = thread_cpu_ns() - cpu_before;
            const auto end = steady::now();
            passes.push_back({{"begin_ms", ms_since(origin, begin)},
                              {"end_ms", ms_since(origin, end)},
                              {"round_trips", platform::x11_round_trips() - trips_before},
                              {"cpu_us", static_cast<double>(cpu_used) / 1000.0}});
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait_for(lock, kes::daemon::scan_sleep(settings.get_scan_interval()), [&] { return stop; });
        }
        ended = true;
        queue.async([] {});
    });

    queue.watch_fd(signals.fd(), [&] {
        if (signals.take() != 0) queue.quit(0);
    });
    queue.run();

    {
        std::lock_guard<std::mutex> lock(mutex);
        stop = true;
    }
    wake.notify_all();
    // The scanner may be waiting for a script on this thread.
    queue.serve_until([&] { return ended.load(); }, std::chrono::seconds(10));
    scanning.join();
    scanner.complete_open_record_at_end();
    activity_logger.write_current_log_to_disk();

    if (!report_path.empty()) {
        nlohmann::json blocked_items = nlohmann::json::array();
        for (const std::wstring& item : settings.get_blocked_items()) {
            blocked_items.push_back(kes::util::wstring_to_utf8_lossy(item));
        }
        std::ofstream(report_path) << nlohmann::json{{"passes", passes},
                                                     {"scripts", engine->runs()},
                                                     {"blocked_items", blocked_items}}
                                          .dump(1);
    }
    std::cout << "ended\n";
    return 0;
}

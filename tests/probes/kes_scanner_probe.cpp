// Runs the real scanner, grabber and activity logger against $DISPLAY the way
// the agent does: the scanner on a thread of its own, scripts on the main
// thread through the main queue. SIGTERM ends it through the same steps as
// the agent's orderly end: stop and join the scanner while serving the main
// queue, complete the open record, flush the logger.
//
//   kes_scanner_probe --scan-interval S --idle-time-start S
//                     [--script-delay-ms N] [--debug-log-level N] [--report FILE]
//
// The report (JSON) lists every scanner pass, with the X round trips it
// cost, and every script run with the thread it ran on, so a test can see
// that scripts ran on the main thread while the scanner pass that asked for
// them waited.
#include "core/capture/daemon.h"
#include "core/capture/logger.h"
#include "core/capture/scanner.h"
#include "core/foundation/config.h"
#include "osx/osx_AppleScriptExecutor.h"
#include "osx/osx_grabber.h"
#include "platform/main_queue.h"
#include "platform/script_engine.h"
#include "platform/termination_signals.h"
#include "platform/x11_traffic.h"

#include <nlohmann/json.hpp>

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

// The desktop's engine, with each run recorded and optionally held.
class recording_engine : public platform::script_engine {
public:
    recording_engine(std::shared_ptr<platform::script_engine> inner, platform::main_queue& queue,
                     std::chrono::milliseconds delay, steady::time_point origin)
        : inner_(std::move(inner)), queue_(queue), delay_(delay), origin_(origin) {}

    platform::script_result run_named(const std::string& name) override {
        const auto begin = steady::now();
        std::this_thread::sleep_for(delay_);
        platform::script_result result = inner_->run_named(name);
        const auto end = steady::now();
        std::lock_guard<std::mutex> lock(mutex_);
        runs_.push_back({{"script", name},
                         {"on_main_thread", queue_.is_main_thread()},
                         {"begin_ms", ms_since(origin_, begin)},
                         {"end_ms", ms_since(origin_, end)},
                         {"answer", result.answered() ? result.text : std::string()}});
        return result;
    }
    platform::script_result run_source(const std::string& source) override { return inner_->run_source(source); }

    nlohmann::json runs() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return runs_;
    }

private:
    std::shared_ptr<platform::script_engine> inner_;
    platform::main_queue& queue_;
    std::chrono::milliseconds delay_;
    steady::time_point origin_;
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

    auto engine = std::make_shared<recording_engine>(platform::script_engine::create(), queue, delay, origin);
    kes::scanner::seams seams;
    seams.grabber = std::make_shared<kes::osx_grabber>(std::make_shared<kes::osx_AppleScriptExecutor>(engine, queue));
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
            try {
                scanner.scan();
            } catch (const std::exception& e) {
                std::cerr << "scan failed: " << e.what() << '\n';
            }
            const auto end = steady::now();
            passes.push_back({{"begin_ms", ms_since(origin, begin)},
                              {"end_ms", ms_since(origin, end)},
                              {"round_trips", platform::x11_round_trips() - trips_before}});
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
        std::ofstream(report_path) << nlohmann::json{{"passes", passes}, {"scripts", engine->runs()}}.dump(1);
    }
    std::cout << "ended\n";
    return 0;
}

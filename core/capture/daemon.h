#pragma once
// Owns the scanner, pusher and puller and runs them, with the UI event
// handler, on four threads: scanner, pusher, puller, UI. Every loop runs one
// pass, sleeps its configured interval on its own condition variable, and
// shares one failure policy (ten consecutive failures survive, the eleventh
// ends the loop). Only `stop` wakes the sleepers; it also aborts the service
// transfers in flight on every thread, so that ending never waits for the
// service. An interval of zero, which would make a loop spin, sleeps a second.

#include "core/foundation/noncopyable.h"
#include "core/foundation/stop_flag.h"

#include <array>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <thread>

#include "core/capture/scanner.h"
#include "core/service/puller.h"
#include "core/service/pusher.h"

namespace kes {

class config;
class ui;

namespace network {
class transfer_stop;
}

struct daemon_workers {
    std::unique_ptr<kes::scanner> scanner;
    std::unique_ptr<kes::pusher> pusher;
    std::unique_ptr<kes::puller> puller;
};

class daemon : public noncopyable {
public:
    enum slot_index : std::size_t { scanner_slot = 0, pusher_slot = 1, puller_slot = 2, ui_slot = 3 };
    using worker_factory = std::function<daemon_workers()>;
    using clock_source = std::function<std::chrono::system_clock::time_point()>;

    // The workers are made in the order scanner, pusher, puller; tests pass
    // their own through the factory.
    explicit daemon(const worker_factory& make_workers = make_default_workers,
                    clock_source clock = &std::chrono::system_clock::now);
    virtual ~daemon();

    static daemon_workers make_default_workers();

    virtual bool request_stop() = 0;
    virtual bool run_service() = 0;
    virtual bool service_hook_1() = 0;
    virtual bool service_hook_2() = 0;
    virtual bool service_hook_3() = 0;
    virtual bool service_hook_4() = 0;

    // Starts the four threads. When one cannot be created, the ones already
    // running are stopped and joined before the system error "thread
    // constructor failed" is raised.
    void start(ui* user_interface);

    // Clears the running state, aborts the service transfers in flight (and
    // every later one of this run), wakes every sleeper and joins the threads
    // in the order puller, pusher, scanner, UI. Safe to call more than once.
    void stop();

    // At the orderly end, after `stop`: the scanner's open record is completed
    // and handed to the logger, so the final flush writes it. Refused (false)
    // while the scanner thread has not been joined.
    bool complete_open_record();
    // When the process ends without the orderly end, from any thread while
    // the threads still run: the scanner's open record goes to the logger.
    void complete_open_record_at_exit();

    // Sleeps on a slot until its stop flag is set (false) or the time passed (true).
    bool wait_for_stop(std::size_t slot, std::chrono::milliseconds duration);

    // The UI event handler's sleep, on the UI slot of the running daemon;
    // false once that slot is told to stop (or when no daemon exists).
    static bool wait_for_ui_stop(std::chrono::milliseconds duration);

    bool is_running() const { return running_.load(); }

    // The calling thread's id as the thread lines of the loops show it.
    static std::wstring current_thread_id_text();

    // What a zero interval sleeps: a zero from a settings file or the service
    // must not make a thread spin (or the service be asked without pause).
    static constexpr std::chrono::milliseconds zero_interval_sleep{1000};

    // Milliseconds the scanner sleeps for a `scan_interval`: below 100 it
    // counts seconds, from 100 on milliseconds.
    static std::chrono::milliseconds scan_sleep(std::uint32_t scan_interval);
    // The sleep for an interval in seconds (pusher and puller).
    static std::chrono::milliseconds interval_sleep(std::uint32_t seconds);

    // The puller thread acts on at most this many messages per pull, so that
    // a stop is seen between them and a long list cannot hold the thread; the
    // others wait for the next pull, at most `max_waiting_messages` of them.
    static constexpr std::size_t max_messages_per_pull = 16;
    static constexpr std::size_t max_waiting_messages = 64;

protected:
    config* config_;
    std::atomic<bool> running_{true};

private:
    struct thread_slot {
        std::thread thread;
        stop_flag stop;
    };

    void continuous_scanning();
    void continuous_pushing();
    void continuous_pulling();
    void pull_cycle(bool& initial_config_pulled);
    void act_on_waiting_messages();
    void act_on_message(std::size_t index, std::uint32_t code);

    // One cycle under the shared failure policy. Answers false when the loop
    // must end because of too many consecutive failures.
    bool guarded_cycle(const wchar_t* tag, int& failures, const std::function<void()>& cycle,
                       const std::function<void()>& on_failure);

    // Runs a step, logging what it throws with the loop's tag; true when it succeeded.
    static bool run_once_logged(const wchar_t* tag, const std::function<void()>& step);

    void launch(std::size_t slot, const char* thread_name, std::function<void()> body);
    void signal_stop(std::size_t slot);
    void join(std::size_t slot);

    clock_source clock_;
    std::unique_ptr<kes::scanner> scanner_;
    std::unique_ptr<kes::pusher> pusher_;
    std::unique_ptr<kes::puller> puller_;
    std::array<thread_slot, 4> slots_;
    std::shared_ptr<network::transfer_stop> transfer_stop_;
    // Messages pulled but not yet acted on; the puller thread's alone.
    std::deque<std::uint32_t> waiting_messages_;
};

}  // namespace kes

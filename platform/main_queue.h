#pragma once
// The main thread's serial work queue. Any thread may hand work to the main
// thread; tasks run one at a time in FIFO order and never inside one another
// (a task that opens a modal dialog holds the queue until it returns).
// An eventfd wakes whichever loop drives the main thread: our own `run` before
// the toolkit exists, the toolkit's loop through a socket notifier after. The
// queue keeps the loop's state (watched descriptors, quit and its exit code),
// so either loop serves the same sources and ends the same way.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <vector>

namespace platform {

class main_queue {
public:
    using task = std::function<void()>;

    main_queue();
    ~main_queue();
    main_queue(const main_queue&) = delete;
    main_queue& operator=(const main_queue&) = delete;

    // The process-wide queue (never destroyed).
    static main_queue& instance();

    // The calling thread becomes the main thread. `main` does this first.
    void bind_to_current_thread();
    bool is_main_thread() const;

    void async(task work);
    void async_after(std::chrono::milliseconds delay, task work);

    // Runs the work on the main thread and waits for it. Refused (false, not
    // run) on the main thread itself, and once the queue is closed. What the
    // work throws is thrown again here, in the caller.
    bool sync(task work);

    // As `sync`, for main-thread work that ends after its task has returned
    // (an alert the user answers later): `start` runs as a task and is handed
    // `done`, to be called on the main thread once the work has ended; the
    // caller waits for that call. The task does not hold the queue while the
    // work goes on. False when refused, or when the queue closes first.
    using completion = std::function<void()>;
    bool sync_until_done(std::function<void(completion done)> start);

    template <class F>
    auto sync_result(F&& work) -> std::optional<std::invoke_result_t<F>> {
        std::optional<std::invoke_result_t<F>> result;
        if (!sync([&] { result.emplace(work()); })) return std::nullopt;
        return result;
    }

    // Drops pending work and releases every waiter of `sync` with "no result".
    void close();
    bool is_closed() const;

    // For the loop that drives the main thread.
    int wake_fd() const { return wake_fd_; }
    // Moves the due timers to the queue and runs every queued task in turn.
    // Called from inside a running task (its modal loop) it runs nothing and
    // answers false; the drain that runs that task then takes what arrived
    // meanwhile, and wakes the loop once more when it ends.
    bool run_pending();
    std::optional<std::chrono::milliseconds> time_to_next_timer() const;

    // Descriptors the main loop serves besides the queue (signals, instance
    // notifications); their handlers run on the main thread. Adding one wakes
    // the loop, so a loop already running picks it up.
    struct watch {
        int fd;
        std::function<void()> on_readable;
    };
    void watch_fd(int fd, std::function<void()> on_readable);
    // Every watch so far, in the order added (a toolkit's loop adopts the ones
    // it has not seen yet).
    std::vector<watch> watches() const;

    // Our own loop: serves the queue and the watched descriptors until `quit`.
    int run();
    // Ends whichever loop drives the main thread; the first code given is kept.
    void quit(int exit_code);
    bool quit_requested() const;
    int exit_code() const;

    // Serves the queue on the main thread until `done` answers true or the
    // time is up; answers `done()`. Unlike `run_pending` it serves from inside
    // a running task too: its caller waits for work that may itself need the
    // main thread (threads being joined), which a held queue would never run.
    bool serve_until(const std::function<bool()>& done, std::chrono::milliseconds limit);

private:
    using clock = std::chrono::steady_clock;

    void wake();
    void clear_wake();
    int poll_timeout_ms() const;
    bool drain(bool inside_a_task_too);

    mutable std::mutex mutex_;
    std::condition_variable sync_done_;
    std::deque<task> ready_;
    std::multimap<clock::time_point, task> timers_;
    std::thread::id main_thread_;
    bool closed_ = false;
    bool draining_ = false;
    bool wake_missed_ = false;  // a drain was refused while a task ran
    bool quit_ = false;
    int exit_code_ = 0;
    int wake_fd_ = -1;
    std::vector<watch> watched_;
};

}  // namespace platform

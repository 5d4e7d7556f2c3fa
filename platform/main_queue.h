#pragma once
// The main thread's serial work queue. Any thread may hand work to the main
// thread; tasks run one at a time in FIFO order and never inside one another
// (a task that opens a modal dialog holds the queue until it returns).
// An eventfd wakes whichever loop drives the main thread: our own `run` before
// the toolkit exists, the toolkit's loop through a socket notifier after.

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
    void run_pending();
    std::optional<std::chrono::milliseconds> time_to_next_timer() const;

    // Our own loop: serves the queue and the watched descriptors until `quit`.
    void watch_fd(int fd, std::function<void()> on_readable);
    int run();
    void quit(int exit_code);
    bool quit_requested() const;

    // Serves the queue on the main thread until `done` answers true or the
    // time is up; answers `done()`.
    bool serve_until(const std::function<bool()>& done, std::chrono::milliseconds limit);

private:
    using clock = std::chrono::steady_clock;

    void wake();
    void clear_wake();
    int poll_timeout_ms() const;

    mutable std::mutex mutex_;
    std::condition_variable sync_done_;
    std::deque<task> ready_;
    std::multimap<clock::time_point, task> timers_;
    std::thread::id main_thread_;
    bool closed_ = false;
    bool draining_ = false;
    bool quit_ = false;
    int exit_code_ = 0;
    int wake_fd_ = -1;
    std::vector<std::pair<int, std::function<void()>>> watched_;
};

}  // namespace platform

#include "platform/main_queue.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <exception>
#include <memory>
#include <stdexcept>

namespace platform {

main_queue::main_queue() : wake_fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (wake_fd_ < 0) throw std::runtime_error("eventfd failed");
}

main_queue::~main_queue() { ::close(wake_fd_); }

main_queue& main_queue::instance() {
    static auto* queue = new main_queue();  // outlives every thread that may post to it
    return *queue;
}

void main_queue::bind_to_current_thread() {
    std::lock_guard<std::mutex> lock(mutex_);
    main_thread_ = std::this_thread::get_id();
}

bool main_queue::is_main_thread() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return main_thread_ == std::this_thread::get_id();
}

void main_queue::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_fd_, &one, sizeof one);
}

void main_queue::clear_wake() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = ::read(wake_fd_, &count, sizeof count);
}

void main_queue::async(task work) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return;
        ready_.push_back(std::move(work));
    }
    wake();
}

void main_queue::async_after(std::chrono::milliseconds delay, task work) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return;
        timers_.emplace(clock::now() + delay, std::move(work));
    }
    wake();
}

bool main_queue::sync(task work) {
    return sync_until_done([work = std::move(work)](completion done) {
        work();
        done();
    });
}

bool main_queue::sync_until_done(std::function<void(completion done)> start) {
    struct outcome {
        bool finished = false;
        std::exception_ptr failure;
    };
    auto ended = std::make_shared<outcome>();
    // Called once by the work (or its failure); later calls change nothing.
    auto finish = [this, ended](std::exception_ptr failure) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (ended->finished) return;
        ended->failure = std::move(failure);
        ended->finished = true;
        sync_done_.notify_all();
    };
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (closed_ || main_thread_ == std::this_thread::get_id()) return false;
        ready_.push_back([start = std::move(start), finish] {
            // A throwing task still finishes: its caller must not wait forever.
            try {
                start([finish] { finish(nullptr); });
            } catch (...) {
                finish(std::current_exception());
            }
        });
    }
    wake();
    std::unique_lock<std::mutex> lock(mutex_);
    sync_done_.wait(lock, [&] { return ended->finished || closed_; });
    if (ended->failure) std::rethrow_exception(ended->failure);
    return ended->finished;
}

void main_queue::close() {
    std::deque<task> dropped;
    std::multimap<clock::time_point, task> dropped_timers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        dropped.swap(ready_);
        dropped_timers.swap(timers_);
        sync_done_.notify_all();
    }
    wake();
}

bool main_queue::is_closed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
}

bool main_queue::run_pending() { return drain(false); }

bool main_queue::drain(bool inside_a_task_too) {
    clear_wake();
    bool outer_was_draining = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        outer_was_draining = draining_;
        if (draining_ && !inside_a_task_too) {
            // A task is running (a modal loop): never nest. Its drain picks up
            // the tasks; the timers and this wake-up are served after it.
            wake_missed_ = true;
            return false;
        }
        draining_ = true;
        const auto now = clock::now();
        while (!timers_.empty() && timers_.begin()->first <= now) {
            ready_.push_back(std::move(timers_.begin()->second));
            timers_.erase(timers_.begin());
        }
    }
    while (true) {
        task next;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (ready_.empty() || closed_) {
                draining_ = outer_was_draining;
                if (!draining_ && wake_missed_) {
                    wake_missed_ = false;
                    wake();  // the loop serves what came due while the task ran
                }
                return true;
            }
            next = std::move(ready_.front());
            ready_.pop_front();
        }
        try {
            next();
        } catch (...) {
            // A task's failure must not take the main thread down; tasks log their own errors.
        }
    }
}

std::optional<std::chrono::milliseconds> main_queue::time_to_next_timer() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (timers_.empty()) return std::nullopt;
    const auto left = timers_.begin()->first - clock::now();
    return std::max(std::chrono::milliseconds(0),
                    std::chrono::ceil<std::chrono::milliseconds>(left));
}

int main_queue::poll_timeout_ms() const {
    const auto next = time_to_next_timer();
    if (!next) return -1;
    return static_cast<int>(std::min<long long>(next->count(), 60'000));
}

void main_queue::watch_fd(int fd, std::function<void()> on_readable) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        watched_.push_back({fd, std::move(on_readable)});
    }
    wake();
}

std::vector<main_queue::watch> main_queue::watches() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return watched_;
}

int main_queue::run() {
    while (!quit_requested()) {
        std::vector<pollfd> fds{{wake_fd_, POLLIN, 0}};
        const std::vector<watch> watched = watches();
        for (const auto& each : watched) fds.push_back({each.fd, POLLIN, 0});
        const int ready = ::poll(fds.data(), fds.size(), poll_timeout_ms());
        if (ready < 0 && errno != EINTR) break;
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents & POLLIN) watched[i - 1].on_readable();
        }
        run_pending();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return exit_code_;
}

void main_queue::quit(int exit_code) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!quit_) exit_code_ = exit_code;
        quit_ = true;
    }
    wake();
}

bool main_queue::quit_requested() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return quit_;
}

int main_queue::exit_code() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return exit_code_;
}

bool main_queue::serve_until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = clock::now() + limit;
    while (!done()) {
        const auto now = clock::now();
        if (now >= deadline) return done();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        pollfd fd{wake_fd_, POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(std::min<long long>(left.count(), 20)));
        drain(true);
    }
    return true;
}

}  // namespace platform

#include "core/foundation/serial_worker.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "core/foundation/thread_name.h"

#include <system_error>

namespace kes {

serial_worker::serial_worker(std::string thread_name) : thread_name_(std::move(thread_name)) {}

serial_worker::~serial_worker() { finish(); }

bool serial_worker::post(std::function<void()> task) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (finishing_) return false;
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error& e) {
            log(L"[serial_worker] No thread for " + util::utf8_to_wstring_lossy(thread_name_) + L": " +
                    util::utf8_to_wstring_lossy(e.what()),
                log_level::error);
            return false;
        }
    }
    tasks_.push_back(std::move(task));
    wake_.notify_one();
    return true;
}

void serial_worker::finish() {
    std::thread ending;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finishing_ = true;
        tasks_.clear();
        ending = std::move(thread_);
    }
    wake_.notify_one();
    if (!ending.joinable()) return;
    // A task that finishes its own worker cannot wait for itself.
    if (ending.get_id() == std::this_thread::get_id()) {
        ending.detach();
    } else {
        ending.join();
    }
}

void serial_worker::run() {
    name_this_thread(thread_name_.c_str());
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return finishing_ || !tasks_.empty(); });
        if (finishing_) return;
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        try {
            task();
        } catch (const std::exception& e) {
            log(L"[serial_worker] Caught std::exception: " + util::utf8_to_wstring_lossy(e.what()), log_level::error);
        } catch (...) {
            log(L"[serial_worker] Caught unknown exception!", log_level::error);
        }
        lock.lock();
    }
}

}  // namespace kes

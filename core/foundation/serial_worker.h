#pragma once
// A thread of its own that runs the tasks handed to it one after the other,
// in the order they came. The caller never waits for a task: work that may
// take long (a service request) leaves the thread that asked for it free.
// The thread starts with the first task. `finish` drops what has not started
// yet, waits for the running task and refuses every later one; the
// destructor finishes.

#include "core/foundation/noncopyable.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace kes {

class serial_worker : public noncopyable {
public:
    // `thread_name` names the thread in process listings (at most 15 characters).
    explicit serial_worker(std::string thread_name);
    ~serial_worker();

    // False (and the task dropped) once finishing, or when no thread could be made.
    bool post(std::function<void()> task);
    void finish();

private:
    void run();

    const std::string thread_name_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool finishing_ = false;
    std::thread thread_;
};

}  // namespace kes

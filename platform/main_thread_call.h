#pragma once
// The one way to run work on the main thread from any thread (widgets, the
// clipboard, the tray, the agent's scripts): called on the main thread the
// work runs at once, else it is handed to the main queue. Waiting from the
// main thread would wait for itself, so no caller needs to ask first.

#include "platform/main_queue.h"

#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace platform {

// Waits for the answer; nothing once the queue is closed.
template <class F>
auto call_on_main_thread(main_queue& queue, F&& work) -> std::optional<std::invoke_result_t<F>> {
    if (queue.is_main_thread()) return std::forward<F>(work)();
    return queue.sync_result(std::forward<F>(work));
}

// Does not wait.
template <class F>
void post_to_main_thread(main_queue& queue, F&& work) {
    if (queue.is_main_thread()) {
        std::forward<F>(work)();
        return;
    }
    queue.async(std::forward<F>(work));
}

// Does not wait; handed over, it runs only if `alive` still has its object
// then (the caller's lifetime token).
template <class T, class F>
void post_to_main_thread_while(main_queue& queue, std::weak_ptr<T> alive, F&& work) {
    if (queue.is_main_thread()) {
        std::forward<F>(work)();
        return;
    }
    queue.async([alive = std::move(alive), work = std::forward<F>(work)]() mutable {
        if (alive.lock()) work();
    });
}

}  // namespace platform

#pragma once
// Serves a main queue from inside the toolkit's event loop: a socket notifier
// on the queue's eventfd drains it, one timer stands for its earliest timer,
// and a notifier per watched descriptor runs that descriptor's handler. Once
// the queue's quit is asked, every running event loop (modal ones too) ends
// with its exit code.
//
// Tasks keep the queue's rules: serial, in order, never one inside another
// (a task's modal loop holds the queue, which is why the agent's alerts run
// none). Watched descriptors are served inside modal loops too, so a
// termination signal ends any loop that runs.

#include <memory>

namespace platform {

class main_queue;

class qt_main_loop {
public:
    // Needs the application object; made and used on the queue's main thread.
    explicit qt_main_loop(main_queue& queue);
    ~qt_main_loop();
    qt_main_loop(const qt_main_loop&) = delete;
    qt_main_loop& operator=(const qt_main_loop&) = delete;

    // Runs the toolkit's loop until the queue's quit; answers its exit code.
    int run();

private:
    class bridge;
    std::unique_ptr<bridge> bridge_;
};

}  // namespace platform

#pragma once
// An application without a toolkit: it runs the main queue's own loop, as the
// agent does headless, and counts how often it was run.

#include "platform/application.h"
#include "platform/main_queue.h"

namespace platform {

class fake_application final : public application {
public:
    explicit fake_application(main_queue& queue, bool screen = false) : queue_(queue), screen_(screen) {}

    int run() override {
        ++runs;
        return queue_.run();
    }
    bool has_screen() const override { return screen_; }

    int runs = 0;

private:
    main_queue& queue_;
    bool screen_;
};

}  // namespace platform

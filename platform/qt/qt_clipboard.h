#pragma once
// The desktop clipboard through the toolkit; usable from any thread (the
// clipboard itself is touched on the main thread).

#include "platform/clipboard.h"

namespace platform {

class main_queue;

class qt_clipboard final : public clipboard {
public:
    explicit qt_clipboard(main_queue& queue) : queue_(queue) {}

    void set_text(const std::string& utf8_text) override;
    std::string text() const override;

private:
    main_queue& queue_;
};

}  // namespace platform

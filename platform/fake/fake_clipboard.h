#pragma once
// A clipboard in memory.

#include "platform/clipboard.h"

#include <mutex>

namespace platform {

class fake_clipboard final : public clipboard {
public:
    void set_text(const std::string& utf8_text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        text_ = utf8_text;
        ++writes;
    }
    std::string text() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return text_;
    }
    int writes = 0;

private:
    mutable std::mutex mutex_;
    std::string text_;
};

}  // namespace platform

#pragma once
// A system version the test chooses, for the paths that older or newer
// releases take.

#include "platform/system_version.h"

#include <string>

namespace platform {

class fake_system_version final : public system_version {
public:
    explicit fake_system_version(os_version level = linux_capability_level, std::string text = "Test OS 1.0")
        : level_(level), text_(std::move(text)) {}

    os_version capability_level() const override { return level_; }
    std::string description() const override { return text_; }

    void set_level(os_version level) { level_ = level; }

private:
    os_version level_;
    std::string text_;
};

}  // namespace platform

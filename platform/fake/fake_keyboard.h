#pragma once
// A keyboard whose Shift key the test holds down or lets go.

#include "platform/keyboard.h"

#include <atomic>

namespace platform {

class fake_keyboard final : public keyboard {
public:
    bool shift_held() const override { return shift.load(); }
    std::atomic<bool> shift{false};
};

}  // namespace platform

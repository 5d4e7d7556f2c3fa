#pragma once
// The modifier keys as the window system reports them now (not as the last
// event had them: a menu chosen with the Shift key down counts).

#include "platform/keyboard.h"

namespace platform {

class main_queue;

class qt_keyboard final : public keyboard {
public:
    explicit qt_keyboard(main_queue& queue) : queue_(queue) {}

    bool shift_held() const override;

private:
    main_queue& queue_;
};

}  // namespace platform

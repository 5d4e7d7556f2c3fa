#pragma once
// The keyboard's modifier state right now (Shift held while a menu item is
// chosen picks its other action).

namespace platform {

class keyboard {
public:
    virtual ~keyboard() = default;

    virtual bool shift_held() const = 0;
};

}  // namespace platform

#include "platform/accessibility.h"

namespace platform {
namespace {

// No permission lets a Wayland client read other clients' windows: the
// answer cannot change while the session runs.
class wayland_accessibility final : public accessibility {
public:
    bool is_process_trusted() override { return false; }
};

}  // namespace

std::unique_ptr<accessibility> make_session_accessibility(session_kind kind, const std::string& display_name) {
    if (kind == session_kind::wayland) return std::make_unique<wayland_accessibility>();
    return make_x11_accessibility(display_name);
}

}  // namespace platform

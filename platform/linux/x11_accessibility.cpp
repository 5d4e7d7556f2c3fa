#include "platform/accessibility.h"

#include "platform/linux/front_application.h"
#include "platform/linux/x11_windows.h"

namespace platform {
namespace {

class x11_accessibility final : public accessibility {
public:
    explicit x11_accessibility(const std::string& display_name) : session_(display_name) {}

    bool is_process_trusted() override {
        if (!session_.connected()) return false;
        session_.begin_pass();
        const x11_windows::window_id window = front_window(session_, front_window_source::active_or_input_focus);
        if (window != 0) (void)focused_title(session_, window);
        session_.end_pass();
        // A server that went away while answering has not answered.
        return !session_.lost();
    }

private:
    x11_windows session_;
};

}  // namespace

std::unique_ptr<accessibility> make_x11_accessibility(const std::string& display_name) {
    return std::make_unique<x11_accessibility>(display_name);
}

}  // namespace platform

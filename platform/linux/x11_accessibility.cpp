#include "platform/accessibility.h"

#include "platform/linux/front_application.h"
#include "platform/linux/x11_windows.h"

namespace platform {
namespace {

class x11_accessibility final : public accessibility {
public:
    explicit x11_accessibility(const std::string& display_name) : display_name_(display_name) {}

    bool is_process_trusted() override {
        // A connection for each answer, closed with it: one kept open between
        // questions would never be read, and the server would pile up the
        // window events it asked for without end.
        x11_windows session(display_name_);
        if (!session.connected()) return false;
        session.begin_pass();
        const x11_windows::window_id window = front_window(session, front_window_source::active_or_input_focus);
        if (window != 0) (void)focused_title(session, window);
        session.end_pass();
        // A server that went away while answering has not answered.
        return !session.lost();
    }

private:
    const std::string display_name_;
};

}  // namespace

std::unique_ptr<accessibility> make_x11_accessibility(const std::string& display_name) {
    return std::make_unique<x11_accessibility>(display_name);
}

}  // namespace platform

#pragma once
// The agent's application object on Qt Widgets: one per process, made on the
// main thread before any widget. With no display it asks for Qt's offscreen
// platform, so the agent still starts (windows exist, nobody sees them). When
// a window session loses the display its loop ends, as the toolkit's own
// does when its connection breaks.

#include "platform/application.h"
#include "platform/notification_center.h"

#include <memory>
#include <string>
#include <vector>

class QApplication;

namespace platform {

class main_queue;
class qt_main_loop;
class toolkit_root_events;

// The platform to ask Qt for: "" leaves it to Qt (a platform the environment
// names, or the display's); "offscreen" when nothing names one and no display
// answers; "xcb" in a Wayland session whose X display (Xwayland) answers.
std::string choose_toolkit_platform(const std::string& requested, bool display_reachable,
                                    bool wayland_session = false);

class qt_application final : public application {
public:
    // Throws std::logic_error off the queue's main thread or when an
    // application object exists already.
    explicit qt_application(main_queue& queue, const std::string& program_name = "Kestrel");
    ~qt_application() override;
    qt_application(const qt_application&) = delete;
    qt_application& operator=(const qt_application&) = delete;

    int run() override;
    bool has_screen() const override;

    // "xcb", "offscreen", ...
    std::string platform_name() const;

private:
    // The toolkit keeps references to these for the application's whole life.
    std::vector<std::string> arguments_;
    std::vector<char*> argv_;
    int argc_ = 0;
    std::unique_ptr<QApplication> app_;
    std::unique_ptr<qt_main_loop> loop_;
    // On an X display: the toolkit's connection is spared the root's
    // property changes, and told of a new work area instead.
    std::shared_ptr<toolkit_root_events> root_events_;
    notification_center::token work_area_observation_;
    notification_center::token display_lost_observation_;
};

}  // namespace platform

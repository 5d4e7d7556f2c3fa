#pragma once
// Web pages and folders opened through the desktop's own opener
// (QDesktopServices, which runs xdg-open without a shell); where the toolkit
// has no desktop services (offscreen), xdg-open is started directly.

#include "platform/url_opener.h"

namespace platform {

class main_queue;

class desktop_url_opener final : public url_opener {
public:
    explicit desktop_url_opener(main_queue& queue) : queue_(queue) {}

    // Any thread: the check answers at once, the opening itself runs on the
    // main thread and the caller waits for it.
    open_result open_web_page(const std::string& address) override;
    open_result show_in_file_manager(const std::string& path) override;

private:
    main_queue& queue_;
};

}  // namespace platform

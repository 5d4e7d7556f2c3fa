#pragma once
// A user interface for tests: the headless one, never running a loop, and
// recording what the agent asked of the user.

#include "osx/osx_ui.h"

#include <mutex>
#include <string>
#include <vector>

namespace kes::testing {

class recording_ui : public osx_ui {
public:
    std::vector<std::wstring> opened_urls() const;
    std::vector<std::wstring> notifications() const;
    std::vector<std::wstring> blocked_items() const;

    int run_gui() override { return 0; }
    void ux_open_url(const std::wstring& address) override;
    void show_user_notification(const std::wstring& text) override;
    void on_blocked_item_focused(const std::wstring& item) override;
    void quit() override {}

private:
    mutable std::mutex mutex_;
    std::vector<std::wstring> opened_urls_;
    std::vector<std::wstring> notifications_;
    std::vector<std::wstring> blocked_items_;
};

}  // namespace kes::testing

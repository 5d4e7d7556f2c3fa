#pragma once
// The thread that draws the user interface never waits for the service. The
// program names that thread once at start; the request layer then reports
// every request made on it in the debug log and, where the rule says so
// (test programs), refuses it: the request fails at once, unsent, like any
// other failure inside the request layer.

#include <functional>
#include <string>

namespace kes::network {

enum class ui_thread_policy {
    report,  // logged as an error; the request goes on
    refuse,  // logged as an error; the request fails unsent
};

// `is_ui_thread` answers on the asking thread; empty: no thread is watched.
void set_ui_thread_rule(std::function<bool()> is_ui_thread, ui_thread_policy policy);

// For the request layer: false when a request to `path` may not be sent from
// the calling thread. Reports every request made on the watched thread.
bool may_request_on_this_thread(const std::string& path);

}  // namespace kes::network

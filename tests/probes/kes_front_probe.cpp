// Answers, from the command line, what the scanner's grabber says is in front
// on $DISPLAY, so an end-to-end script can hold it against what the X server
// itself says. One command a line on standard input, one JSON line in answer:
//
//   sync          a question outside a pass: its round trip brings in every
//                 change the server made before it
//   pass          a pass as the scanner makes it: the questions asked twice
//   begin         a pass begins and the questions are asked once ...
//   ask           ... a round trip within the pass, and they are asked again
//   end           ... the pass ends
//   trace on|off  the grabber's trace lines kept or not (kept, every
//                 question is answered afresh instead of from the pass's
//                 first answer)
//   quit
//
// The answers are "pid", "name", "path" and "title"; "pass" adds "again",
// the second asking, which must be the same.
#include "core/foundation/config.h"
#include "core/foundation/log_level.h"
#include "core/foundation/text.h"
#include "app/osx_AppleScriptExecutor.h"
#include "app/osx_grabber.h"
#include "platform/linux/x11_windows.h"
#include "platform/main_queue.h"
#include "platform/script_engine.h"
#include "tests/support_desktop/probe_support.h"

#include <memory>

namespace {

using nlohmann::json;

std::string utf8(const std::wstring& text) { return kes::util::wstring_to_utf8_lossy(text); }

// What the scanner asks at every pass and record start.
json front_of(kes::osx_grabber& grabber) {
    return {{"pid", utf8(grabber.get_active_process_id())},
            {"name", utf8(grabber.get_process_name())},
            {"path", utf8(grabber.get_process_filename())},
            {"title", utf8(grabber.get_window_title())}};
}

}  // namespace

int main() {
    auto& queue = platform::main_queue::instance();
    queue.bind_to_current_thread();  // a script, were one asked, runs here
    kes::config& settings = kes::config::instance();
    settings.set_debug_log_level(kes::log_level::error);

    auto owned_session = std::make_unique<platform::x11_windows>();
    platform::x11_windows& session = *owned_session;
    kes::osx_grabber grabber(std::make_shared<kes::osx_AppleScriptExecutor>(platform::script_engine::create(), queue),
                             std::move(owned_session));

    kes::testing::serve_commands([&](const std::string& command, const std::string& argument) -> json {
        if (command == "sync") return front_of(grabber);
        if (command == "pass") {
            grabber.begin_pass();
            json answer = front_of(grabber);
            answer["again"] = front_of(grabber);
            grabber.end_pass();
            return answer;
        }
        if (command == "begin") {
            grabber.begin_pass();
            return front_of(grabber);
        }
        if (command == "ask") {
            // As a question the pass had not answered yet would: the server's
            // events sent meanwhile come in with its reply.
            (void)session.input_focus_window();
            return front_of(grabber);
        }
        if (command == "end") {
            grabber.end_pass();
            return json::object();
        }
        if (command == "trace") {
            settings.set_debug_log_level(argument == "on" ? (kes::log_level::error | kes::log_level::ui)
                                                          : kes::log_level::error);
            return json::object();
        }
        return {{"error", "unknown command: " + command}};
    });
    return 0;
}

#pragma once
// Runs the agent's scripts. On this desktop the three front-application
// scripts ("CurrentApplicationName", "CurrentApplicationPath", "GetProcessID")
// are answered natively from X11 (the window manager's active window, else
// the input focus); script text for browsers is answered "unsupported", so a
// browser's address chain moves to its next link.
//
// An engine is used from the main thread only (callers hand their work to the
// main queue); implementations need no locking of their own.

#include <memory>
#include <string>

namespace platform {

struct script_result {
    enum class outcome { answered, not_found, failed };
    outcome status = outcome::failed;
    std::string text;   // the answer, when answered
    std::string error;  // why not, otherwise

    bool answered() const { return status == outcome::answered; }
    static script_result answer(std::string text) { return {outcome::answered, std::move(text), {}}; }
    static script_result missing(std::string why) { return {outcome::not_found, {}, std::move(why)}; }
    static script_result failure(std::string why) { return {outcome::failed, {}, std::move(why)}; }
};

class script_engine {
public:
    virtual ~script_engine() = default;

    // The engine of this desktop.
    static std::shared_ptr<script_engine> create();

    // A script bundled with the agent, by name; not_found when there is none.
    virtual script_result run_named(const std::string& name) = 0;
    // Script source text.
    virtual script_result run_source(const std::string& source) = 0;
};

}  // namespace platform

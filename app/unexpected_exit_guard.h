#pragma once
// Armed while the desktop's loop runs. The toolkit ends the process itself
// when its display connection breaks (exit, not a return from the loop), so
// the orderly end never runs; the process's exit handlers still do. Then the
// record open at that moment is completed into the journal (the next start
// uploads it), records that only memory held are reported, and the cause is
// logged. The worker threads still run then: nothing is stopped, joined or
// destroyed here.

#include "core/foundation/noncopyable.h"

#include <string>

namespace kes {

class daemon;
class logger;

class unexpected_exit_guard : public noncopyable {
public:
    unexpected_exit_guard(daemon& target, logger& activity_logger);
    // Disarms: the loop has returned and the orderly end follows.
    ~unexpected_exit_guard();

    // The toolkit's latest warning, logged as the cause should the process
    // then end. Any thread.
    static void note_toolkit_warning(const std::string& text);

    // What the exit handlers do; for tests, which cannot end their process.
    static void run_exit_handler();

private:
    daemon& target_;
    logger& activity_logger_;
};

}  // namespace kes

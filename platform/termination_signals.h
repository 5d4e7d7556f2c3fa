#pragma once
// SIGTERM, SIGINT and SIGHUP as a readable descriptor, so the main loop ends
// through the program's one orderly end instead of dying mid-write.
// `block_in_process` must run before any thread starts (threads inherit the mask).

namespace platform {

class termination_signals {
public:
    termination_signals();  // blocks the signals and opens the descriptor
    ~termination_signals();
    termination_signals(const termination_signals&) = delete;
    termination_signals& operator=(const termination_signals&) = delete;

    int fd() const { return fd_; }
    // Reads the pending signal; its number, or 0 when none was pending.
    int take();

private:
    int fd_ = -1;
};

}  // namespace platform

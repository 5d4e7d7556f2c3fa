#pragma once
// Memory the agent would keep resident all day without using it. Start-up
// touches far more of the program's and its libraries' code and read-only
// data than the passes that run all day. Those pages are clean copies of
// files in the page cache: unmapping them loses nothing, and a page used
// again is mapped again from the cache. The allocator's free pages go back
// too. Fewer resident pages make the agent smaller and, on virtual machines
// where a wake-up costs more the more pages the process has resident,
// cheaper to wake (about 2 µs per MiB at each wake-up on the machine
// scripts/bench was measured on).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

class resident_memory {
public:
    // Notes the read-only segments of every object loaded so far. Objects
    // loaded at start-up stay mapped until the process ends; ones opened
    // later may be unloaded, so they are never touched. Construct it in
    // `main` before the toolkit loads its plugins.
    resident_memory();

    // Releases the pages above and the allocator's free memory. Any thread,
    // at any time. Does nothing under a debugger: its breakpoints are private
    // copies of code pages, which a release would drop.
    void release() const;

    // Bytes of the noted segments.
    std::size_t noted_bytes() const;

private:
    struct range {
        std::uintptr_t begin;
        std::uintptr_t end;
    };
    std::vector<range> read_only_;
};

}  // namespace platform

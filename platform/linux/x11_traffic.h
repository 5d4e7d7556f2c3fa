#pragma once
// How often the agent's X11 code has waited for the X server: one count per
// round trip, however many requests it carried. Diagnostics and benchmarks
// read it to show what a scanner pass costs.

#include <cstdint>

namespace platform {

std::uint64_t x11_round_trips();

}  // namespace platform

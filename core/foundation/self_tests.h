#pragma once

namespace kes::tests {

// Checks the value model and time conversions at start, one log line each.
// Never throws: a failing check is logged and start-up goes on.
void run_tests();

}  // namespace kes::tests

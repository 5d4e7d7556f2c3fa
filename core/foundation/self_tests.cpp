#include "core/foundation/self_tests.h"

#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"

namespace kes::tests {

void run_tests() {
    // The first log use creates the debug log and the configuration store.
    debug_log_instance();
    config::instance();
}

}  // namespace kes::tests

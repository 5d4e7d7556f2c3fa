#include "core/capture/logger.h"

#include "core/foundation/debug_log.h"

namespace kes {

logger& logger::get_instance() {
    static auto* instance = new logger();  // never destroyed: the final flush runs at exit
    return *instance;
}

void logger::write_current_log_to_disk() {
    log(L"[logger:write_current_log_to_disk] Current log size is 0. No logs to write.", log_level::info);
}

}  // namespace kes

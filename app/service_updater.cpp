#include "app/service_updater.h"

#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"

#include <boost/date_time/posix_time/posix_time_types.hpp>

namespace kes {
namespace {

class service_updater final : public platform::updater {
public:
    void check_in_background() override {
        config& configuration = config::instance();
        if (!configuration.get_check_updates()) {
            log(L"[updater] A background update check was asked for; update checks are switched off.",
                log_level::info);
            return;
        }
        log(L"[updater] A background update check was asked for: the UI's next pass asks the Kestrel service "
            L"for the released version.",
            log_level::info);
        // No check made yet, as far as the schedule knows.
        configuration.set_last_update_check(boost::posix_time::not_a_date_time);
    }
};

}  // namespace

std::shared_ptr<platform::updater> make_service_updater() { return std::make_shared<service_updater>(); }

}  // namespace kes

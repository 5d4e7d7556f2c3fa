#include "core/foundation/config.h"

namespace kes {

// The settings file is not written yet: values live in memory for this run.
void config::save() {}

bool config::load() { return false; }

}  // namespace kes

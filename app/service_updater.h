#pragma once
// The updater of this desktop. It has no update feed of its own: the Kestrel
// service says which client version is released, and the agent's own update
// check asks it. A check asked for in the background makes that check due at
// once, so the UI loop's next pass asks the service and tells the user of a
// newer version (unless the user switched update checks off).

#include "platform/updater.h"

#include <memory>

namespace kes {

std::shared_ptr<platform::updater> make_service_updater();

}  // namespace kes

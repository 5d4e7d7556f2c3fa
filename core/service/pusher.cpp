#include "core/service/pusher.h"

namespace kes {

pusher::pusher() = default;
pusher::~pusher() = default;

void pusher::shove() {}

}  // namespace kes

#pragma once
// Names the calling thread as process listings and debuggers show it (at
// most 15 characters are kept), so each worker's cost can be told apart.

namespace kes {

void name_this_thread(const char* name);

}  // namespace kes

#include "core/foundation/thread_name.h"

#include <pthread.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace kes {

void name_this_thread(const char* name) {
    // The kernel keeps 15 characters and refuses longer names whole.
    const std::string kept(name, std::min<std::size_t>(std::strlen(name), 15));
    (void)pthread_setname_np(pthread_self(), kept.c_str());
}

}  // namespace kes

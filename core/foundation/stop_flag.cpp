#include "core/foundation/stop_flag.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <ctime>

namespace kes {
namespace {

static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t) &&
                  std::atomic<std::uint32_t>::is_always_lock_free,
              "the kernel waits on the flag's own word");

std::uint32_t* word_of(std::atomic<std::uint32_t>& state) { return reinterpret_cast<std::uint32_t*>(&state); }

}  // namespace

void stop_flag::raise() {
    state_.store(1);
    ::syscall(SYS_futex, word_of(state_), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

bool stop_flag::wait_for(std::chrono::milliseconds duration) const {
    using clock = std::chrono::steady_clock;
    const clock::time_point deadline = clock::now() + duration;
    while (!raised()) {
        const clock::duration left = deadline - clock::now();
        if (left <= clock::duration::zero()) return false;
        const auto whole = std::chrono::duration_cast<std::chrono::seconds>(left);
        const timespec timeout{static_cast<std::time_t>(whole.count()),
                               static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(left - whole).count())};
        // The kernel sleeps only while the word still reads 0, so a raise
        // between the check above and this call is not missed; signals and
        // spurious returns go round the loop.
        ::syscall(SYS_futex, word_of(state_), FUTEX_WAIT_PRIVATE, 0u, &timeout, nullptr, 0);
    }
    return true;
}

}  // namespace kes

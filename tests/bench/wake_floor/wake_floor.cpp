// Wakes as the agent's loops do and does nothing else: one thread once a
// second (the scanner), one twice a second (the UI loop), each sleeping on a
// condition variable with a timeout. What it costs is what the wake-ups
// alone cost on this machine, the least an agent within that budget can
// cost. Runs until SIGTERM or SIGINT.
//   kes_wake_floor
#include <csignal>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <pthread.h>
#include <unistd.h>

namespace {

std::mutex mutex;
std::condition_variable wake;
bool stopping = false;

void sleeper(std::chrono::milliseconds period) {
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) wake.wait_for(lock, period);
}

}  // namespace

int main() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // the sleepers inherit the mask

    std::thread once_a_second(sleeper, std::chrono::milliseconds(1000));
    std::thread twice_a_second(sleeper, std::chrono::milliseconds(500));
    int received = 0;
    sigwait(&signals, &received);
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    once_a_second.join();
    twice_a_second.join();
    return 0;
}

#pragma once
// Ending the agent never waits for the service. A transfer_stop is the
// cancellation token of one run of the agent: once it is stopped, a request
// made under it fails at once with a transport failure, a transfer in flight
// is aborted at libcurl's next progress report (at least once a second, also
// while nothing arrives), and the reachability probe is no longer run.
//
// Requests are made on every thread, deep inside the service client, so the
// token is found rather than handed down: the daemon installs its own for the
// process while it exists; a request whose options name a token uses that one.

#include "core/foundation/noncopyable.h"

#include <atomic>
#include <memory>

typedef void CURL;

namespace kes::network {

struct transport_options;

class transfer_stop : public noncopyable {
public:
    void stop() noexcept { stopped_.store(true); }
    bool stopped() const noexcept { return stopped_.load(); }

private:
    std::atomic<bool> stopped_{false};
};

// The process's token; none until one is installed.
void install_transfer_stop(std::shared_ptr<const transfer_stop> token);
// Removes the process's token when it is still `token`.
void remove_transfer_stop(const transfer_stop* token);
std::shared_ptr<const transfer_stop> installed_transfer_stop();

// The token a transfer made with these options follows (may be none).
std::shared_ptr<const transfer_stop> transfer_stop_for(const transport_options& options);

// Has libcurl report progress on `handle` and abort the transfer once `token`
// is stopped. The token must outlive the transfer; none: nothing is set.
void abort_transfer_on_stop(CURL* handle, const transfer_stop* token);

inline bool is_stopped(const std::shared_ptr<const transfer_stop>& token) { return token && token->stopped(); }

}  // namespace kes::network

#pragma once
// A loopback TCP port that takes connections into its queue and never
// answers: a service that hangs. It also tells whether anything reached it.

#include <string>

namespace kes::testing {

class loopback_listener {
public:
    loopback_listener();
    ~loopback_listener();
    loopback_listener(const loopback_listener&) = delete;
    loopback_listener& operator=(const loopback_listener&) = delete;

    int port() const { return port_; }
    // "127.0.0.1:PORT", as the settings `url` and `api_url` hold it.
    std::wstring host() const;
    // True once a connection waits in the queue.
    bool was_reached() const;

private:
    int fd_ = -1;
    int port_ = 0;
};

// A loopback port that nothing listens on.
int closed_loopback_port();

}  // namespace kes::testing

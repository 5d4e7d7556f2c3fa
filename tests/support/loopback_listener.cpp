#include "tests/support/loopback_listener.h"

#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace kes::testing {
namespace {

int bound_loopback_socket(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("bind");
    }
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

loopback_listener::loopback_listener() {
    fd_ = bound_loopback_socket(port_);
    if (::listen(fd_, 16) != 0) {
        ::close(fd_);
        throw std::runtime_error("listen");
    }
}

loopback_listener::~loopback_listener() { ::close(fd_); }

std::wstring loopback_listener::host() const { return L"127.0.0.1:" + std::to_wstring(port_); }

bool loopback_listener::was_reached() const {
    pollfd waiting{fd_, POLLIN, 0};
    return ::poll(&waiting, 1, 0) == 1 && (waiting.revents & POLLIN) != 0;
}

int closed_loopback_port() {
    int port = 0;
    ::close(bound_loopback_socket(port));
    return port;
}

}  // namespace kes::testing

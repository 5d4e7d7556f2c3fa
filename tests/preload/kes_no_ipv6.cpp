// Loaded ahead of the C library (LD_PRELOAD) into a program under test, it
// makes the machine look as if it had no IPv6: IPv6 sockets cannot be made,
// as on a kernel started without IPv6. Everything else is passed through.
#include <dlfcn.h>
#include <sys/socket.h>

#include <cerrno>

extern "C" int socket(int domain, int type, int protocol) {
    if (domain == AF_INET6) {
        errno = EAFNOSUPPORT;
        return -1;
    }
    using socket_call = int (*)(int, int, int);
    static const auto next = reinterpret_cast<socket_call>(dlsym(RTLD_NEXT, "socket"));
    return next(domain, type, protocol);
}

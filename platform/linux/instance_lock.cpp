#include "platform/instance_lock.h"

#include "platform/bundle.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace platform {
namespace {

class unique_fd {
public:
    unique_fd() = default;
    explicit unique_fd(int fd) : fd_(fd) {}
    ~unique_fd() { reset(); }
    unique_fd(unique_fd&& other) noexcept : fd_(other.release()) {}
    unique_fd& operator=(unique_fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.release();
        }
        return *this;
    }
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

std::optional<sockaddr_un> socket_address(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return std::nullopt;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

// A folder another user could write into would let them hold our lock or
// impersonate the running copy.
bool is_private_folder(const std::string& folder) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

// A lock file another user owns (or anything but a plain file) is not ours to trust.
bool is_own_regular_file(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::getuid();
}

class file_instance_lock final : public instance_lock {
public:
    // Without a socket path the lock only keeps copies apart; nobody listens.
    file_instance_lock(std::string lock_path, std::string socket_path, bool usable_folder)
        : lock_path_(std::move(lock_path)), socket_path_(std::move(socket_path)), usable_folder_(usable_folder) {}

    void post_opening_notification() override {
        const auto address = socket_address(socket_path_);
        if (socket_path_.empty() || !address || !usable_folder_) return;
        unique_fd sender(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (sender.get() < 0) return;
        const std::size_t length = std::strlen(opening_instance_notification);
        // No listener (ECONNREFUSED, ENOENT) or a full queue (EAGAIN): the
        // running copy, if any, has enough notifications already.
        (void)::sendto(sender.get(), opening_instance_notification, length, MSG_NOSIGNAL,
                       reinterpret_cast<const sockaddr*>(&*address), sizeof *address);
    }

    state acquire() override {
        if (lock_fd_.get() >= 0) return state::held;
        if (!usable_folder_) return state::unavailable;
        unique_fd lock(::open(lock_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        // On a read-only disk a lock file made earlier still locks; the pid in it stays stale.
        const bool writable = lock.get() >= 0;
        if (!writable) lock = unique_fd(::open(lock_path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        if (lock.get() < 0 || !is_own_regular_file(lock.get())) return state::unavailable;
        int result = 0;
        do {
            result = ::flock(lock.get(), LOCK_EX | LOCK_NB);
        } while (result != 0 && errno == EINTR);
        if (result != 0) return errno == EWOULDBLOCK ? state::taken : state::unavailable;
        lock_fd_ = std::move(lock);
        if (writable) write_own_pid();
        if (!socket_path_.empty()) listen();
        return state::held;
    }

    long holder_pid() override {
        unique_fd file(::open(lock_path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        if (file.get() < 0) return 0;
        char buffer[32] = {};
        const ssize_t got = ::read(file.get(), buffer, sizeof buffer - 1);
        if (got <= 0) return 0;
        char* end = nullptr;
        const long pid = std::strtol(buffer, &end, 10);
        return pid > 0 && end != buffer ? pid : 0;
    }

    int notification_fd() const override { return listen_fd_.get(); }

    int take_notifications() override {
        if (listen_fd_.get() < 0) return 0;
        int count = 0;
        char buffer[256];
        while (true) {
            const ssize_t got = ::recv(listen_fd_.get(), buffer, sizeof buffer, MSG_DONTWAIT);
            if (got < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (std::string(buffer, static_cast<std::size_t>(got)) == opening_instance_notification) {
                ++count;
            }
        }
        return count;
    }

private:
    void write_own_pid() {
        const std::string text = std::to_string(::getpid()) + "\n";
        if (::ftruncate(lock_fd_.get(), 0) != 0) return;
        (void)::pwrite(lock_fd_.get(), text.data(), text.size(), 0);
    }

    // Only the lock holder binds, so removing a socket left by a killed copy
    // never takes the address from a live one.
    void listen() {
        const auto address = socket_address(socket_path_);
        if (!address) return;
        unique_fd listener(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (listener.get() < 0) return;
        ::unlink(socket_path_.c_str());
        if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
            return;
        }
        ::chmod(socket_path_.c_str(), 0600);
        listen_fd_ = std::move(listener);
    }

    const std::string lock_path_;
    const std::string socket_path_;
    const bool usable_folder_;
    unique_fd lock_fd_;
    unique_fd listen_fd_;
};

}  // namespace

std::unique_ptr<instance_lock> make_file_instance_lock(const std::string& folder) {
    return std::make_unique<file_instance_lock>(folder + "/kestrel.lock", folder + "/kestrel.sock",
                                                is_private_folder(folder));
}

std::unique_ptr<instance_lock> make_data_folder_lock(const std::string& folder) {
    return std::make_unique<file_instance_lock>(folder + "/kestrel.lock", std::string(), true);
}

std::shared_ptr<instance_lock> process_instance_lock() {
    static const std::shared_ptr<instance_lock> lock = make_file_instance_lock(runtime_dir());
    return lock;
}

std::shared_ptr<instance_lock> process_data_folder_lock(const std::string& folder) {
    static std::mutex guard;
    static std::map<std::string, std::shared_ptr<instance_lock>> locks;
    const std::lock_guard<std::mutex> lock(guard);
    std::shared_ptr<instance_lock>& slot = locks[folder];
    if (!slot) slot = make_data_folder_lock(folder);
    return slot;
}

}  // namespace platform

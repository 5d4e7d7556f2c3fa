#include "core/foundation/debug_log.h"

#include "core/foundation/config.h"
#include "core/foundation/files/descriptor.h"
#include "core/foundation/files/private_files.h"
#include "core/foundation/files/read_file.h"
#include "core/foundation/files/regular_file.h"
#include "core/foundation/log_secrets.h"
#include "core/foundation/system.h"
#include "core/foundation/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <mutex>

namespace kes {

class debug_log {
public:
    std::recursive_mutex mutex;
    std::unique_ptr<fs::unique_fd> file;  // none while the file cannot be opened
    bool said_not_regular = false;         // told on stderr that no file log is kept
};

namespace {

constexpr off_t reopen_size = 0xA00000;

std::atomic<debug_log*> published{nullptr};

std::string log_path() { return system::create()->get_debug_log_path(); }

// Appending (or, `truncate`, emptied first); nothing when the log folder or
// the file cannot be made. Only a regular file is written: a pipe in its
// place would hold every thread that logs, the orderly end too, once its
// buffer is full. That is said once on stderr (the log itself cannot say
// it), and the agent goes on without a file log while the name holds no file.
std::unique_ptr<fs::unique_fd> open_file(debug_log& target, bool truncate) {
    try {
        fs::create_private_directories(system::create()->get_log_dir());
    } catch (...) {
        return nullptr;
    }
    // Readable too: a line is appended only after a look at the last byte.
    const std::string path = log_path();
    fs::opened_file opened = fs::open_regular_file(path, O_RDWR | O_CREAT | O_APPEND | (truncate ? O_TRUNC : 0));
    if (opened.is_open()) return std::make_unique<fs::unique_fd>(std::move(opened.fd));
    if (opened.error == 0 && !target.said_not_regular) {
        target.said_not_regular = true;
        std::fprintf(stderr, "Kestrel: the debug log %s is not a regular file; no debug log is written there.\n",
                     path.c_str());
        std::fflush(stderr);
    }
    return nullptr;
}

off_t file_size(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? info.st_size : 0;
}

std::string timestamp_now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%S", &local);
    return text;
}

}  // namespace

debug_log& debug_log_instance() {
    if (debug_log* existing = published.load(std::memory_order_acquire)) return *existing;
    // Published before the file is opened: the configuration store, created by
    // the first line's mask lookup, logs while it loads and must find us.
    auto* created = new debug_log();  // never destroyed: threads may log during exit
    published.store(created, std::memory_order_release);
    std::lock_guard<std::recursive_mutex> lock(created->mutex);
    // No folder, no file: every later line tries again.
    created->file = open_file(*created, false);
    return *created;
}

void debug_log_write_line(debug_log& target, const std::wstring& message, std::uint32_t level) {
    if ((level & config::instance().get_debug_log_level()) == 0) return;
    try {
        std::lock_guard<std::recursive_mutex> lock(target.mutex);
        if (!target.file) target.file = open_file(target, false);
        if (!target.file) return;
        // Only the size limit empties the log; a full disk or another
        // failed write costs the lines that failed, never those before.
        if (file_size(target.file->get()) > reopen_size) {
            debug_log_reopen();
            if (!target.file) return;
        }
        std::string line;
        if (fs::ends_inside_a_line(target.file->get())) line += '\n';
        line += timestamp_now();
        line += ':';
        line += std::to_string(level);
        line += ':';
        line += util::wstring_to_utf8_lossy(without_secrets(message));
        line += '\n';
        // After a failure the file is opened again by its path, appending:
        // a log removed or replaced meanwhile is written where it is looked for.
        if (!fs::write_all(target.file->get(), line)) target.file.reset();
    } catch (...) {
        // A line that cannot be written is dropped.
    }
}

bool log_enabled(std::uint32_t level) { return (level & config::instance().get_debug_log_level()) != 0; }

void log(const std::wstring& message, std::uint32_t level) {
    if (level == 0) return;
    debug_log_write_line(debug_log_instance(), message, level);
}

void log(const wchar_t* message, std::uint32_t level) {
    if (level == 0) return;
    debug_log& target = debug_log_instance();  // the first line creates the log, then the store
    if (!log_enabled(level)) return;
    debug_log_write_line(target, message, level);
}

void debug_log_reopen() {
    debug_log& target = debug_log_instance();
    std::lock_guard<std::recursive_mutex> lock(target.mutex);
    target.file.reset();
    target.file = open_file(target, true);
}

std::wstring debug_log_read() {
    // The writer starts afresh past 10 MiB; the last line may go beyond that.
    constexpr std::size_t max_read_bytes = 16 * 1024 * 1024;
    debug_log& target = debug_log_instance();
    std::lock_guard<std::recursive_mutex> lock(target.mutex);
    const fs::file_contents file = fs::read_regular_file(log_path(), max_read_bytes);
    return file.is_read() ? util::utf8_to_wstring_lossy(file.bytes) : std::wstring();
}

int curl_debug_callback(CURL*, int type, char* data, std::size_t size, void*) {
    constexpr int curlinfo_text = 0;
    if (type != curlinfo_text || size == 0 || data == nullptr) return 0;
    debug_log_write_line(debug_log_instance(), util::widen(std::string_view(data, size - 1)),
                         log_level::network);
    return 0;
}

}  // namespace kes

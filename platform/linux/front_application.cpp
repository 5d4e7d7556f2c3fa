#include "platform/front_application.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <vector>

namespace platform {
namespace {

constexpr off_t max_plist_size = 1 << 20;

std::string base_name(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Undoes the five predefined XML entities of a plist string value.
std::string xml_unescape(const std::string& text) {
    static const std::pair<const char*, char> entities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        if (text[i] == '&') {
            for (const auto& [entity, character] : entities) {
                const std::string name(entity);
                if (text.compare(i, name.size(), name) == 0) {
                    out += character;
                    i += name.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) out += text[i++];
    }
    return out;
}

}  // namespace

x11_windows::window_id front_window(x11_windows& session, front_window_source source) {
    const std::optional<x11_windows::window_id> active = session.active_window();
    if (active) return *active;
    if (source == front_window_source::active_window) return 0;
    // A window manager that names the active window has named none: the
    // input focus then rests on the manager's own window or the root, which
    // is no application of the user's.
    if (session.window_manager_names_active_window()) return 0;
    return session.input_focus_window();
}

std::string executable_of(int pid) {
    if (pid <= 0) return {};
    std::vector<char> buffer(4096);
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    const ssize_t length = ::readlink(link.c_str(), buffer.data(), buffer.size() - 1);
    if (length <= 0) return {};
    std::string path(buffer.data(), static_cast<std::size_t>(length));
    // A program replaced on disk while it runs still names its old file.
    const std::string deleted = " (deleted)";
    if (ends_with(path, deleted)) path.resize(path.size() - deleted.size());
    return path;
}

std::string application_path_of(const std::string& executable) {
    for (std::string folder = executable; !folder.empty();) {
        const auto slash = folder.rfind('/');
        if (slash == std::string::npos || slash == 0) break;
        folder.resize(slash);
        if (ends_with(folder, ".app")) return folder;
    }
    return executable;
}

std::string executable_memo::of(x11_windows::window_id window, int pid) {
    if (window != window_ || pid != pid_ || executable_.empty()) {
        window_ = window;
        pid_ = pid;
        executable_ = executable_of(pid);
    }
    return executable_;
}

std::optional<front_application> application_of(x11_windows& session, x11_windows::window_id window,
                                                executable_memo* memo) {
    if (window == 0) return std::nullopt;
    const std::optional<int> pid = session.window_pid(window);
    if (!pid) return std::nullopt;
    front_application facts;
    facts.pid = *pid;
    const std::string executable = memo ? memo->of(window, *pid) : executable_of(*pid);
    facts.name = session.window_class(window);
    if (facts.name.empty()) facts.name = base_name(executable);
    facts.path = application_path_of(executable);
    return facts;
}

std::string focused_title(x11_windows& session, x11_windows::window_id window) {
    if (window == 0) return {};
    const x11_windows::window_id owner = session.transient_for(window);
    return session.window_title(owner != 0 ? owner : window);
}

std::string info_plist_string(const std::string& plist_path, const std::string& key) {
    // The path comes from wherever the front program lies: only a regular
    // file of plausible size is read, so a pipe or a device there can
    // neither block the scanner nor fill its memory.
    const int fd = ::open(plist_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    struct stat info {};
    std::string text;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= max_plist_size) {
        text.resize(static_cast<std::size_t>(info.st_size));
        const ssize_t got = ::read(fd, text.data(), text.size());
        text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    ::close(fd);
    const std::string key_tag = "<key>" + key + "</key>";
    const auto at = text.find(key_tag);
    if (at == std::string::npos) return {};
    std::size_t next = at + key_tag.size();
    while (next < text.size() && std::isspace(static_cast<unsigned char>(text[next]))) ++next;
    const std::string open = "<string>";
    if (text.compare(next, open.size(), open) != 0) return {};
    const auto value_start = next + open.size();
    const auto value_end = text.find("</string>", value_start);
    if (value_end == std::string::npos) return {};
    return xml_unescape(text.substr(value_start, value_end - value_start));
}

}  // namespace platform

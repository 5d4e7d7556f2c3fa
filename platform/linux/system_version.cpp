#include "platform/system_version.h"

#include <sys/utsname.h>

#include <fstream>
#include <sstream>
#include <tuple>

namespace platform {

bool operator<(const os_version& a, const os_version& b) {
    return std::tie(a.major, a.minor, a.patch) < std::tie(b.major, b.minor, b.patch);
}

bool operator==(const os_version& a, const os_version& b) {
    return std::tie(a.major, a.minor, a.patch) == std::tie(b.major, b.minor, b.patch);
}

namespace {

// A shell-style value as os-release allows it: bare, or in single or double
// quotes, where a backslash keeps the next character.
std::string unquote(const std::string& raw) {
    if (raw.size() < 2 || (raw.front() != '"' && raw.front() != '\'') || raw.back() != raw.front()) return raw;
    const char quote = raw.front();
    const std::string inner = raw.substr(1, raw.size() - 2);
    if (quote == '\'') return inner;
    std::string value;
    for (std::size_t i = 0; i < inner.size(); ++i) {
        if (inner[i] == '\\' && i + 1 < inner.size()) ++i;
        value += inner[i];
    }
    return value;
}

std::string field(const std::string& text, const std::string& key) {
    std::istringstream lines(text);
    std::string line;
    std::string found;
    while (std::getline(lines, line)) {
        if (line.rfind(key + "=", 0) == 0) found = unquote(line.substr(key.size() + 1));
    }
    return found;
}

std::string read_bounded(const char* path) {
    constexpr std::size_t limit = 64 * 1024;  // an os-release file is a few hundred bytes
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::string text(limit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(limit));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

class linux_system_version final : public system_version {
public:
    linux_system_version() {
        std::string release = read_bounded("/etc/os-release");
        if (release.empty()) release = read_bounded("/usr/lib/os-release");
        utsname kernel{};
        const bool known = ::uname(&kernel) == 0;
        description_ = describe_release(os_release_pretty_name(release), known ? kernel.sysname : "",
                                        known ? kernel.release : "");
    }

    os_version capability_level() const override { return linux_capability_level; }
    std::string description() const override { return description_; }

private:
    std::string description_;
};

}  // namespace

std::string os_release_pretty_name(const std::string& os_release_text) {
    const std::string pretty = field(os_release_text, "PRETTY_NAME");
    if (!pretty.empty()) return pretty;
    const std::string name = field(os_release_text, "NAME");
    const std::string version = field(os_release_text, "VERSION");
    if (name.empty() || version.empty()) return name + version;
    return name + " " + version;
}

std::string describe_release(const std::string& pretty_name, const std::string& kernel_name,
                             const std::string& kernel_release) {
    std::string kernel = kernel_name;
    if (!kernel_release.empty()) kernel += (kernel.empty() ? "" : " ") + kernel_release;
    if (pretty_name.empty()) return kernel.empty() ? "Linux" : kernel;
    if (kernel.empty()) return pretty_name;
    return pretty_name + ", " + kernel;
}

std::shared_ptr<system_version> system_version::create() { return std::make_shared<linux_system_version>(); }

}  // namespace platform

#pragma once
// Which operating-system release the agent runs on, in two senses: the
// capability level its version checks compare with (what the desktop offers,
// on the scale those checks use), and the release text shown to the user.

#include <memory>
#include <string>

namespace platform {

struct os_version {
    int major = 0;
    int minor = 0;
    int patch = 0;
};

bool operator<(const os_version& a, const os_version& b);
bool operator==(const os_version& a, const os_version& b);

class system_version {
public:
    virtual ~system_version() = default;

    // This desktop: capability level 12.0, and the Linux release text.
    static std::shared_ptr<system_version> create();

    virtual os_version capability_level() const = 0;
    // The release as the user knows it, e.g. "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64".
    virtual std::string description() const = 0;

    bool at_least(int major, int minor = 0, int patch = 0) const {
        return !(capability_level() < os_version{major, minor, patch});
    }
};

// The capability level of every Linux desktop the agent supports.
inline constexpr os_version linux_capability_level{12, 0, 0};

// The PRETTY_NAME of an os-release file's text (quotes and escapes removed),
// else NAME and VERSION together; empty when neither is there.
std::string os_release_pretty_name(const std::string& os_release_text);

// The description built from the os-release name and the kernel's name and
// release; either part may be empty.
std::string describe_release(const std::string& pretty_name, const std::string& kernel_name,
                             const std::string& kernel_release);

}  // namespace platform

#include "platform/login_items.h"

#include "core/foundation/files/descriptor.h"
#include "core/foundation/files/private_files.h"
#include "core/foundation/files/read_file.h"
#include "core/foundation/files/replace_file.h"
#include "platform/info_plist.h"
#include "platform/linux/desktop_entry.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace platform {
namespace {

// An autostart entry is a few hundred bytes; anything much larger is not ours.
constexpr long max_entry_size = 64 * 1024;

// Identifiers become file names: reverse-DNS characters only.
bool is_plain_identifier(const std::string& identifier) {
    if (identifier.empty() || identifier.size() > 200 || identifier[0] == '.') return false;
    return std::all_of(identifier.begin(), identifier.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
               c == '-' || c == '_';
    });
}

class autostart_login_items final : public login_items {
public:
    autostart_login_items(std::string main_bundle, std::string autostart_folder)
        : main_bundle_(std::move(main_bundle)), folder_(std::move(autostart_folder)) {}

    bool set_enabled(const std::string& identifier, bool enabled) override {
        if (!is_plain_identifier(identifier)) return false;
        return enabled ? enable(identifier) : disable(identifier);
    }

    bool is_enabled(const std::string& identifier) override {
        if (!is_plain_identifier(identifier)) return false;
        const std::optional<std::string> exec = exec_of(identifier);
        const std::optional<std::map<std::string, std::string>> keys = entry_keys(identifier);
        if (!exec || !keys) return false;
        const auto written = keys->find("Exec");
        return written != keys->end() && written->second == *exec && !switched_off(*keys);
    }

    bool is_switched_off(const std::string& identifier) override {
        if (!is_plain_identifier(identifier)) return false;
        const std::optional<std::map<std::string, std::string>> keys = entry_keys(identifier);
        return keys && switched_off(*keys);
    }

private:
    std::string entry_path(const std::string& identifier) const { return folder_ + "/" + identifier + ".desktop"; }

    std::optional<std::map<std::string, std::string>> entry_keys(const std::string& identifier) const {
        const std::optional<std::string> text = kes::fs::read_small_regular_file(entry_path(identifier), max_entry_size);
        if (!text) return std::nullopt;
        return desktop_entry::main_group(*text);
    }

    // The two ways desktops' startup settings switch an entry off.
    static bool switched_off(const std::map<std::string, std::string>& keys) {
        const auto hidden = keys.find("Hidden");
        const auto enabled = keys.find("X-GNOME-Autostart-enabled");
        return (hidden != keys.end() && hidden->second == "true") ||
               (enabled != keys.end() && enabled->second == "false");
    }

    // The item's bundle in LoginItems, chosen by identifier; the first in
    // name order when several claim it.
    std::optional<std::string> item_bundle(const std::string& identifier) const {
        const std::string items = main_bundle_ + "/Contents/Library/LoginItems";
        std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(items.c_str()), ::closedir);
        if (!folder) return std::nullopt;
        std::vector<std::string> names;
        while (const dirent* entry = ::readdir(folder.get())) {
            const std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".app") == 0) names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            if (bundle_identifier(items + "/" + name) == identifier) return items + "/" + name;
        }
        return std::nullopt;
    }

    std::optional<std::string> exec_of(const std::string& identifier) const {
        const std::optional<std::string> bundle = item_bundle(identifier);
        if (!bundle) return std::nullopt;
        const std::string executable = bundle_executable(*bundle);
        if (executable.empty()) return std::nullopt;
        return desktop_entry::exec_value(executable);
    }

    bool enable(const std::string& identifier) {
        const std::optional<std::string> exec = exec_of(identifier);
        if (!exec) return false;
        std::string name = info_plist_string(main_bundle_ + "/Contents/Info.plist", "CFBundleName");
        if (name.empty()) name = identifier;
        const std::string entry = "[Desktop Entry]\n"
                                  "Type=Application\n"
                                  "Name=" + desktop_entry::string_value(name) + "\n"
                                  "Exec=" + *exec + "\n"
                                  "Terminal=false\n"
                                  "NoDisplay=true\n";
        return kes::fs::make_folders(folder_) && kes::fs::replace_small_file(entry_path(identifier), entry, 0600);
    }

    bool disable(const std::string& identifier) {
        const std::string path = entry_path(identifier);
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT || errno == ENOTDIR;
        if (S_ISDIR(info.st_mode) || ::unlink(path.c_str()) != 0) return false;
        kes::fs::sync_folder(folder_);
        return true;
    }

    const std::string main_bundle_;
    const std::string folder_;
};

}  // namespace

std::string autostart_dir() { return user_config_dir() + "/autostart"; }

std::unique_ptr<login_items> make_autostart_login_items(std::string main_bundle, std::string autostart_folder) {
    return std::make_unique<autostart_login_items>(std::move(main_bundle), std::move(autostart_folder));
}

}  // namespace platform

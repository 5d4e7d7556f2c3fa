#include "platform/launcher.h"

#include "core/foundation/files/private_files.h"
#include "core/foundation/files/read_file.h"
#include "core/foundation/files/replace_file.h"
#include "platform/info_plist.h"
#include "platform/linux/desktop_entry.h"

#include <optional>

namespace platform {
namespace {

constexpr long max_entry_size = 64 * 1024;
// The picture the bundle's icon is drawn from.
constexpr const char* icon_resource = "kestrel_icon_normal.svg";

}  // namespace

std::string applications_dir() { return user_data_dir() + "/applications"; }

bool install_launcher_entry(const std::string& main_bundle, const std::string& folder) {
    const std::string identifier = bundle_identifier(main_bundle);
    const std::string executable = bundle_executable(main_bundle);
    if (identifier.empty() || executable.empty()) return false;
    const std::optional<std::string> exec = desktop_entry::exec_value(executable);
    if (!exec) return false;
    std::string name = info_plist_string(main_bundle + "/Contents/Info.plist", "CFBundleName");
    if (name.empty()) name = identifier;
    const std::string icon = main_bundle + "/Contents/Resources/" + icon_resource;
    const std::string entry = "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=" + desktop_entry::string_value(name) + "\n"
                              "Comment=Opens the menu of " + desktop_entry::string_value(name) + "\n"
                              "Exec=" + *exec + "\n"
                              "Icon=" + desktop_entry::string_value(icon) + "\n"
                              "Terminal=false\n"
                              "Categories=Utility;\n";
    const std::string path = folder + "/" + identifier + ".desktop";
    if (kes::fs::read_small_regular_file(path, max_entry_size) == entry) return true;
    return kes::fs::make_folders(folder) && kes::fs::replace_small_file(path, entry, 0600);
}

}  // namespace platform

#pragma once
// The application bundle this process runs from: the nearest folder named
// "*.app" above the executable, or the executable's folder when there is none.

#include <string>

namespace platform {

std::string executable_path();
std::string main_bundle_path();
std::string bundle_resource_dir();  // <bundle>/Contents/Resources
// "<resource folder>/<name>.<type>" when that is a regular file; empty otherwise.
std::string bundle_resource_path(const std::string& name, const std::string& type,
                                 const std::string& resource_dir = bundle_resource_dir());

// "/proc/<pid>/exe" resolved (a program replaced on disk still names its own
// file); empty when the process cannot be read.
std::string executable_of(int pid);

// The nearest folder named "*.app" above `path`; empty when there is none.
std::string enclosing_bundle_path(const std::string& path);

// What <bundle>/Contents/Info.plist says of the bundle.
std::string bundle_identifier(const std::string& bundle_path);  // CFBundleIdentifier, or ""
// <bundle>/Contents/MacOS/<CFBundleExecutable> when that names a regular file
// this user may execute; empty otherwise (no Info.plist, no name, a name that
// leaves the folder, a folder, a file without execute permission).
std::string bundle_executable(const std::string& bundle_path);

// Folders of the freedesktop layout, with their documented fallbacks.
std::string home_dir();
std::string user_name();         // the password database's name for this user, or ""
std::string user_data_dir();    // $XDG_DATA_HOME or ~/.local/share
std::string user_config_dir();  // $XDG_CONFIG_HOME or ~/.config
std::string temp_dir();         // $TMPDIR or /tmp, with a final "/"
std::string runtime_dir();      // ($XDG_RUNTIME_DIR or /tmp)/kestrel-<uid>, created 0700
// The folder runtime_dir() is made in for a value of $XDG_RUNTIME_DIR (null or
// empty: /tmp); processes that agree on it share one desktop session.
std::string runtime_base_dir(const char* xdg_runtime_dir);

}  // namespace platform

#pragma once
// The agent's files hold activity and account data: folders are created 0700
// and files 0600, whatever the umask says.

#include <string>

namespace kes::fs {

// Creates the folder and every missing parent (new ones mode 0700). False
// when a component is not a folder or cannot be made.
bool make_folders(const std::string& path);
// The same, throwing boost::filesystem::filesystem_error (naming the
// component that failed) instead of answering false.
void create_private_directories(const std::string& path);

// Takes group and other access off an existing folder of ours (mode 0700);
// a missing folder, or one owned by another user, is left alone. False when
// the folder stays open to others.
bool tighten_private_directory(const std::string& path);

// Creates the file empty with mode 0600 when it does not exist; true when it
// exists afterwards.
bool ensure_private_file(const std::string& path);

}  // namespace kes::fs

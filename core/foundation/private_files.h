#pragma once
// The agent's files hold activity and account data: folders are created 0700
// and files 0600, whatever the umask says.

#include <string>

namespace kes::fs {

// Creates the folder and every missing parent (new ones mode 0700).
// Throws boost::filesystem::filesystem_error on failure.
void create_private_directories(const std::string& path);

// Creates the file empty with mode 0600 when it does not exist; true when it
// exists afterwards.
bool ensure_private_file(const std::string& path);

}  // namespace kes::fs

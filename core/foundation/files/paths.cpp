#include "core/foundation/files/paths.h"

#include "core/foundation/files/private_files.h"

#include <boost/filesystem.hpp>

namespace kes {
namespace filesystem {
namespace bfs = boost::filesystem;

bool exists(const std::string& path) {
    boost::system::error_code ec;
    return bfs::exists(path, ec);
}

bool is_directory(const std::string& path) {
    boost::system::error_code ec;
    return bfs::is_directory(path, ec);
}

bool is_regular_file(const std::string& path) {
    boost::system::error_code ec;
    return bfs::is_regular_file(path, ec);
}

void create_directories_if_missing(const std::string& path) {
    if (!exists(path)) fs::create_private_directories(path);
}

void rename(const std::string& from, const std::string& to) { bfs::rename(from, to); }

void remove(const std::string& path) { bfs::remove(path); }

std::string filename(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string extension(const std::string& path) {
    if (path == "." || path == "..") return {};
    const auto dot = path.rfind('.');
    return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::vector<std::string> list_directory(const std::string& path) {
    std::vector<std::string> entries;
    for (const auto& entry : bfs::directory_iterator(path)) {
        entries.push_back(path + "/" + entry.path().filename().string());
    }
    return entries;
}

std::chrono::system_clock::time_point last_write_time(const std::string& path) {
    return std::chrono::system_clock::from_time_t(bfs::last_write_time(path));
}

std::string native_path(const std::string& path) { return path; }

ifstream::ifstream(const std::string& path, std::ios::openmode mode)
    : std::ifstream(path, mode | std::ios::in) {}

ofstream::ofstream(const std::string& path, std::ios::openmode mode) {
    fs::ensure_private_file(path);
    open(path, mode | std::ios::out);
}

wofstream::wofstream(const std::string& path, std::ios::openmode mode) {
    fs::ensure_private_file(path);
    open(path, mode | std::ios::out);
}

}  // namespace filesystem
}  // namespace kes

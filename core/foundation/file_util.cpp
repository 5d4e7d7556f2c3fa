#include "core/foundation/file_util.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/posix_file.h"
#include "core/foundation/private_files.h"
#include "core/foundation/text.h"

#include <boost/filesystem.hpp>

#include <limits>

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

void LoadRawContents(const std::string& path, std::vector<char>& contents) {
    log(L"[kes::LoadRawContents]", log_level::error);
    log(L"[kes::LoadRawContents] path " + util::widen(path), log_level::error);
    contents.clear();
    // Only a regular file: a folder seeks to a size of 2^63 here, and a pipe would block.
    const fs::file_contents file = fs::read_regular_file(path, std::numeric_limits<std::size_t>::max());
    if (file.is_read()) contents.assign(file.bytes.begin(), file.bytes.end());
    log(L"[kes::LoadRawContents] contents.size " + std::to_wstring(contents.size()), log_level::error);
}

}  // namespace kes

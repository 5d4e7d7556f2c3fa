#pragma once
// Path, folder and whole-file operations on UTF-8 paths with "/" separators.
// Failures of the file system throw boost::filesystem::filesystem_error; the
// queries answer false for a path that does not exist. Folders and files the
// agent creates here are private (0700 / 0600). Reading a whole file is
// read_file.h; `kes::LoadRawContents`, which logs as it reads, is raw_contents.h.

#include <boost/filesystem/exception.hpp>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

namespace kes {
namespace filesystem {

bool exists(const std::string& path);
bool is_directory(const std::string& path);
bool is_regular_file(const std::string& path);
void create_directories_if_missing(const std::string& path);
void rename(const std::string& from, const std::string& to);
// Deletes a file or an empty folder; a missing path is left alone.
void remove(const std::string& path);

// The text after the last "/" (empty for a path ending in "/").
std::string filename(const std::string& path);
// From the last "." to the end, dot included; empty without a dot and for "." and "..".
std::string extension(const std::string& path);
// Every entry as "<path>/<name>", in the folder's own order, without recursion.
std::vector<std::string> list_directory(const std::string& path);
std::chrono::system_clock::time_point last_write_time(const std::string& path);
std::string native_path(const std::string& path);

// File streams on UTF-8 paths. The output streams create missing files 0600.
class ifstream : public std::ifstream {
public:
    explicit ifstream(const std::string& path, std::ios::openmode mode = std::ios::in);
};

class ofstream : public std::ofstream {
public:
    explicit ofstream(const std::string& path, std::ios::openmode mode = std::ios::out);
};

class wofstream : public std::wofstream {
public:
    explicit wofstream(const std::string& path, std::ios::openmode mode = std::ios::out);
};

}  // namespace filesystem
}  // namespace kes

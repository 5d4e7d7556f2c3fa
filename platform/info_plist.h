#pragma once
// The string values of an application bundle's Info.plist (an XML property
// list). Only what a bundle's description needs is read: the string entries of
// the top-level dictionary. The file may lie anywhere a program runs from, so
// only a regular file of at most max_info_plist_size bytes is read; anything
// else reads as an empty list.

#include <map>
#include <string>

namespace platform {

inline constexpr long max_info_plist_size = 1L << 20;

// Key -> value of every <key>K</key><string>V</string> pair directly inside the
// top-level <dict>, with XML entities and character references undone.
// Entries of nested dictionaries and values of other types are left out.
std::map<std::string, std::string> info_plist_strings(const std::string& plist_path);

// One of those values; empty when the file, the key or a string value is missing.
std::string info_plist_string(const std::string& plist_path, const std::string& key);

// Sets the top-level entry `key` to the string `value`, in place of whatever
// value it had, or adds it at the dictionary's end; the rest of the file stays
// as written. The file is replaced atomically and keeps its mode. False, with
// the file unchanged, when it is no property list this reader understands or
// cannot be written.
bool set_info_plist_string(const std::string& plist_path, const std::string& key, const std::string& value);

}  // namespace platform

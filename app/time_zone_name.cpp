#include "app/time_zone_name.h"

#include <boost/filesystem.hpp>

#include <fstream>

namespace kes {
namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// "/usr/share/zoneinfo/posix/Asia/Tokyo" -> "Asia/Tokyo"; "" when the path
// is not inside a zoneinfo tree.
std::string name_inside_zoneinfo(const std::string& path) {
    static const std::string marker = "zoneinfo/";
    const auto at = path.rfind(marker);
    if (at == std::string::npos) return {};
    std::string name = path.substr(at + marker.size());
    for (const char* variant : {"posix/", "right/"}) {
        if (name.rfind(variant, 0) == 0) name.erase(0, std::char_traits<char>::length(variant));
    }
    return name;
}

}  // namespace

std::string local_time_zone_name(const char* tz, const std::string& etc_dir) {
    if (tz) {
        std::string value = tz;
        if (!value.empty() && value.front() == ':') value.erase(0, 1);
        if (value.empty()) return "UTC";  // the C library's reading of an empty TZ
        if (value.front() == '/') return name_inside_zoneinfo(value);
        return value;
    }

    std::ifstream timezone_file(etc_dir + "/timezone");
    std::string line;
    if (timezone_file && std::getline(timezone_file, line)) {
        const std::string name = trimmed(line);
        if (!name.empty()) return name;
    }

    const boost::filesystem::path localtime(etc_dir + "/localtime");
    boost::system::error_code ec;
    const auto status = boost::filesystem::symlink_status(localtime, ec);
    if (ec || !boost::filesystem::exists(status)) return "UTC";  // no local zone configured
    if (!boost::filesystem::is_symlink(status)) return {};
    const auto target = boost::filesystem::read_symlink(localtime, ec);
    return ec ? std::string() : name_inside_zoneinfo(target.string());
}

}  // namespace kes

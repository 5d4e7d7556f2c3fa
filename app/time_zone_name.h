#pragma once
// The local time zone's IANA name ("Europe/Berlin"), as the C library would
// choose the zone: the TZ variable first, then the system's setting.

#include <string>

namespace kes {

// `tz` is the TZ variable (null when unset); `etc_dir` holds "timezone" and
// "localtime". Empty when the zone has no name we can tell (a TZ rule string
// path outside a zoneinfo tree, or a copied localtime file).
std::string local_time_zone_name(const char* tz, const std::string& etc_dir = "/etc");

}  // namespace kes

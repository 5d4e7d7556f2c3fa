#pragma once
// The plain results the web-service API turns its answers into.

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace Kestrel::Network {

struct activation_result {
    std::wstring account_key;
    std::wstring data_key;  // empty when the service sent none
};

struct client_version {
    std::int32_t major = 0;
    std::int32_t minor = 0;
    std::int32_t revision = 0;
    std::int32_t build = 0;
};

struct alert {
    std::wstring message;
    std::wstring url;  // empty when the alert holds none
};

struct alerts_result {
    std::vector<alert> alerts;
    boost::posix_time::ptime still_zone_until;  // not-a-date-time when absent
    std::int32_t still_zone_duration = -1;       // minutes; -1 when absent
};

struct block_list_result {
    bool blocking_enabled = false;
    std::vector<std::wstring> block_list;
    std::vector<std::wstring> extended_domain_list;
};

}  // namespace Kestrel::Network

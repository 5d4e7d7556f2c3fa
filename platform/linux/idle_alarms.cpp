#include "platform/linux/idle_alarms.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace platform::xcb {
namespace {

// On the wire a system counter is its id, its resolution (8 bytes), the
// length of its name and the name, padded to four bytes. The name is read at
// its wire offset: xcb's own accessor for it assumes a padded structure.
constexpr std::size_t counter_header_bytes = 4 + 8 + 2;

std::size_t padded(std::size_t bytes) { return (bytes + 3) & ~std::size_t{3}; }

xcb_sync_int64_t sync_value(std::int64_t value) {
    return {static_cast<std::int32_t>(value >> 32), static_cast<std::uint32_t>(value & 0xFFFFFFFF)};
}

xcb_sync_alarm_t request_alarm(const link& connection, xcb_sync_counter_t counter, xcb_sync_testtype_t test,
                               xcb_void_cookie_t& cookie) {
    const xcb_sync_alarm_t alarm = xcb_generate_id(connection.get());
    xcb_sync_create_alarm_value_list_t values{};
    values.counter = counter;
    values.valueType = XCB_SYNC_VALUETYPE_ABSOLUTE;
    values.value = sync_value(idle_timeline::threshold_ms);
    values.testType = test;
    // No delta: a transition alarm stays armed and reports every crossing.
    values.delta = sync_value(0);
    values.events = 1;
    cookie = xcb_sync_create_alarm_aux_checked(
        connection.get(), alarm,
        XCB_SYNC_CA_COUNTER | XCB_SYNC_CA_VALUE_TYPE | XCB_SYNC_CA_VALUE | XCB_SYNC_CA_TEST_TYPE |
            XCB_SYNC_CA_DELTA | XCB_SYNC_CA_EVENTS,
        &values);
    return alarm;
}

}  // namespace

std::int64_t monotonic_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t widen_server_time(std::uint32_t server_ms, std::int64_t near_ms) {
    const auto behind = static_cast<std::int32_t>(static_cast<std::uint32_t>(near_ms) - server_ms);
    return near_ms - behind;
}

void idle_timeline::read(std::int64_t at_ms, std::int64_t idle_ms) {
    last_input_ms_ = at_ms - idle_ms;
    below_threshold_ = idle_ms < threshold_ms;
}

void idle_timeline::crossed(bool upwards, std::int64_t at_ms, std::int64_t counter_ms) {
    last_input_ms_ = at_ms - counter_ms;
    below_threshold_ = !upwards;
}

std::int64_t idle_timeline::idle_ms_at(std::int64_t now_ms) const {
    const std::int64_t elapsed = std::max<std::int64_t>(now_ms - last_input_ms_, 0);
    return below_threshold_ ? std::min(elapsed, threshold_ms - 1) : std::max(elapsed, threshold_ms);
}

std::optional<sync_counters> find_sync_counters(const link& connection) {
    xcb_connection_t* c = connection.get();
    const xcb_sync_initialize_cookie_t version = xcb_sync_initialize(c, XCB_SYNC_MAJOR_VERSION, XCB_SYNC_MINOR_VERSION);
    const xcb_sync_list_system_counters_cookie_t list = xcb_sync_list_system_counters(c);
    connection.begin_wait();
    const owned<xcb_sync_initialize_reply_t> initialized(xcb_sync_initialize_reply(c, version, nullptr));
    const owned<xcb_sync_list_system_counters_reply_t> reply(xcb_sync_list_system_counters_reply(c, list, nullptr));
    if (!initialized || !reply) return std::nullopt;

    sync_counters found;
    const char* entry = reinterpret_cast<const char*>(reply.get() + 1);
    const char* const end = entry + std::size_t{reply->length} * 4;
    for (std::uint32_t i = 0; i < reply->counters_len && entry + counter_header_bytes <= end; ++i) {
        xcb_sync_counter_t id = 0;
        std::uint16_t name_length = 0;
        std::memcpy(&id, entry, sizeof id);
        std::memcpy(&name_length, entry + 12, sizeof name_length);
        if (entry + counter_header_bytes + name_length > end) break;
        const std::string_view name(entry + counter_header_bytes, name_length);
        if (name == "IDLETIME") found.idle_time = id;
        if (name == "SERVERTIME") found.server_time = id;
        entry += padded(counter_header_bytes + name_length);
    }
    if (found.idle_time == 0 || found.server_time == 0) return std::nullopt;
    return found;
}

idle_alarm_requests request_idle_alarms(const link& connection, xcb_sync_counter_t idle_time) {
    idle_alarm_requests requests;
    requests.rising =
        request_alarm(connection, idle_time, XCB_SYNC_TESTTYPE_POSITIVE_TRANSITION, requests.rising_cookie);
    requests.falling =
        request_alarm(connection, idle_time, XCB_SYNC_TESTTYPE_NEGATIVE_TRANSITION, requests.falling_cookie);
    return requests;
}

bool idle_alarms_made(const link& connection, const idle_alarm_requests& requests) {
    bool made = true;
    for (const xcb_void_cookie_t cookie : {requests.rising_cookie, requests.falling_cookie}) {
        if (xcb_generic_error_t* error = xcb_request_check(connection.get(), cookie)) {
            std::free(error);
            made = false;
        }
    }
    return made;
}

std::int64_t counter_ms(const xcb_sync_int64_t& value) {
    const std::int64_t ms = static_cast<std::int64_t>(value.hi) * 4294967296LL + value.lo;
    return std::max<std::int64_t>(ms, 0);
}

}  // namespace platform::xcb

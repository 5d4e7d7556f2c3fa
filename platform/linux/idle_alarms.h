#pragma once
// The user's idle time kept from the server's alarms instead of asked for.
//
// The SYNC extension's IDLETIME counter counts the milliseconds since the
// last input. Two alarms on it, at one second, report each crossing: upwards
// a second after the last input, downwards at the first input after a second
// or more without one. Each report carries the counter's value and the
// server's time, so the time of that input is known. Between the reports
// nothing changes that matters here: above the threshold no input came and
// the idle time is the time since that input, to the millisecond; below it
// the user is at the keyboard and the idle time is under a second. The
// reports wait in the connection until a question reads them, so keeping the
// time costs no wake-up and no round trip.
//
// Only the xcb code of this folder uses this; xcb types stay here.

#include "platform/linux/xcb_link.h"

#include <xcb/sync.h>

#include <cstdint>
#include <optional>

namespace platform::xcb {

// Server times are the milliseconds of the server's monotonic clock in 32
// bits; a server on this machine reads the clock this process reads. Times
// here are that clock's milliseconds in 64 bits.
std::int64_t monotonic_ms();
// A 32-bit server time as the 64-bit time nearest `near_ms`.
std::int64_t widen_server_time(std::uint32_t server_ms, std::int64_t near_ms);

// What the reports say, and the idle time at any later moment.
class idle_timeline {
public:
    static constexpr std::int64_t threshold_ms = 1000;

    // The counter read `idle_ms` at `at_ms`.
    void read(std::int64_t at_ms, std::int64_t idle_ms);
    // An alarm: the counter crossed the threshold (`upwards`: no input for a
    // second) and read `counter_ms` at `at_ms`.
    void crossed(bool upwards, std::int64_t at_ms, std::int64_t counter_ms);

    // From a second on, the time since the last input; below, the time since
    // the first input after the last quiet second, at most 999 ms: every
    // comparison with whole seconds comes out as the server's count would.
    std::int64_t idle_ms_at(std::int64_t now_ms) const;

private:
    std::int64_t last_input_ms_ = 0;
    bool below_threshold_ = true;
};

// The IDLETIME and SERVERTIME counters, found through the SYNC extension
// (already known present on `connection`), in one round trip.
struct sync_counters {
    xcb_sync_counter_t idle_time = 0;
    xcb_sync_counter_t server_time = 0;
};
std::optional<sync_counters> find_sync_counters(const link& connection);

// Sends the requests for the two alarms on `idle_time`; their cookies are
// checked once a later reply has arrived (no wait of their own).
struct idle_alarm_requests {
    xcb_sync_alarm_t rising = 0;
    xcb_sync_alarm_t falling = 0;
    xcb_void_cookie_t rising_cookie{};
    xcb_void_cookie_t falling_cookie{};
};
idle_alarm_requests request_idle_alarms(const link& connection, xcb_sync_counter_t idle_time);
bool idle_alarms_made(const link& connection, const idle_alarm_requests& requests);

// The counter's value as milliseconds (a negative one read as 0).
std::int64_t counter_ms(const xcb_sync_int64_t& value);

}  // namespace platform::xcb

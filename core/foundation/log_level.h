#pragma once
// The debug log's levels. A level is a set of category bits; a line is kept
// when its level shares a bit with the user's mask. Every level the agent
// writes has its name here, so one kind of line reads the same wherever it is
// written and a search for a name finds every line of that kind.

#include <cstdint>

namespace kes::log_level {

// The categories; each has a checkbox in the troubleshooting window.
inline constexpr std::uint32_t error = 0x1;
inline constexpr std::uint32_t warning = 0x2;
inline constexpr std::uint32_t info = 0x4;
inline constexpr std::uint32_t debug = 0x8;
inline constexpr std::uint32_t ctor = 0x10;
inline constexpr std::uint32_t ui = 0x20;
inline constexpr std::uint32_t network = 0x40;
inline constexpr std::uint32_t service = 0x80;
inline constexpr std::uint32_t url = 0x100;
inline constexpr std::uint32_t user1 = 0x1000;
inline constexpr std::uint32_t user2 = 0x2000;
inline constexpr std::uint32_t user3 = 0x4000;
inline constexpr std::uint32_t user4 = 0x8000;

// A bit with no checkbox: record-file housekeeping and record traces, kept
// only when a mask from the service or the settings file asks for them.
inline constexpr std::uint32_t records = 0x200;

// The combinations in use (decimal value for reading the log).
inline constexpr std::uint32_t banner = error | info;                           // 5: start and exit
inline constexpr std::uint32_t exception_text = error | debug;                  // 9
inline constexpr std::uint32_t record_dropped = error | info | debug;           // 13
inline constexpr std::uint32_t ui_error = error | ui;                           // 33
inline constexpr std::uint32_t ui_info = info | ui;                             // 36
inline constexpr std::uint32_t ui_trace = debug | ui;                           // 40
inline constexpr std::uint32_t caught_network = error | network;                // 65
inline constexpr std::uint32_t network_warning = warning | network;             // 66
inline constexpr std::uint32_t ui_network = ui | network;                       // 96
inline constexpr std::uint32_t service_call = network | service;                // 192
inline constexpr std::uint32_t caught_service = error | network | service;      // 193
inline constexpr std::uint32_t service_warning = warning | network | service;   // 194
inline constexpr std::uint32_t url_error = error | url;                         // 257
inline constexpr std::uint32_t url_service = service | url;                     // 384
inline constexpr std::uint32_t focus_session = ui | service | url;              // 416
inline constexpr std::uint32_t records_info = records | info;                   // 516
inline constexpr std::uint32_t upload_folder_missing = records | network | warning;  // 578
inline constexpr std::uint32_t user2_error = error | user2;                     // 8193
inline constexpr std::uint32_t display_power = info | user2;                    // 8196
inline constexpr std::uint32_t offline_window = ui | user2;                     // 8224
inline constexpr std::uint32_t old_record_trace = records | user2;              // 8704
inline constexpr std::uint32_t old_record_skipped = records | user2 | error;    // 8705
inline constexpr std::uint32_t bridge_setup_failure = error | url | user4;      // 33025

}  // namespace kes::log_level

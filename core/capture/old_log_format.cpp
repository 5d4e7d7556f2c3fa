#include "core/capture/old_log_format.h"

#include "core/foundation/binary_string.h"

#include <boost/date_time/gregorian/gregorian_types.hpp>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace kes::old_log {
namespace {

namespace pt = boost::posix_time;

constexpr std::array<const char*, 12> month_names = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::size_t dated_text_length = 20;  // 2013-Jan-05 14:03:22

bool read_exact(std::istream& in, char* bytes, std::size_t count) {
    return static_cast<bool>(in.read(bytes, static_cast<std::streamsize>(count)));
}

bool read_special(std::istream& in, const char* expected, pt::ptime special, pt::ptime& value) {
    const std::size_t length = std::strlen(expected);
    std::array<char, 32> bytes{};
    if (!read_exact(in, bytes.data(), length) || std::memcmp(bytes.data(), expected, length) != 0) return false;
    value = special;
    return true;
}

bool parse_number(const char* text, std::size_t digits, int& number) {
    number = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        number = number * 10 + (text[i] - '0');
    }
    return true;
}

bool parse_dated(const char* text, pt::ptime& value) {
    int year = 0, day = 0, hours = 0, minutes = 0, seconds = 0;
    if (!parse_number(text, 4, year) || text[4] != '-' || text[8] != '-' || !parse_number(text + 9, 2, day) ||
        text[11] != ' ' || !parse_number(text + 12, 2, hours) || text[14] != ':' ||
        !parse_number(text + 15, 2, minutes) || text[17] != ':' || !parse_number(text + 18, 2, seconds)) {
        return false;
    }
    int month = 0;
    for (std::size_t i = 0; i < month_names.size(); ++i) {
        if (std::memcmp(text + 5, month_names[i], 3) == 0) month = static_cast<int>(i) + 1;
    }
    if (month == 0 || hours > 23 || minutes > 59 || seconds > 59) return false;
    try {
        const boost::gregorian::date day_of(static_cast<unsigned short>(year), static_cast<unsigned short>(month),
                                            static_cast<unsigned short>(day));
        value = pt::ptime(day_of, pt::time_duration(hours, minutes, seconds));
        return true;
    } catch (const std::exception&) {
        return false;  // no such day, such as 31 April
    }
}

bool read_text(std::istream& in, std::wstring& text) { return static_cast<bool>(util::read_wstring(in, text)); }

}  // namespace

int read_file_version(std::istream& in) {
    std::wstring first;
    if (read_text(in, first) && first == L"version") {
        const int next = in.peek();
        if (next != std::char_traits<char>::eof() && std::isdigit(next)) {
            in.get();
            return next - '0';
        }
        in.clear();
        return 1;
    }
    in.clear();
    in.seekg(0, std::ios::beg);
    return 1;
}

void write_file_header(std::ostream& out, int version) {
    util::write_wstring(out, L"version");
    out << version;
}

bool read_record(std::istream& in, int version, log_entry& record) {
    std::wstring text;
    pt::ptime time;
    if (!read_text(in, text)) return false;
    record.set_application_name(text);
    if (!read_time_text(in, time)) return false;
    record.set_completed(time);
    if (!read_text(in, text)) return false;
    record.set_computer_name(text);
    if (!read_text(in, text)) return false;
    record.set_extended_info(text);
    if (!read_text(in, text)) return false;
    record.set_os_username(text);
    if (!read_text(in, text)) return false;
    record.set_process_name(text);
    if (!read_text(in, text)) return false;
    record.set_process_hash(text);
    if (!read_text(in, text)) return false;
    record.set_process_version(text);
    if (!read_time_text(in, time)) return false;
    record.set_started(time);
    if (!read_text(in, text)) return false;
    record.set_window_title(text);
    if (version < 2) {
        record.set_entry_type(log_entry::entry_type_default);
        return true;
    }
    if (!read_text(in, text)) return false;
    record.set_entry_type(text);
    for (int reserved = 0; reserved < 4; ++reserved) {
        if (!read_text(in, text)) return false;
    }
    return true;
}

void write_record(std::ostream& out, int version, const log_entry& record) {
    util::write_wstring(out, record.get_application_name());
    out << time_text(record.get_completed());
    util::write_wstring(out, record.get_computer_name());
    util::write_wstring(out, record.get_extended_info());
    util::write_wstring(out, record.get_os_username());
    util::write_wstring(out, record.get_process_name());
    util::write_wstring(out, record.get_process_hash());
    util::write_wstring(out, record.get_process_version());
    out << time_text(record.get_started());
    util::write_wstring(out, record.get_window_title());
    if (version < 2) return;
    util::write_wstring(out, record.get_entry_type());
    for (int reserved = 0; reserved < 4; ++reserved) util::write_wstring(out, L"");
}

std::string time_text(const pt::ptime& value) {
    if (value.is_not_a_date_time()) return "not-a-date-time";
    if (value.is_pos_infinity()) return "+infinity";
    if (value.is_neg_infinity()) return "-infinity";
    const auto day = value.date();
    const auto clock = value.time_of_day();
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%s-%02d %02d:%02d:%02d", static_cast<int>(day.year()),
                  month_names[static_cast<std::size_t>(day.month()) - 1], static_cast<int>(day.day()),
                  static_cast<int>(clock.hours()), static_cast<int>(clock.minutes()),
                  static_cast<int>(clock.seconds()));
    return text;
}

bool read_time_text(std::istream& in, pt::ptime& value) {
    const int first = in.peek();
    if (first == std::char_traits<char>::eof()) return false;
    if (first == 'n') return read_special(in, "not-a-date-time", pt::ptime(pt::not_a_date_time), value);
    if (first == '+') return read_special(in, "+infinity", pt::ptime(pt::pos_infin), value);
    if (first == '-') return read_special(in, "-infinity", pt::ptime(pt::neg_infin), value);
    std::array<char, dated_text_length> bytes{};
    return read_exact(in, bytes.data(), bytes.size()) && parse_dated(bytes.data(), value);
}

}  // namespace kes::old_log

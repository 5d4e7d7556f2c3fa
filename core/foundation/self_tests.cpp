#include "core/foundation/self_tests.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/dynamic_structure.h"
#include "core/foundation/dynamic_structure_io.h"
#include "core/foundation/text.h"
#include "core/foundation/time_util.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace kes::tests {

std::vector<test_interface*>& registry() {
    static std::vector<test_interface*> tests;
    return tests;
}

test_interface::test_interface(std::string name) : name_(std::move(name)) { registry().push_back(this); }

test_interface::~test_interface() {
    auto& tests = registry();
    tests.erase(std::remove(tests.begin(), tests.end(), this), tests.end());
}

void test_interface::clear_result() {
    failure_text_.clear();
    passed_ = true;
}

void test_interface::record_failure(const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::string message(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(message.data(), message.size() + 1, format, args);
    failure_text_ += " ---> " + message + "\n";
    passed_ = false;
}

// Every check records through the same path; the macro keeps the varargs
// handling in one place.
#define KES_CHECK(holds)                   \
    do {                                   \
        if (holds) return true;            \
        va_list args;                      \
        va_start(args, format);            \
        record_failure(format, args);      \
        va_end(args);                      \
        return false;                      \
    } while (0)

bool test_interface::fail_if(bool condition, const char* format, ...) { KES_CHECK(!condition); }
bool test_interface::check_equal(bool a, bool b, const char* format, ...) { KES_CHECK(a == b); }
bool test_interface::check_equal(std::int64_t a, std::int64_t b, const char* format, ...) { KES_CHECK(a == b); }
bool test_interface::check_equal(std::size_t a, std::size_t b, const char* format, ...) { KES_CHECK(a == b); }
bool test_interface::check_equal(const std::wstring& a, const std::wstring& b, const char* format, ...) {
    KES_CHECK(a == b);
}
bool test_interface::check_equal(const std::string& a, const std::string& b, const char* format, ...) {
    KES_CHECK(a == b);
}
bool test_interface::check_equal(std::chrono::system_clock::time_point a, std::chrono::system_clock::time_point b,
                                 const char* format, ...) {
    KES_CHECK(a == b);
}
bool test_interface::check_equal(const boost::posix_time::ptime& a, const boost::posix_time::ptime& b,
                                 const char* format, ...) {
    KES_CHECK(a == b);
}
bool test_interface::check_float(float a, float b, const char* format, ...) {
    KES_CHECK(std::fabs(static_cast<double>(a) - static_cast<double>(b)) <= 0.00001);
}
bool test_interface::check_float(float a, float b, float tolerance, const char* format, ...) {
    KES_CHECK(std::fabs(a - b) <= tolerance);
}
bool test_interface::check_double(double a, double b, const char* format, ...) {
    KES_CHECK(std::fabs(a - b) <= 0.00001);
}
bool test_interface::check_double(double a, double b, double tolerance, const char* format, ...) {
    KES_CHECK(std::fabs(a - b) <= tolerance);
}

#undef KES_CHECK

namespace {

using boost::posix_time::ptime;

ptime at(int year, int month, int day, int hour, int minute, int second) {
    return ptime(boost::gregorian::date(year, month, day), boost::posix_time::time_duration(hour, minute, second));
}

class dynamic_structure_test : public test_interface {
public:
    dynamic_structure_test() : test_interface("dynamic_structure_test") {}

    bool run() override {
        const auto parsed = nlohmann::json::parse(
            "{ \"happy\": true, \"pi\": 3.141, \"name\":\"Oak\", \"integer\":42, \"array\":[ true, 3.141, \"Oak\", 42 ] }");
        DynamicStructure data = DynamicStructureFromJson(parsed);
        // The lookups below stop the process on anything but a structure.
        if (!check_equal(data.IsStructure(), true, "Test Expected the data to become a structure.")) return true;
        check_equal(data.GetMember(L"happy").IsBoolean(), true, "Test Expected the data.GetMember(\"happy\") to be a boolean.");
        check_equal(data[L"happy"].AsBoolean(true), true, "Test Expected the data[\"happy\"] to be true.");
        check_equal(data.GetMember(L"integer").IsInteger(), true, "Test Expected the data.GetMember(\"integer\") to be a integer.");
        check_equal(data[L"integer"].AsInteger(true), std::int64_t{42}, "Test Expected the data[\"integer\"] to be 42.");
        check_equal(data.GetMember(L"pi").IsFloat(), true, "Test Expected the data.GetMember(\"pi\") to be a float.");
        check_float(data[L"pi"].AsFloat(true), 3.141f, "Test Expected the data[\"pi\"] to be 3.141.");
        check_equal(data.GetMember(L"name").IsString(), true, "Test Expected the data.GetMember(\"name\") to be a string.");
        check_equal(data[L"name"].AsString(true), std::wstring(L"Oak"), "Test Expected the data[\"name\"] to be \"Oak\".");
        check_equal(data.GetMember(L"does_not_exist").IsNil(), true,
                    "Test Expected the data.GetMember(\"does_not_exist\") to be a Nil value.");
        const bool is_array =
            check_equal(data.GetMember(L"array").IsArray(), true, "Test Expected the data.GetMember(\"array\") to be an array.");
        const bool sized = check_equal(data[L"array"].Size(), std::size_t{4},
                                       "Test Expected data[\"array\"] to have a size of 4 elements.");
        if (!is_array || !sized) return true;
        DynamicStructure& arrayData = data[L"array"];
        check_equal(arrayData[0].IsBoolean(), true, "Test Expected the arrayData[0] to be a boolean.");
        check_equal(arrayData[0].AsBoolean(true), true, "Test Expected the arrayData[0] to be true.");
        check_equal(arrayData[1].IsFloat(), true, "Test Expected the arrayData[1] to be a float.");
        check_float(arrayData[1].AsFloat(true), 3.141f, "Test Expected the arrayData[1] to be 3.141.");
        check_equal(arrayData[2].IsString(), true, "Test Expected the arrayData[2] to be a string.");
        check_equal(arrayData[2].AsString(true), std::wstring(L"Oak"), "Test Expected the arrayData[2] to be \"Oak\".");
        check_equal(arrayData[3].IsInteger(), true, "Test Expected the arrayData[3] to be a integer.");
        check_equal(arrayData[3].AsInteger(true), std::int64_t{42}, "Test Expected the arrayData[3] to be 42.");
        return true;
    }
};

class time_from_string_test : public test_interface {
public:
    time_from_string_test() : test_interface("time_from_string_test") {}

    bool run() override {
        std::tm fields{};
        fields.tm_year = 2001 - 1900;
        fields.tm_mon = 0;
        fields.tm_mday = 1;
        const auto expected = std::chrono::system_clock::from_time_t(timegm(&fields));
        check_equal(util::time_from_string(L"2001-01-01 00:00:00"), expected, "mismatched expectation a");
        return true;
    }
};

class time_to_time_wstring_test : public test_interface {
public:
    time_to_time_wstring_test() : test_interface("time_to_time_wstring_test") {}
    bool run() override { return true; }
};

class boost_time_from_string_test : public test_interface {
public:
    boost_time_from_string_test() : test_interface("boost_time_from_string_test") {}

    bool run() override {
        using boost::posix_time::time_from_string;
        check_equal(time_from_string("2001-01-01 00:00:00"), at(2001, 1, 1, 0, 0, 0), "mismatched expected a");
        check_equal(time_from_string("2020-02-14 01:23:45"), at(2020, 2, 14, 1, 23, 45), "mismatched expected b");
        check_equal(time_from_string("2020-12-31 14:34:56"), at(2020, 12, 31, 14, 34, 56), "mismatched expected c");
        return true;
    }
};

class boost_time_to_wstring : public test_interface {
public:
    boost_time_to_wstring() : test_interface("boost_time_to_wstring") {}

    bool run() override {
        using boost::posix_time::time_from_string;
        using util::ptime_to_hour_minute_wstr;
        check_equal(ptime_to_hour_minute_wstr(time_from_string("2001-01-01 00:00:00")), std::wstring(L"12:00 AM"),
                    "mismatched expected time a");
        check_equal(ptime_to_hour_minute_wstr(time_from_string("2020-02-14 01:23:45")), std::wstring(L"01:23 AM"),
                    "mismatched expected time b");
        check_equal(ptime_to_hour_minute_wstr(time_from_string("2020-01-20 14:34:56")), std::wstring(L"02:34 PM"),
                    "mismatched expected time c");
        return true;
    }
};

class boost_time_to_simple_string : public test_interface {
public:
    boost_time_to_simple_string() : test_interface("boost_time_to_simple_string") {}

    bool run() override {
        using boost::posix_time::time_from_string;
        using boost::posix_time::to_simple_string;
        check_equal(to_simple_string(time_from_string("2001-01-01 00:00:00")), std::string("2001-Jan-01 00:00:00"),
                    "mismatched expected time");
        check_equal(to_simple_string(time_from_string("2020-02-01 01:23:45")), std::string("2020-Feb-01 01:23:45"),
                    "mismatched expected time");
        check_equal(to_simple_string(time_from_string("2020-01-20 14:34:56")), std::string("2020-Jan-20 14:34:56"),
                    "mismatched expected time");
        return true;
    }
};

// The built-in tests, registered in this order when the program starts.
dynamic_structure_test dynamic_structure_test_instance;
time_from_string_test time_from_string_test_instance;
time_to_time_wstring_test time_to_time_wstring_test_instance;
boost_time_from_string_test boost_time_from_string_test_instance;
boost_time_to_wstring boost_time_to_wstring_instance;
boost_time_to_simple_string boost_time_to_simple_string_instance;

}  // namespace

void run_tests() {
    // The first line creates the debug log and, through it, the configuration store.
    log(L"Running Kestrel Tests:\n", log_level::error);
    // A copy: a test may register or remove tests while it runs.
    const std::vector<test_interface*> tests = registry();
    for (test_interface* test : tests) {
        test->clear_result();
        bool finished = false;
        try {
            finished = test->run();
        } catch (const std::exception& e) {
            test->fail_if(true, "Caught std::exception: %s", e.what());
        } catch (...) {
            test->fail_if(true, "Caught unknown exception!");
        }
        if (finished && test->passed()) {
            log(L"[  pass  ] " + util::widen(test->name()), log_level::error);
        } else {
            log(L"[--FAIL--] " + util::widen(test->name()) + L"\n" + util::widen(test->failure_text()),
                log_level::error);
        }
    }
}

}  // namespace kes::tests

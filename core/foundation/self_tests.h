#pragma once
// Built-in self tests of the value model and the time conversions, run once
// at start before anything else; each logs one line. A failing or throwing
// test only logs: it never stops or changes the start-up.

#include "core/foundation/noncopyable.h"

#include <boost/date_time/posix_time/ptime.hpp>

#include <chrono>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kes::tests {

// Base of every self test. Constructing one registers it (at the end of the
// run order); destroying it removes it.
class test_interface : public kes::noncopyable {
public:
    explicit test_interface(std::string name);
    virtual ~test_interface();

    // True when the test ran to its end; failed checks are recorded apart.
    virtual bool run() = 0;

    const std::string& name() const { return name_; }
    const std::string& failure_text() const { return failure_text_; }
    bool passed() const { return passed_; }
    // Empties the failure text and marks the test passing again.
    void clear_result();

    // Each returns true when the check holds; otherwise it appends
    // " ---> message\n" to the failure text and marks the test failed.
    bool fail_if(bool condition, const char* format, ...) __attribute__((format(printf, 3, 4)));
    bool check_equal(bool a, bool b, const char* format, ...) __attribute__((format(printf, 4, 5)));
    bool check_equal(std::int64_t a, std::int64_t b, const char* format, ...) __attribute__((format(printf, 4, 5)));
    bool check_equal(std::size_t a, std::size_t b, const char* format, ...) __attribute__((format(printf, 4, 5)));
    bool check_equal(const std::wstring& a, const std::wstring& b, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    bool check_equal(const std::string& a, const std::string& b, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    bool check_equal(std::chrono::system_clock::time_point a, std::chrono::system_clock::time_point b,
                     const char* format, ...) __attribute__((format(printf, 4, 5)));
    bool check_equal(const boost::posix_time::ptime& a, const boost::posix_time::ptime& b, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    // Within 1e-5, or within `tolerance`.
    bool check_float(float a, float b, const char* format, ...) __attribute__((format(printf, 4, 5)));
    bool check_float(float a, float b, float tolerance, const char* format, ...)
        __attribute__((format(printf, 5, 6)));
    bool check_double(double a, double b, const char* format, ...) __attribute__((format(printf, 4, 5)));
    bool check_double(double a, double b, double tolerance, const char* format, ...)
        __attribute__((format(printf, 5, 6)));

private:
    void record_failure(const char* format, va_list args);

    std::string name_;
    std::string failure_text_;
    bool passed_ = true;
};

// The registered tests in run order (the process-wide registry).
std::vector<test_interface*>& registry();

// Logs "Running Kestrel Tests:" and then one line per registered test.
void run_tests();

}  // namespace kes::tests

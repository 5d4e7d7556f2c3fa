#include "core/foundation/debug_log.h"
#include "core/foundation/self_tests.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <stdexcept>

namespace kes::tests {
namespace {

class two_failures : public test_interface {
public:
    two_failures() : test_interface("two_failures_probe") {}
    bool run() override {
        check_equal(std::int64_t{1}, std::int64_t{2}, "first %s", "wrong");
        check_float(1.0f, 1.000001f, "close enough");
        fail_if(true, "second %d", 2);
        return true;
    }
};

class throws : public test_interface {
public:
    throws() : test_interface("throwing_probe") {}
    bool run() override { throw std::runtime_error("boom"); }
};

class never_run : public test_interface {
public:
    never_run() : test_interface("destroyed_probe") {}
    bool run() override { return true; }
};

std::wstring::size_type count(const std::wstring& text, const std::wstring& part) {
    std::wstring::size_type hits = 0;
    for (auto at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1)) ++hits;
    return hits;
}

TEST(SelfTests, BuiltInTestsPassInRegistrationOrderAndFailuresOnlyLog) {
    { never_run destroyed; }
    two_failures failing;
    throws throwing;
    run_tests();
    const std::wstring log = debug_log_read();

    const wchar_t* order[] = {L"Running Kestrel Tests:",
                              L"[  pass  ] dynamic_structure_test",
                              L"[  pass  ] time_from_string_test",
                              L"[  pass  ] time_to_time_wstring_test",
                              L"[  pass  ] boost_time_from_string_test",
                              L"[  pass  ] boost_time_to_wstring",
                              L"[  pass  ] boost_time_to_simple_string",
                              L"[--FAIL--] two_failures_probe\n ---> first wrong\n ---> second 2\n",
                              L"[--FAIL--] throwing_probe\n ---> Caught std::exception: boom\n"};
    std::wstring::size_type at = 0;
    for (const wchar_t* line : order) {
        const auto found = log.find(line, at);
        ASSERT_NE(found, std::wstring::npos) << "missing or out of order: " << std::string(line, line + wcslen(line));
        at = found;
    }
    EXPECT_EQ(count(log, L"destroyed_probe"), 0u);
    EXPECT_EQ(count(log, L"[  pass  ]"), 6u);
}

}  // namespace
}  // namespace kes::tests

#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/log_rate_limit.h"
#include "core/foundation/system.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace kes {
namespace {

std::string log_path() { return system::create()->get_debug_log_path(); }

std::vector<std::string> log_lines() {
    std::istringstream in(testing::read_file(log_path()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class DebugLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        config::instance().set_debug_log_level(1);
        debug_log_reopen();
    }
    void TearDown() override { config::instance().set_debug_log_level(1); }
};

TEST_F(DebugLogTest, LivesInTheDataFoldersLogFolderAndIsPrivate) {
    log(L"first", 1);
    const std::string expected =
        testing::private_home() + "/.local/share/KestrelData/log/debug_log.txt";
    EXPECT_EQ(log_path(), expected);
    ASSERT_TRUE(boost::filesystem::exists(expected));
    EXPECT_EQ(boost::filesystem::status(expected).permissions() & 0777, 0600);
}

TEST_F(DebugLogTest, KeepsOnlyLevelsSharingABitWithTheMask) {
    log(L"zero", 0);
    log(L"info only", 4);
    log(L"banner", 5);
    config::instance().set_debug_log_level(0x44);
    log(L"network", 0x40);
    log(L"error", 1);
    const auto lines = log_lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(":5:banner"), std::string::npos);
    EXPECT_NE(lines[1].find(":64:network"), std::string::npos);
}

TEST_F(DebugLogTest, LineIsBasicIsoTimeLevelAndUtf8Message) {
    log(L"Ready caf\u00e9 \u20ac", 1);
    const auto lines = log_lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d{8}T\d{6}:1:Ready caf\xC3\xA9 \xE2\x82\xAC)")))
        << lines[0];
}

TEST_F(DebugLogTest, AnInvalidCharacterNeverLosesTheLine) {
    log(std::wstring(L"before ") + static_cast<wchar_t>(0xD800) + L" after", 1);
    const auto lines = log_lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("before"), std::string::npos);
    EXPECT_NE(lines[0].find("after"), std::string::npos);
}

TEST_F(DebugLogTest, ReopensEmptyOnlyWhenLongerThanTenMebibytes) {
    // Ten level-1 lines of exactly 1 MiB each make the file exactly 10 MiB.
    const std::size_t line_overhead = std::string("20240305T140307:1:\n").size();
    const std::wstring chunk(1048576 - line_overhead, L'x');
    for (int i = 0; i < 10; ++i) log(chunk, 1);
    EXPECT_EQ(boost::filesystem::file_size(log_path()), 10485760u);

    log(L"appended at exactly ten mebibytes", 1);
    EXPECT_GT(boost::filesystem::file_size(log_path()), 10485760u);

    log(L"starts a fresh file", 1);
    const auto lines = log_lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("starts a fresh file"), std::string::npos);
}

TEST_F(DebugLogTest, AFailedWriteCostsOnlyItsLineAndTheNextOneStartsALine) {
    log(L"kept from before", 1);
    // Room for half a line more, as on a disk that has just filled up.
    const auto size = boost::filesystem::file_size(log_path());
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit saved = limit;
    limit.rlim_cur = size + 30;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    log(std::wstring(L"does not fit ") + std::wstring(100, L'x'), 1);
    log(L"nor does this one", 1);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, previous);

    log(L"written once there is room", 1);
    const auto lines = log_lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines.front().find(":1:kept from before"), std::string::npos);
    EXPECT_TRUE(std::regex_match(lines.back(), std::regex(R"(\d{8}T\d{6}:1:written once there is room)")))
        << lines.back();
    EXPECT_LE(lines.size(), 3u) << "at most the torn line between them";
}

TEST_F(DebugLogTest, ReadBackReturnsTheWholeFileAndNothingAfterReopen) {
    log(L"one \u00e9", 1);
    log(L"two", 1);
    const std::wstring whole = debug_log_read();
    EXPECT_NE(whole.find(L"one \u00e9\n"), std::wstring::npos);
    EXPECT_NE(whole.find(L"two\n"), std::wstring::npos);
    debug_log_reopen();
    EXPECT_EQ(debug_log_read(), L"");
}

TEST_F(DebugLogTest, CurlTextDropsItsLineEndAndOtherKindsAreIgnored) {
    config::instance().set_debug_log_level(0x40);
    char text[] = "Connected to 127.0.0.1\n";
    char one[] = "\n";
    char header[] = "Content-Type: text/plain\n";
    curl_debug_callback(nullptr, 0, text, sizeof text - 1, nullptr);
    curl_debug_callback(nullptr, 0, one, 1, nullptr);
    curl_debug_callback(nullptr, 0, one, 0, nullptr);
    curl_debug_callback(nullptr, 1, header, sizeof header - 1, nullptr);
    const auto lines = log_lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d{8}T\d{6}:64:Connected to 127\.0\.0\.1)")));
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\d{8}T\d{6}:64:)")));
}

// A pipe in place of the file: once its buffer were full, every thread that
// logs would wait behind the one writing, the orderly end too. No line goes
// into it, stderr says so once, and lines are written again once a file can be.
TEST_F(DebugLogTest, APipeInPlaceOfTheFileIsNeverWrittenAndSaidOnceOnStderr) {
    const std::string path = log_path();
    EXPECT_EXIT(
        {
            ::alarm(20);  // a write that waits ends here, and fails the test
            boost::filesystem::remove(path);
            if (::mkfifo(path.c_str(), 0600) != 0) std::_Exit(2);
            debug_log_reopen();
            for (int i = 0; i < 2000; ++i) log(std::wstring(100, L'x'), 1);  // thrice a pipe's buffer
            debug_log_reopen();
            log(L"still no file", 1);
            if (!debug_log_read().empty()) std::_Exit(3);
            boost::filesystem::remove(path);
            log(L"a file again", 1);
            std::_Exit(debug_log_read().find(L":1:a file again\n") != std::wstring::npos ? 0 : 4);
        },
        ::testing::ExitedWithCode(0),
        "^Kestrel: the debug log [^\n]*/debug_log.txt is not a regular file; no debug log is written there.\n$");
}

// Lines a peer causes at its own pace: so many a site per window, the rest
// counted and reported once the window is over (by the next line of any
// site) or on a flush; lines the log would not keep are not counted.
TEST_F(DebugLogTest, ARateLimitWritesSoManyLinesASiteAndThenHowManyItHeldBack) {
    config::instance().set_debug_log_level(log_level::error | log_level::url);
    auto now = std::chrono::steady_clock::time_point();
    log_rate_limit limit(3, std::chrono::seconds(60), [&] { return now; });
    for (int i = 0; i < 10; ++i) limit.log(L"[peer] Bad message", std::to_wstring(i), log_level::error);
    for (int i = 0; i < 5; ++i) limit.log(L"[peer] Incoming", log_level::url);
    limit.log(L"[peer] Incoming", log_level::info);  // not kept, not counted
    EXPECT_EQ(log_lines().size(), 6u);

    now += std::chrono::seconds(59);
    limit.log(L"[peer] Bad message", L"still held", log_level::error);
    now += std::chrono::seconds(1);
    limit.log(L"[other] Line", log_level::error);
    limit.log(L"[peer] Bad message", L"new window", log_level::error);
    std::vector<std::string> lines = log_lines();
    ASSERT_EQ(lines.size(), 10u);
    const std::vector<std::string> expected = {
        ":1:[peer] Bad message: 0", ":1:[peer] Bad message: 1", ":1:[peer] Bad message: 2", ":256:[peer] Incoming",
        ":256:[peer] Incoming", ":256:[peer] Incoming", ":1:[peer] Bad message: 8 more suppressed",
        ":256:[peer] Incoming: 2 more suppressed", ":1:[other] Line", ":1:[peer] Bad message: new window"};
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i].substr(15), expected[i]) << i;

    for (int i = 0; i < 4; ++i) limit.log(L"[peer] Bad message", L"again", log_level::error);
    limit.flush();
    limit.flush();
    lines = log_lines();
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines.back().substr(15), ":1:[peer] Bad message: 2 more suppressed");
}

}  // namespace
}  // namespace kes

// The scanner's decisions, pass by pass, with a fake grabber, clock and
// platform system: what is recorded, with which times, and what is dropped.
#include "core/capture/grabber.h"
#include "core/capture/scanner.h"
#include "core/foundation/activation_service.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/system.h"
#include "core/foundation/text.h"
#include "core/foundation/time_util.h"

#include <boost/date_time/posix_time/time_parsers.hpp>
#include <gtest/gtest.h>

#include <deque>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace {

using boost::posix_time::ptime;
using boost::posix_time::seconds;
using boost::posix_time::time_from_string;
using kes::config;
using kes::log_entry;
using kes::scanner;

class fake_grabber : public kes::grabber {
public:
    std::wstring pid = L"100";
    std::deque<std::wstring> next_pids;  // answered first, one per call
    std::wstring name = L"Editor";
    std::wstring title = L"Document";
    std::deque<std::wstring> next_titles;  // answered first, one per call
    std::wstring version = L"1.0";
    std::wstring extended;
    std::wstring computer = L"box";
    bool name_throws = false;
    int name_calls = 0;

    std::wstring get_active_process_id() override {
        if (next_pids.empty()) return pid;
        std::wstring answer = next_pids.front();
        next_pids.pop_front();
        return answer;
    }
    std::wstring get_process_name() override {
        ++name_calls;
        if (name_throws) throw std::runtime_error("gone");
        return name;
    }
    std::wstring get_application_name() override { return name; }
    std::wstring get_process_filename() override { return L""; }
    std::wstring get_process_version(bool) override { return version; }
    std::wstring get_window_title() override {
        if (next_titles.empty()) return title;
        std::wstring answer = next_titles.front();
        next_titles.pop_front();
        return answer;
    }
    std::wstring get_os_username() override { return L"ann"; }
    std::wstring get_computer_name() override { return computer; }
    std::wstring get_extended_info() override { return extended; }
};

class fake_system : public kes::system {
public:
    double idle = 0.0;
    bool display_on = true;
    double get_idle_time() override { return idle; }
    bool is_display_on() override { return display_on; }
    bool is_other_instance_running() override { return false; }
    std::string get_user_library_dir() override { return "/tmp"; }
    std::string get_temp_dir() override { return "/tmp/"; }
    std::string get_app_dir() override { return "/tmp"; }
    std::string get_ca_bundle_path() override { return ""; }
    void get_update() override {}
};

class ScannerTest : public ::testing::Test {
protected:
    void SetUp() override {
        config& settings = config::instance();
        now = at("09:00:00");
        settings.set_clock([this] { return now; });
        settings.set_defaults();
        settings.set_in_idle_activity(false);
        scanner::seams seams;
        seams.grabber = grabber;
        seams.platform_system = platform;
        seams.clock = [this] { return now; };
        seams.sleep = [this](std::chrono::seconds span) { slept += span.count(); };
        seams.record_sink = [this](const log_entry& record, const std::string& row) {
            records.push_back(record);
            rows.push_back(row);
        };
        seams.user_interface = [] { return nullptr; };
        subject = std::make_unique<scanner>(std::move(seams));
    }
    void TearDown() override { config::instance().set_clock(&kes::util::local_now_seconds); }

    void pass_at(const char* time) {
        now = time_from_string(std::string("2024-05-01 ") + time);
        subject->scan();
    }
    static ptime at(const char* time) { return time_from_string(std::string("2024-05-01 ") + time); }

    ptime now;
    long slept = 0;
    std::vector<log_entry> records;
    std::vector<std::string> rows;  // the upload row handed with each record
    std::shared_ptr<fake_grabber> grabber = std::make_shared<fake_grabber>();
    std::shared_ptr<fake_system> platform = std::make_shared<fake_system>();
    std::unique_ptr<scanner> subject;
};

TEST_F(ScannerTest, FocusChangesGiveContiguousRecordsWithTheirNamesAndTitles) {
    pass_at("10:00:00");
    EXPECT_FALSE(subject->start_pending());
    EXPECT_EQ(subject->current_entry().get_started(), at("10:00:00"));
    pass_at("10:00:01");
    grabber->title = L"Other document";
    pass_at("10:00:02");
    grabber->pid = L"200";
    grabber->name = L"Safari.app";
    grabber->title = L"News";
    pass_at("10:00:03");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].get_window_title(), L"Document");
    EXPECT_EQ(records[0].get_started(), at("10:00:00"));
    EXPECT_EQ(records[0].get_completed(), at("10:00:02"));
    EXPECT_EQ(records[1].get_window_title(), L"Other document");
    EXPECT_EQ(records[1].get_started(), at("10:00:02"));
    EXPECT_EQ(records[1].get_completed(), at("10:00:03"));
    EXPECT_EQ(records[1].get_application_name(), L"editor");
    EXPECT_EQ(records[1].get_process_version(), L"1.0");
    EXPECT_EQ(records[1].get_computer_name(), L"box");
    EXPECT_EQ(records[1].get_os_username(), L"ann");
    EXPECT_EQ(subject->current_entry().get_process_name(), L"safari.app");
    EXPECT_EQ(subject->current_entry().get_application_name(), L"safari");
    EXPECT_EQ(config::instance().get_current_application_name(), L"safari.app");
}

// The row handed with a record is rendered once, after its end has moved
// (a split takes a second off, idleness the threshold), never before.
TEST_F(ScannerTest, EachRecordIsHandedOverWithTheRowOfItsFinalTimes) {
    const auto row_of = [](const char* started, const char* completed) {
        return std::string("\"editor\",\"1.0\",\"\",\"Document\",\"\",\"2024-05-01 ") + started +
               "\",\"2024-05-01 " + completed + "\",\"\",\"\",\"\",\"\",\"\"\n";
    };
    config::instance().set_partial_scanning_enabled(true);
    config::instance().set_idle_time_start(300);
    for (const char* t : {"10:00:00", "10:00:20", "10:00:40", "10:01:00"}) pass_at(t);  // split at 10:00:59
    platform->idle = 301;
    pass_at("10:01:20");  // idle: back by the threshold, but not before the start
    platform->idle = 0;
    pass_at("10:01:40");
    pass_at("10:01:47");
    subject->complete_open_record_at_exit();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], row_of("10:00:00", "10:00:59"));
    EXPECT_EQ(rows[1], row_of("10:00:59", "10:00:59"));
    EXPECT_EQ(rows[2], row_of("10:01:40", "10:01:47"));
}

TEST_F(ScannerTest, ApplicationNamesLoseOnlyAppAndExe) {
    EXPECT_EQ(scanner::application_name_of(L"safari.app"), L"safari");
    EXPECT_EQ(scanner::application_name_of(L"notepad.exe"), L"notepad");
    EXPECT_EQ(scanner::application_name_of(L"my.tool"), L"my.tool");
    EXPECT_EQ(scanner::application_name_of(L"xterm"), L"xterm");
}

TEST_F(ScannerTest, ClockSkewCompletesWithThePreviousEndAndStartsAgain) {
    pass_at("10:00:00");
    pass_at("10:00:05");
    pass_at("10:00:35");  // exactly 30 s: no skew
    EXPECT_TRUE(records.empty());
    pass_at("10:01:06");  // 31 s
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].get_completed(), at("10:00:35"));
    EXPECT_TRUE(subject->has_open_record()) << "the user is still there: a new record starts";
    EXPECT_EQ(subject->current_entry().get_started(), at("10:01:06"));
    pass_at("10:01:05");  // set back by one second
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].get_started(), at("10:01:06"));
    EXPECT_EQ(records[1].get_completed(), at("10:01:06")) << "never an end of not-a-date-time";
}

TEST_F(ScannerTest, PartialSplitAtSixtySecondsMeetsAtOneInstant) {
    config::instance().set_partial_scanning_enabled(true);
    pass_at("10:00:00");
    for (const char* t : {"10:00:20", "10:00:40", "10:00:59"}) pass_at(t);
    EXPECT_TRUE(records.empty());
    pass_at("10:01:00");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].get_started(), at("10:00:00"));
    EXPECT_EQ(records[0].get_completed(), at("10:00:59"));
    EXPECT_EQ(subject->current_entry().get_started(), at("10:00:59"));
    EXPECT_EQ(subject->current_entry().get_completed(), at("10:01:00"));
}

TEST_F(ScannerTest, IdleMovesTheEndBackButNeverBeforeTheStartAndTheReturnIsRecorded) {
    config::instance().set_idle_time_start(300);
    for (now = at("10:00:00"); now <= at("10:09:20"); now += seconds(20)) subject->scan();
    platform->idle = 301;
    pass_at("10:09:30");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].get_completed(), at("10:04:30"));
    EXPECT_FALSE(subject->has_open_record());
    pass_at("10:09:40");
    EXPECT_FALSE(subject->has_open_record()) << "nothing starts while the user is away";

    platform->idle = 0;  // back at the same window
    pass_at("10:09:50");
    ASSERT_TRUE(subject->has_open_record());
    EXPECT_EQ(subject->current_entry().get_started(), at("10:09:50"));

    pass_at("10:09:55");
    platform->idle = 301;  // idle already: a short record ends at its start, not before
    pass_at("10:10:00");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].get_started(), at("10:09:50"));
    EXPECT_EQ(records[1].get_completed(), at("10:09:50"));
}

TEST_F(ScannerTest, IdleActivityKeepsTheRecordWhileTheDisplayIsOn) {
    config& settings = config::instance();
    settings.set_idle_activities({L"Meeting"});
    settings.set_idle_time_start(300);
    grabber->title = L"Team Meeting";
    pass_at("10:00:00");
    EXPECT_TRUE(settings.get_in_idle_activity());
    platform->idle = 400;
    pass_at("10:00:10");
    EXPECT_TRUE(records.empty());
    platform->display_on = false;
    pass_at("10:00:20");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].get_completed(), at("10:00:00")) << "moved back by the threshold, held at the start";

    // A display wake starts a record even while idle.
    platform->display_on = true;
    pass_at("10:00:30");
    EXPECT_TRUE(subject->has_open_record());
}

TEST_F(ScannerTest, IdleActivityEntriesAreCaseSensitiveSubstringsAndEmptyMatchesAll) {
    config& settings = config::instance();
    settings.set_idle_activities({L"Video"});
    grabber->title = L"video call";
    pass_at("10:00:00");
    EXPECT_FALSE(settings.get_in_idle_activity());
    settings.set_idle_activities({L"nothing", L""});
    grabber->title = L"something else";
    pass_at("10:00:01");
    EXPECT_TRUE(settings.get_in_idle_activity());
}

TEST_F(ScannerTest, UnknownNameKeepsTheStartPending) {
    grabber->name = L"<unknown>";
    pass_at("10:00:00");
    pass_at("10:00:01");
    EXPECT_TRUE(subject->start_pending());
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(grabber->name_calls, 2) << "retried on every pass";
    EXPECT_FALSE(subject->has_open_record()) << "\"<unknown>\" is no record";
    grabber->name = L"Editor";
    pass_at("10:00:02");
    EXPECT_FALSE(subject->start_pending());
    EXPECT_EQ(subject->current_entry().get_started(), at("10:00:02"));
}

TEST_F(ScannerTest, TimeWithNothingInFrontIsNotCountedToTheNextApplication) {
    grabber->name = L"";
    grabber->pid = L"";
    for (now = at("10:00:00"); now < at("11:00:00"); now += seconds(20)) subject->scan();
    EXPECT_TRUE(subject->start_pending());
    grabber->name = L"Editor";
    grabber->pid = L"100";
    pass_at("11:00:00");
    pass_at("11:00:05");
    subject->complete_open_record_at_end();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].get_started(), at("11:00:00"));
    EXPECT_EQ(records[0].get_completed(), at("11:00:05"));
}

TEST_F(ScannerTest, AgentAndBaretailHaveFixedTitlesThatNeverChangeFocus) {
    grabber->name = L"Kestrel";
    grabber->title = L"Preferences";
    pass_at("10:00:00");
    EXPECT_EQ(subject->current_entry().get_window_title(), L"Kestrel");
    grabber->title = L"Sign in";
    pass_at("10:00:01");
    EXPECT_TRUE(records.empty());
    grabber->pid = L"300";
    grabber->name = L"BareTail";
    pass_at("10:00:02");
    EXPECT_EQ(subject->current_entry().get_window_title(), L"BareTail");
}

TEST_F(ScannerTest, LongAddressesAreCutTo4095AndExactly4096StaysWhole) {
    grabber->extended = std::wstring(5000, L'a');
    pass_at("10:00:00");
    EXPECT_EQ(subject->current_entry().get_extended_info().size(), 4095u);
    grabber->pid = L"101";
    grabber->extended = std::wstring(4096, L'b');
    pass_at("10:00:01");
    EXPECT_EQ(subject->current_entry().get_extended_info().size(), 4096u);
}

TEST_F(ScannerTest, ErrorAddressIsRetriedTenTimesInTheScannersLife) {
    grabber->extended = L"ERROR";
    pass_at("10:00:00");
    EXPECT_EQ(slept, 10);
    EXPECT_FALSE(subject->start_pending());
    EXPECT_EQ(subject->current_entry().get_extended_info(), L"");
    pass_at("10:00:01");  // a previous ERROR counts as a focus change
    EXPECT_EQ(records.size(), 1u);
    EXPECT_EQ(slept, 10) << "no retry is left";
}

TEST_F(ScannerTest, ProcessIdChangeDuringAStartBeginsAgain) {
    grabber->next_pids = {L"100", L"200"};
    grabber->pid = L"200";
    pass_at("10:00:00");
    EXPECT_EQ(grabber->name_calls, 2);
    EXPECT_FALSE(subject->start_pending());
    pass_at("10:00:01");
    EXPECT_TRUE(records.empty()) << "the record was started for the process now in front";
}

TEST_F(ScannerTest, AFocusMoveBetweenTheCompletionAndTheStartChecksEndsTheOpenRecord) {
    pass_at("10:00:00");
    // The completion check still sees the old window; the move comes before
    // the start check asks again.
    grabber->next_pids = {L"100"};
    grabber->next_titles = {L"Document"};
    grabber->pid = L"200";
    grabber->name = L"Safari.app";
    grabber->title = L"News";
    pass_at("10:00:05");
    pass_at("10:00:06");
    ASSERT_EQ(records.size(), 1u) << "the switch is recorded";
    EXPECT_EQ(records[0].get_application_name(), L"editor");
    EXPECT_EQ(records[0].get_window_title(), L"Document");
    EXPECT_EQ(records[0].get_started(), at("10:00:00"));
    EXPECT_EQ(records[0].get_completed(), at("10:00:05"));
    EXPECT_EQ(subject->current_entry().get_application_name(), L"safari");
    EXPECT_EQ(subject->current_entry().get_started(), at("10:00:05")) << "the new record starts at the move";
}

TEST_F(ScannerTest, GrabberFailureForTheNameKeepsTheStartPending) {
    grabber->name_throws = true;
    pass_at("10:00:00");
    EXPECT_TRUE(subject->start_pending());
    grabber->name_throws = false;
    pass_at("10:00:01");
    EXPECT_FALSE(subject->start_pending());
}

TEST_F(ScannerTest, WhileLoggingIsOffEveryPassCompletesAndOnlyAWakeStarts) {
    pass_at("10:00:00");
    config::instance().set_logging_enabled(false);
    pass_at("10:00:01");
    ASSERT_EQ(records.size(), 1u);
    pass_at("10:00:02");
    EXPECT_FALSE(subject->has_open_record());
    platform->display_on = false;
    pass_at("10:00:03");
    platform->display_on = true;
    pass_at("10:00:04");
    EXPECT_TRUE(subject->has_open_record());
    pass_at("10:00:05");
    EXPECT_EQ(records.size(), 2u);
    EXPECT_FALSE(subject->has_open_record());
}

TEST_F(ScannerTest, InvalidTextIsDroppedAndTheOrderlyEndCompletesTheOpenRecord) {
    grabber->title = std::wstring(L"bad ") + wchar_t(0xD800);
    pass_at("10:00:00");
    grabber->title = L"good";
    pass_at("10:00:01");
    EXPECT_TRUE(records.empty());
    pass_at("10:00:02");
    subject->complete_open_record_at_end();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].get_window_title(), L"good");
    EXPECT_EQ(records[0].get_started(), at("10:00:01"));
    EXPECT_EQ(records[0].get_completed(), at("10:00:02"));
    subject->complete_open_record_at_end();
    EXPECT_EQ(records.size(), 1u) << "nothing is open any more";
}

// Titles, names and page addresses are chosen by the front program (or a
// local peer): a line feed in them must not begin a debug-log line the agent
// did not write, and a NUL must not reach the upload row.
TEST_F(ScannerTest, GrabbedTextsForgeNoLogLineAndPutNoNulInTheRow) {
    config::instance().set_debug_log_level(0xFFFF);
    kes::debug_log_reopen();
    const std::wstring forged = L"\n20240101T000000:1:forged\r";
    grabber->name = L"Editor" + forged;
    grabber->title = L"Doc" + forged;
    grabber->extended = std::wstring(L"https://x.example/a\0b", 21) + forged;
    pass_at("10:00:00");
    grabber->title = L"next";
    pass_at("10:00:01");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].find('\0'), std::string::npos);
    // The row keeps every other character: CSV quoting carries line feeds.
    EXPECT_NE(rows[0].find("\"https://x.example/a b\n20240101T000000:1:forged\r\""), std::string::npos) << rows[0];

    const std::string logged = kes::util::wstring_to_utf8(kes::debug_log_read());
    std::size_t lines = 0;
    std::istringstream in(logged);
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;  // a record's own line ends with the row's line feed
        ++lines;
        EXPECT_TRUE(std::regex_match(line, std::regex(R"(\d{8}T\d{6}:\d+:.*)"))) << line;
    }
    EXPECT_GT(lines, 10u);
    EXPECT_NE(logged.find("[scanner]Window title = Doc\\n20240101T000000:1:forged\\r"), std::string::npos);
    EXPECT_NE(logged.find("[scanner]\"editor\\n20240101t000000:1:forged\\r\""), std::string::npos);  // lower-cased
    EXPECT_NE(logged.find("Valid entry is: \"editor\\n"), std::string::npos);
}

// Off the network every activation fails. Record starts set the user and
// computer names again; unchanged, they must not send the next
// authentication check to the service.
TEST_F(ScannerTest, FocusChangesWhileOfflineSendNoActivationRequest) {
    class offline_service : public kes::activation_service {
    public:
        kes::activation_result activate_enterprise(const std::wstring&) override { return failed(); }
        kes::activation_result activate_silent() override { return failed(); }
        int requests = 0;

    private:
        kes::activation_result failed() {
            ++requests;
            return {kes::activation_result::outcome::service_error, L"", L"offline"};
        }
    };
    config& settings = config::instance();
    const auto service = std::make_shared<offline_service>();
    settings.set_account_key(L"abcd-1234");
    settings.set_activation_service(service);

    pass_at("10:00:00");
    EXPECT_FALSE(settings.is_authenticated());
    EXPECT_EQ(service->requests, 1);
    const char* const times[] = {"10:00:01", "10:00:02", "10:00:03", "10:00:04"};
    for (int n = 0; n < 4; ++n) {
        grabber->pid = std::to_wstring(200 + n);
        grabber->title = L"Window " + std::to_wstring(n);
        pass_at(times[n]);
        EXPECT_FALSE(settings.is_authenticated());
    }
    EXPECT_EQ(records.size(), 4u) << "every switch started a record";
    EXPECT_EQ(service->requests, 1);

    // A computer renamed meanwhile is a new identity: it is asked about again.
    grabber->computer = L"laptop";
    grabber->pid = L"300";
    pass_at("10:00:05");
    EXPECT_FALSE(settings.is_authenticated());
    EXPECT_EQ(service->requests, 2);
    settings.set_activation_service(nullptr);
    settings.set_account_key(L"");
}

TEST_F(ScannerTest, AnEndWithoutTheOrderlyEndCompletesTheOpenRecordOnceAndNothingAfterIt) {
    pass_at("10:00:00");
    pass_at("10:00:04");
    // The process is ending while the scanner thread still runs.
    subject->complete_open_record_at_exit();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].get_window_title(), L"Document");
    EXPECT_EQ(records[0].get_started(), at("10:00:00"));
    EXPECT_EQ(records[0].get_completed(), at("10:00:04"));
    // The scanner's own completion of the same record, a pass later, must not
    // give it a second time; nor may a second call.
    grabber->title = L"Other";
    pass_at("10:00:05");
    subject->complete_open_record_at_exit();
    subject->complete_open_record_at_end();
    EXPECT_EQ(records.size(), 1u);
}

TEST_F(ScannerTest, AnEndWithoutTheOrderlyEndAfterACompletionAddsNothing) {
    pass_at("10:00:00");
    grabber->pid = L"200";
    pass_at("10:00:03");  // completes the first record and starts the next
    ASSERT_EQ(records.size(), 1u);
    subject->complete_open_record_at_exit();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].get_started(), at("10:00:03"));
    EXPECT_EQ(records[1].get_completed(), at("10:00:03"));
}

}  // namespace

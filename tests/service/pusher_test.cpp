// The pusher against the service stand-in: uploads to the service and its
// mirrors, backups, failures that keep a file, the time-zone event and the
// debug log; the status-line rules against a service in memory.
#include "core/capture/log_entry.h"
#include "core/capture/logger.h"
#include "core/foundation/activation_service.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/system.h"
#include "core/foundation/text.h"
#include "core/foundation/time_util.h"
#include "core/service/pusher.h"
#include "core/service/service_activation.h"
#include "core/service/sync_service.h"
#include "tests/service/puller_fake_service.h"
#include "tests/service/standin_fixture.h"
#include "tests/support/test_environment.h"
#include "tests/support/upload_files.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

namespace kes {
namespace {

namespace stdfs = std::filesystem;
using boost::posix_time::hours;
using boost::posix_time::ptime;
using boost::posix_time::time_from_string;
using json = nlohmann::json;

const std::wstring& demo_key = testing::standin_accounts::demo_account_key;
using testing::standin_accounts::demo_data_key;
const std::wstring mirror_key = L"AK-mirror-4be1c0d9a7f35e62";

std::string field(const json& entry, const std::string& name) {
    for (const auto& item : entry.at("fields")) {
        if (item.at(0) == name) return item.at(1).get<std::string>();
    }
    return "<absent>";
}

log_entry record(int n) {
    const ptime start = time_from_string("2024-05-01 09:00:00") + boost::posix_time::seconds(10 * n);
    return log_entry(L"editor", start + boost::posix_time::seconds(5), L"workstation", L"", L"alice", L"editor",
                     L"", L"1.0", start, L"Notes " + std::to_wstring(n));
}

struct accepting_activation : activation_service {
    activation_result activate_enterprise(const std::wstring&) override { return {}; }
    activation_result activate_silent() override {
        activation_result ok;
        ok.result = activation_result::outcome::success;
        return ok;
    }
};

// Every test starts with empty activities and backup folders, whichever ran before.
void empty_upload_folders() {
    const auto platform = system::create();
    for (const std::string& folder : {platform->get_activities_dir(), platform->get_activities_backup_dir()}) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) std::filesystem::remove_all(entry);
    }
}

class PusherTest : public ::testing::Test {
protected:
    void SetUp() override {
        empty_upload_folders();
        settings().reset(L"");  // no setting of an earlier test carries over
        testing::use_standin(service_);
        settings().set_account_key(demo_key);
        settings().set_activation_service(std::make_shared<service_activation>(api_));
        settings().set_debug_log_level(0xffff);
        service_.set_state({{"extra_account_keys", {kes::util::wstring_to_utf8(mirror_key)}}});
    }
    void TearDown() override { settings().set_activation_service(nullptr); }

    static config& settings() { return config::instance(); }

    // Writes `count` upload files of one record each; their names.
    std::vector<std::string> upload_files(int count) {
        for (int i = 0; i < count; ++i) {
            activity_log_.log(record(i));
            activity_log_.write_current_log_to_disk();
        }
        return testing::folder_names(activities());
    }
    std::string activities() const { return platform_->get_activities_dir(); }
    std::string backups() const { return platform_->get_activities_backup_dir(); }

    // Answers of the service's collect endpoint, by file uuid, for one account key.
    std::map<std::string, std::vector<int>> collect_answers(const std::wstring& key = demo_key) {
        std::map<std::string, std::vector<int>> answers;
        for (const auto& entry : service_.requests("/collect")) {
            if (field(entry, "account_key") != kes::util::wstring_to_utf8(key)) continue;
            answers[field(entry, "file_uuid")].push_back(entry.at("answered").get<int>());
        }
        return answers;
    }

    testing::standin service_;
    Kestrel::Network::API api_{service_.transport(5), [](network::request&) {}};
    std::shared_ptr<system> platform_ = system::create();
    logger activity_log_{{platform_->get_activities_dir(), platform_->get_activities_backup_dir(),
                          platform_->get_log_dir()}};
    pusher pusher_{make_sync_service(api_), activity_log_, platform_};
};

TEST_F(PusherTest, RecordsReachTheServiceAndEveryMirrorAndTheFileIsBackedUp) {
    settings().set_backup_log(true);
    settings().set_mirrored_accounts({{service_.host(), mirror_key}, {service_.host(), L"AK-unknown-9d8c7b6a"}});
    for (int i = 0; i < 3; ++i) activity_log_.log(record(i));
    pusher_.shove();

    const auto at_service = collect_answers();
    ASSERT_EQ(at_service.size(), 1u);
    EXPECT_EQ(at_service.begin()->second, std::vector<int>{200});
    EXPECT_EQ(collect_answers(mirror_key), at_service);
    EXPECT_EQ(collect_answers(L"AK-unknown-9d8c7b6a").size(), 1u);  // refused, and the file still went on

    EXPECT_TRUE(testing::folder_names(activities()).empty());
    const auto backed_up = testing::folder_names(backups());
    ASSERT_EQ(backed_up, std::vector<std::string>{at_service.begin()->first + ".kesg"});
    const auto received = service_.requests("/collect").at(0).at("files").at(0).at("stored").get<std::string>();
    EXPECT_EQ(testing::upload_text(received), testing::upload_text(backups() + "/" + backed_up[0]));
    EXPECT_EQ(testing::lines_of(testing::upload_text(received)).size(), 3u);

    const std::wstring status = settings().get_status_message();
    EXPECT_EQ(status.rfind(L"Successfully sent data at ", 0), 0u) << status;
    EXPECT_EQ(status.substr(26), util::ptime_to_simple_wstr(settings().get_last_successful_send()));
    EXPECT_EQ(settings().get_status_severity(), 0);

    const std::wstring log = debug_log_read();
    EXPECT_EQ(log.find(mirror_key), std::wstring::npos);
    EXPECT_NE(log.find(L"with account_key: ****5e62"), std::wstring::npos);
}

TEST_F(PusherTest, AFailedUploadStaysForTheNextPassAndOnlyWholeUploadFilesGoOut) {
    const auto names = upload_files(3);
    ASSERT_EQ(names.size(), 3u);
    std::ofstream(activities() + "/half.kesc.tmp") << "partial";
    stdfs::create_directory(activities() + "/folder.kesg");
    std::ofstream(platform_->get_data_dir() + "/elsewhere.kesg") << "not ours";
    stdfs::create_symlink(platform_->get_data_dir() + "/elsewhere.kesg", activities() + "/link.kesg");
    service_.script("/collect", {{"status", 500}}, 1);

    pusher_.shove();
    auto left = testing::folder_names(activities());
    EXPECT_EQ(left.size(), 4u);  // the failed file and the three entries that are no upload files
    EXPECT_EQ(settings().get_status_message().rfind(L"Successfully sent data at ", 0), 0u);

    pusher_.shove();
    left = testing::folder_names(activities());
    EXPECT_EQ(left, (std::vector<std::string>{"folder.kesg", "half.kesc.tmp", "link.kesg"}));
    EXPECT_TRUE(testing::folder_names(backups()).empty());  // backups are off: sent files are deleted

    const auto answers = collect_answers();
    ASSERT_EQ(answers.size(), 3u);
    int retried = 0;
    for (const auto& [uuid, codes] : answers) {
        EXPECT_EQ(codes.back(), 200) << uuid;
        EXPECT_EQ(std::count(codes.begin(), codes.end(), 200), 1) << uuid;
        retried += codes.size() == 2 ? 1 : 0;
    }
    EXPECT_EQ(retried, 1);
}

TEST_F(PusherTest, ASentFileThatCannotBeBackedUpIsDeletedAndNeverSentTwice) {
    settings().set_backup_log(true);
    stdfs::create_directories(platform_->get_data_dir());
    std::ofstream(backups()) << "a file where the backup folder should be";
    upload_files(1);
    pusher_.shove();
    EXPECT_TRUE(testing::folder_names(activities()).empty());
    pusher_.shove();
    EXPECT_EQ(collect_answers().size(), 1u);
    EXPECT_EQ(service_.requests("/collect").size(), 1u);
}

TEST_F(PusherTest, ASentFileThatCannotBeDeletedEitherIsNotSentAgain) {
    if (::geteuid() == 0) GTEST_SKIP() << "root deletes from a read-only folder";
    settings().set_backup_log(true);
    stdfs::create_directories(platform_->get_data_dir());
    std::ofstream(backups()) << "a file where the backup folder should be";
    upload_files(1);
    stdfs::permissions(activities(), stdfs::perms::owner_read | stdfs::perms::owner_exec);
    pusher_.shove();
    pusher_.shove();
    stdfs::permissions(activities(), stdfs::perms::owner_all);
    EXPECT_EQ(testing::folder_names(activities()).size(), 1u);
    EXPECT_EQ(service_.requests("/collect").size(), 1u);
}

TEST_F(PusherTest, ATimeZoneChangeIsReportedOnceWithTheTimeItWasFirstSeen) {
    ::setenv("TZ", "Europe/Berlin", 1);
    pusher_.shove();
    EXPECT_TRUE(service_.requests("/api/resource/user_client_events").empty());  // no data key yet

    settings().set_data_key(demo_data_key);
    pusher_.shove();
    pusher_.shove();
    auto events = service_.requests("/api/resource/user_client_events");
    ASSERT_EQ(events.size(), 1u);
    auto body = json::parse(events[0].at("body").get<std::string>());
    EXPECT_EQ(body["user_client_event"]["details"]["timezone"], "Europe/Berlin");
    EXPECT_EQ(body["user_client_event"]["event_description"], "timezone_update");

    ::setenv("TZ", "Asia/Tokyo", 1);
    service_.script("/api/resource/user_client_events", {{"close", true}}, 1);
    pusher_.shove();
    pusher_.shove();
    pusher_.shove();
    events = service_.requests("/api/resource/user_client_events");
    ASSERT_EQ(events.size(), 3u);
    const auto failed = json::parse(events[1].at("body").get<std::string>());
    body = json::parse(events[2].at("body").get<std::string>());
    EXPECT_EQ(body["user_client_event"]["details"]["timezone"], "Asia/Tokyo");
    EXPECT_EQ(body, failed);
    EXPECT_EQ(events[2].at("answered"), 201);
    ::unsetenv("TZ");
}

TEST_F(PusherTest, TheDebugLogGoesOutAfterEachSentFileAndIsEmptiedThen) {
    settings().set_debug_log_send_enabled(true);
    log(L"marker before the first file", log_level::error);
    upload_files(2);
    pusher_.shove();
    const auto sent = service_.requests("/debug_log");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_NE(field(sent[0], "debug_log").find("marker before the first file"), std::string::npos);
    EXPECT_EQ(field(sent[1], "debug_log").find("marker before the first file"), std::string::npos);
    EXPECT_EQ(debug_log_read().find(L"marker before the first file"), std::wstring::npos);
}

// The status line's severity rises to an error only after a day without a
// successful send, or when it showed an error already.
TEST(PusherStatusLine, AFailureIsAnErrorOnlyAfterADayWithoutSuccess) {
    empty_upload_folders();
    config& settings = config::instance();
    settings.set_activation_service(std::make_shared<accepting_activation>());
    settings.set_account_key(L"AK-some-account-0000");
    const ptime now = time_from_string("2024-05-01 17:30:05");
    auto service = std::make_shared<testing::fake_sync_service>();
    service->failing.insert("upload_activity_log");
    auto platform = system::create();
    logger activity_log({platform->get_activities_dir(), platform->get_activities_backup_dir(), platform->get_log_dir()});
    pusher::clocks clocks{[&] { return now; }, [] { return std::chrono::system_clock::now(); }};
    pusher under_test(service, activity_log, platform, clocks);
    activity_log.log(record(1));
    ASSERT_TRUE(settings.is_authenticated());  // its own status line comes first

    settings.set_last_successful_send(now - hours(2));
    settings.set_status_message(L"earlier", 1);
    under_test.shove();
    EXPECT_EQ(settings.get_status_message(), L"service says no: upload_activity_log");
    EXPECT_EQ(settings.get_status_severity(), 1);

    settings.set_last_successful_send(now - hours(25));
    under_test.shove();
    EXPECT_EQ(settings.get_status_severity(), 4);
    settings.set_last_successful_send(now - hours(2));
    under_test.shove();
    EXPECT_EQ(settings.get_status_severity(), 4);  // an error stays an error
    EXPECT_EQ(testing::folder_names(platform->get_activities_dir()).size(), 1u);
    settings.set_activation_service(nullptr);
}

}  // namespace
}  // namespace kes

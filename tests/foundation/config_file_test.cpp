#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/dynamic_structure.h"
#include "core/foundation/dynamic_structure_io.h"
#include "core/foundation/system.h"
#include "core/foundation/text_table.h"
#include "tests/support/test_environment.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/filesystem.hpp>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <thread>

namespace kes {
namespace {

using boost::posix_time::ptime;
using boost::posix_time::time_from_string;

class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override {
        config::instance().set_defaults();
        folder_ = testing::private_home() + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ::mkdir(folder_.c_str(), 0700);
    }

    std::string write(const std::string& name, const std::string& content) {
        const std::string path = folder_ + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    static void apply(const char* json) { config::instance().load(DynamicStructureFromJsonText(json)); }

    static nlohmann::json saved_file() {
        return nlohmann::json::parse(testing::read_file(system::create()->get_config_json_path()));
    }

    static bool log_has(const std::wstring& text) { return debug_log_read().find(text) != std::wstring::npos; }

    std::string folder_;
};

TEST_F(ConfigFile, AppliesOnlyValuesOfTheAcceptedKind) {
    config& store = config::instance();
    apply(R"({"scan_interval": 5.0, "push_interval": 77, "logging_enabled": "false", "check_updates": false,
              "url": 5, "proxy_server": "proxy.local", "enterprise_user_mode": 1, "unknown": 1, "ssl_enabled": true})");
    EXPECT_EQ(store.get_scan_interval(), 1u);
    EXPECT_EQ(store.get_push_interval(), 77u);
    EXPECT_TRUE(store.get_logging_enabled());
    EXPECT_FALSE(store.get_check_updates());
    EXPECT_EQ(store.get_proxy_server(), L"proxy.local");
    EXPECT_EQ(store.get_enterprise_user_mode(), 1u);
    apply(R"({"scan_interval": 5, "enterprise_user_mode": 2})");
    EXPECT_EQ(store.get_scan_interval(), 5u);
    EXPECT_EQ(store.get_enterprise_user_mode(), 1u);
    EXPECT_TRUE(log_has(L"[config:load] enterprise_mode out of range."));
}

// A negative interval would wrap round to decades and stop its loop for good.
TEST_F(ConfigFile, NegativeIntervalsAreRefused) {
    config& store = config::instance();
    apply(R"({"scan_interval": -1, "scan_partial_split_interval": -60, "push_interval": -1800,
              "push_initial_interval": -1, "pull_interval": -300, "pull_initial_interval": -2147483648})");
    EXPECT_EQ(store.get_scan_interval(), 1u);
    EXPECT_EQ(store.get_scan_partial_split_interval(), 60u);
    EXPECT_EQ(store.get_push_interval(), 1800u);
    EXPECT_EQ(store.get_push_initial_interval(), 180u);
    EXPECT_EQ(store.get_pull_interval(), 300u);
    EXPECT_EQ(store.get_pull_initial_interval(), 30u);
    EXPECT_TRUE(log_has(L"[config:load] pull_interval is negative; kept 300"));
    apply(R"({"pull_interval": 0})");  // zero is kept; the loops sleep at least a second
    EXPECT_EQ(store.get_pull_interval(), 0u);
}

TEST_F(ConfigFile, PluginDelayInSecondsBecomesMilliseconds) {
    config& store = config::instance();
    apply(R"({"url_from_plugin_delay": 3})");
    EXPECT_EQ(store.get_url_from_plugin_delay(), 3000u);
    apply(R"({"url_from_plugin_delay": 10})");
    EXPECT_EQ(store.get_url_from_plugin_delay(), 10u);
    apply(R"({"url_from_plugin_delay": 1000})");
    EXPECT_EQ(store.get_url_from_plugin_delay(), 1000u);
}

TEST_F(ConfigFile, TimesReadInBothMonthFormsAndBadTextsAreLogged) {
    config& store = config::instance();
    const ptime expected = time_from_string("2024-03-05 14:30:00");
    apply(R"({"last_update_check": "2024-03-05 14:30:00", "paused_until": "2024-Mar-05 14:30:00",
              "logging_scheduled_start_hour": "08:15:00", "logging_scheduled_stop_hour": "not-a-date-time",
              "last_successful_send": "yesterday"})");
    EXPECT_EQ(store.get_last_update_check(), expected);
    EXPECT_EQ(store.get_paused_until(), expected);
    EXPECT_EQ(store.get_logging_scheduled_start_hour(), boost::posix_time::time_duration(8, 15, 0));
    EXPECT_TRUE(store.get_logging_scheduled_stop_hour().is_not_a_date_time());
    EXPECT_EQ(store.get_last_successful_send(), time_from_string("2001-01-01 00:00:00"));
    EXPECT_TRUE(log_has(L"[config:extract_ptime] could not parse ptime: yesterday"));
    EXPECT_TRUE(log_has(L"[config:extract_ptime] could not parse duration: not-a-date-time"));
    // Only the documented forms reach the date parser; long digit runs and
    // lenient shapes are refused and logged.
    apply(R"({"paused_until": "2030-Dec-31 23:59:59.250000", "last_update_check": "99999-01-01 00:00:00",
              "logging_scheduled_start_hour": "-100:05:00", "logging_scheduled_stop_hour": "1:2"})");
    EXPECT_EQ(store.get_paused_until(), time_from_string("2030-12-31 23:59:59.250000"));
    EXPECT_EQ(store.get_last_update_check(), expected);
    EXPECT_EQ(store.get_logging_scheduled_start_hour(), boost::posix_time::time_duration(-100, 5, 0));
    EXPECT_TRUE(store.get_logging_scheduled_stop_hour().is_not_a_date_time());
    EXPECT_TRUE(log_has(L"could not parse ptime: 99999-01-01 00:00:00"));
    EXPECT_TRUE(log_has(L"could not parse duration: 1:2"));
}

TEST_F(ConfigFile, PresentEmptyListsClearAndOddElementsNeverStopTheLoader) {
    config& store = config::instance();
    apply(R"({"whitelist": ["a", 5, true, ["nested"], {"x": 1}, 1.5],
              "mirrored_accounts": [{"url": "m1", "account_key": "k1"}, "skip", {"url": ["odd"]}],
              "timepie_labels": ["t"], "extended_domain_list": ["e"]})");
    EXPECT_EQ(store.get_whitelist(), (std::vector<std::wstring>{L"a", L"5", L"true", L"1.5"}));
    ASSERT_EQ(store.get_mirrored_accounts().size(), 2u);
    EXPECT_EQ(store.get_mirrored_accounts()[0], (mirrored_account{L"m1", L"k1"}));
    EXPECT_EQ(store.get_mirrored_accounts()[1], (mirrored_account{L"", L""}));
    // An empty array reads as Nil: present and empty must still clear, or a
    // removed upload mirror would keep receiving data.
    apply(R"({"mirrored_accounts": [], "whitelist": null, "timepie_labels": "not a list"})");
    EXPECT_TRUE(store.get_mirrored_accounts().empty());
    EXPECT_TRUE(store.get_whitelist().empty());
    EXPECT_EQ(store.get_timepie_labels(), std::vector<std::wstring>{L"t"});
    EXPECT_EQ(store.get_extended_domain_list(), std::vector<std::wstring>{L"e"});  // absent: kept
}

TEST_F(ConfigFile, EmptyObjectAndOtherTopLevelKindsApplyNothingButCountAsRead) {
    config& store = config::instance();
    store.set_url_from_plugin_delay(5);
    EXPECT_TRUE(store.load_from_json_on_disk(write("kestreld.json", "{}")));
    EXPECT_EQ(store.get_url_from_plugin_delay(), 5u);  // the seconds rule did not run
    EXPECT_TRUE(store.load_from_json_on_disk(write("kestreld.json", "[1, 2]")));
    EXPECT_TRUE(store.load_from_json_on_disk(write("kestreld.json", "42")));
    EXPECT_TRUE(store.load_from_json_on_disk(write("kestreld.json", "null")));
    EXPECT_EQ(store.get_url_from_plugin_delay(), 5u);
    EXPECT_EQ(store.get_status_severity(), 0);
    EXPECT_FALSE(store.load_from_json_on_disk(folder_ + "/missing.json"));
    EXPECT_TRUE(log_has(L"[config:load_from_disk] Unable to open configuration file for reading - using defaults"));
}

TEST_F(ConfigFile, SaveWritesTheDocumentedFormsAndOnlyTheSavedKeys) {
    config& store = config::instance();
    store.set_last_successful_send(time_from_string("2024-03-05 14:30:00"));
    store.set_mirrored_accounts({{L"mirror.local", L"mk"}});
    store.set_idle_activities({L"lunch"});
    const nlohmann::json file = saved_file();
    EXPECT_EQ(file.at("last_successful_send"), "2024-Mar-05 14:30:00");
    EXPECT_EQ(file.at("last_update_check"), "2001-Jan-01 00:00:00");
    EXPECT_EQ(file.at("logging_scheduled_start_hour"), "not-a-date-time");
    EXPECT_EQ(file.at("first_time_running"), false);
    EXPECT_TRUE(store.get_first_time_running());
    EXPECT_EQ(file.at("mirrored_accounts").at(0).at("url"), "mirror.local");
    // An empty list is written as a list, for every reader of the file.
    EXPECT_EQ(file.at("whitelist"), nlohmann::json::array());
    EXPECT_EQ(file.at("extended_domain_list"), nlohmann::json::array());
    EXPECT_EQ(file.at("scan_interval"), 1);
    for (const char* never : {"blocking_enabled", "idle_activities", "ssl_enabled", "enterprise_team_key",
                              "enterprise_user_mode", "corporate_network_workaround"}) {
        EXPECT_FALSE(file.contains(never)) << never;
    }
    struct stat info {};
    ASSERT_EQ(::stat(system::create()->get_config_json_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    store.set_enterprise_team_key(L"team");
    store.set_corporate_network_workaround(true);
    const nlohmann::json enterprise = saved_file();
    EXPECT_EQ(enterprise.at("enterprise_team_key"), "team");
    EXPECT_EQ(enterprise.at("enterprise_user_mode"), 0);
    EXPECT_FALSE(enterprise.contains("enterprise_flag_for_uninstall"));
    EXPECT_EQ(enterprise.at("corporate_network_workaround"), true);
}

TEST_F(ConfigFile, IdleActivitiesAreRuntimeOnlyAndWriteNoFile) {
    const std::string path = system::create()->get_config_json_path();
    std::remove(path.c_str());
    config::instance().set_idle_activities({L"lunch"});
    EXPECT_FALSE(boost::filesystem::exists(path));
    EXPECT_EQ(config::instance().get_idle_activities(), std::vector<std::wstring>{L"lunch"});
    config::instance().set_idle_activities({});
}

TEST_F(ConfigFile, SavedFileLoadsBackToTheSameSettings) {
    config& store = config::instance();
    store.set_account_key(L"k\u00e9y \"quoted\" \\ \U0001F600");
    store.set_proxy_port(L"8080");
    store.set_idle_time_start(42);
    store.set_whitelist({L"a.example", L"b.example"});
    store.set_logging_scheduled_start_hour(boost::posix_time::time_duration(-1, 30, 0));
    store.set_paused_until(time_from_string("2030-12-31 23:59:59.250000"));
    store.set_defaults();
    ASSERT_TRUE(store.load_from_json_on_disk(system::create()->get_config_json_path()));
    EXPECT_EQ(store.get_account_key(), L"k\u00e9y \"quoted\" \\ \U0001F600");
    EXPECT_EQ(store.get_proxy_port(), L"8080");
    EXPECT_EQ(store.get_idle_time_start(), 42u);
    EXPECT_EQ(store.get_whitelist(), (std::vector<std::wstring>{L"a.example", L"b.example"}));
    EXPECT_EQ(store.get_logging_scheduled_start_hour(), boost::posix_time::time_duration(-1, 30, 0));
    EXPECT_EQ(store.get_paused_until(), time_from_string("2030-12-31 23:59:59.250000"));
    EXPECT_FALSE(store.get_first_time_running());
}

TEST_F(ConfigFile, TextThatUtf8CannotEncodeIsSavedEmpty) {
    config& store = config::instance();
    store.set_proxy_username(std::wstring(1, static_cast<wchar_t>(0xDC00)));
    const nlohmann::json file = saved_file();  // parsing fails on invalid UTF-8
    EXPECT_EQ(file.at("proxy_username"), "");
    EXPECT_EQ(store.get_proxy_username().size(), 1u);  // memory keeps what was set
}

TEST_F(ConfigFile, CorruptSettingsFileIsKeptAsideAndDefaultsApply) {
    config& store = config::instance();
    store.set_scan_interval(9);
    const std::string broken = R"({"account_key": "SECRETACCOUNTKEY1234", "scan_interval": 3, )";
    const std::string path = write("kestreld.json", broken);
    EXPECT_FALSE(store.load_from_json_on_disk(path));
    EXPECT_EQ(store.get_scan_interval(), 1u);
    EXPECT_EQ(store.get_status_message(), get_text(L"status_message_corrupt_config"));
    EXPECT_EQ(store.get_status_severity(), 4);
    EXPECT_EQ(testing::read_file(path + ".corrupt"), broken);
    // The file stays where it is (beside the application it decides the data
    // folder); the next save replaces it.
    EXPECT_EQ(testing::read_file(path), broken);
    EXPECT_TRUE(log_has(L"[config:load_from_json_on_disk] Caught std::exception loading config: "));
    EXPECT_TRUE(log_has(L"[config:load_from_json_on_disk] Error reading configuration file - resetting to default "
                        L"configuration"));
    EXPECT_FALSE(log_has(L"SECRETACCOUNTKEY1234"));

    // A later corrupt start never replaces the first copy: each new text gets
    // the next free name, a text kept once is not kept again, and there are
    // at most ten copies.
    const std::string second = R"({"account_key": "OTHER", )";
    write("kestreld.json", second);
    EXPECT_FALSE(store.load_from_json_on_disk(path));
    EXPECT_EQ(testing::read_file(path + ".corrupt"), broken);
    EXPECT_EQ(testing::read_file(path + ".corrupt.1"), second);
    EXPECT_FALSE(store.load_from_json_on_disk(path));
    EXPECT_FALSE(boost::filesystem::exists(path + ".corrupt.2"));
    for (int n = 2; n <= 10; ++n) {
        write("kestreld.json", "{" + std::to_string(n));
        EXPECT_FALSE(store.load_from_json_on_disk(path));
    }
    EXPECT_EQ(testing::read_file(path + ".corrupt.9"), "{9");
    EXPECT_FALSE(boost::filesystem::exists(path + ".corrupt.10"));
    EXPECT_TRUE(log_has(L"10 copies of unreadable configuration files are kept already"));
    EXPECT_EQ(testing::read_file(path + ".corrupt"), broken);

    // A provisioned base_config.json is never moved.
    const std::string base = write("base_config.json", "{");
    EXPECT_FALSE(store.load_from_json_on_disk(base));
    EXPECT_EQ(testing::read_file(base), "{");
}

// A settings file that is there but cannot be read may hold the only copy
// of the account key: the store runs on defaults and saves nothing over it.
TEST_F(ConfigFile, AnUnreadableSettingsFileIsNeverReplaced) {
    config& store = config::instance();
    const std::string path = system::create()->get_config_json_path();
    const auto unreadable_files = {
        std::function<void()>([&] { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }),
        std::function<void()>([&] {
            std::ofstream(path, std::ios::binary) << R"({"account_key": "AK-kept", "pad": ")"
                                                  << std::string(9 * 1024 * 1024, 'x') << "\"}";
        }),
        std::function<void()>([&] { ASSERT_EQ(::mkdir(path.c_str(), 0700), 0); }),
    };
    for (const auto& make : unreadable_files) {
        store.set_scan_interval(7);
        boost::filesystem::remove_all(path);
        make();
        struct stat before {};
        ASSERT_EQ(::stat(path.c_str(), &before), 0);
        EXPECT_FALSE(store.load_from_json_on_disk(path));
        EXPECT_EQ(store.get_scan_interval(), 7u);  // nothing applied, nothing reset
        store.set_account_key(L"AK-new");         // a setter saves
        store.save();
        struct stat after {};
        ASSERT_EQ(::stat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_size, before.st_size);
    }
    EXPECT_TRUE(log_has(L"cannot be read (not a regular file); running on defaults"));
    EXPECT_TRUE(log_has(L"cannot be read (larger than 8388608 bytes); running on defaults"));
    EXPECT_TRUE(log_has(L"[config:save] Not saved: the configuration file could not be read at start"));

    // Once it reads again (or is gone), saving goes on.
    boost::filesystem::remove_all(path);
    EXPECT_FALSE(store.load_from_json_on_disk(path));
    store.set_scan_interval(8);
    EXPECT_EQ(saved_file().at("scan_interval"), 8);
}

// The service sends the same settings at every pull; a file that holds them
// already is not written again (it may be megabytes of lists).
TEST_F(ConfigFile, AnUnchangedStoreIsNotWrittenAgain) {
    config& store = config::instance();
    const std::string path = system::create()->get_config_json_path();
    store.set_scan_interval(4);
    struct stat first {};
    ASSERT_EQ(::stat(path.c_str(), &first), 0);
    store.save();
    store.load(DynamicStructureFromJsonText(R"({"scan_interval": 4})"));
    store.save();
    struct stat second {};
    ASSERT_EQ(::stat(path.c_str(), &second), 0);
    EXPECT_EQ(second.st_ino, first.st_ino);
    store.set_scan_interval(5);
    struct stat third {};
    ASSERT_EQ(::stat(path.c_str(), &third), 0);
    EXPECT_NE(third.st_ino, first.st_ino);
    // A file that went away is written again.
    std::remove(path.c_str());
    store.save();
    EXPECT_EQ(saved_file().at("scan_interval"), 5);
}

TEST_F(ConfigFile, LegacyYamlKeepsTextSettingsAsWritten) {
    config& store = config::instance();
    const std::string path = write("kestreld.cfg",
                                   "account_key: yes\nproxy_port: '8080'\nproxy_server: on\nscan_interval: 7\n"
                                   "logging_enabled: no\nwhitelist: [on, '017', caf\xc3\xa9]\nurl: caf\xc3\xa9.local\n");
    EXPECT_TRUE(store.load_from_yaml_on_disk(path));
    EXPECT_EQ(store.get_account_key(), L"yes");
    EXPECT_EQ(store.get_proxy_port(), L"8080");
    EXPECT_EQ(store.get_proxy_server(), L"on");
    EXPECT_EQ(store.get_scan_interval(), 7u);
    EXPECT_FALSE(store.get_logging_enabled());
    EXPECT_EQ(store.get_whitelist(), (std::vector<std::wstring>{L"on", L"017", L"caf\u00e9"}));
    EXPECT_EQ(store.get_url(), L"caf\u00e9.local");
    EXPECT_EQ(saved_file().at("proxy_port"), "8080");
    EXPECT_TRUE(testing::read_file(path).empty()) << "the legacy file is removed after the migration";

    const std::string broken = write("kestreld.cfg", "a: [1, 2\n");
    EXPECT_FALSE(store.load_from_yaml_on_disk(broken));
    EXPECT_EQ(store.get_status_severity(), 4);
    EXPECT_TRUE(log_has(L"[config:load_from_yaml_on_disk] Caught YAML::Exception loading config: "));
}

TEST_F(ConfigFile, ConcurrentSettersAndPulledSettingsNeverDeadlockAndTheLastSaveWins) {
    config& store = config::instance();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&store, t] {
            for (int i = 0; i < 15; ++i) {
                store.set_proxy_username(L"user" + std::to_wstring(t));
                store.set_idle_time_away(static_cast<std::uint32_t>(i));
                store.load(DynamicStructureFromJsonText(R"({"proxy_server": "pulled", "whitelist": ["w"]})"));
                store.save();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    store.set_data_key(L"final");
    const nlohmann::json file = saved_file();
    EXPECT_EQ(file.at("data_key"), "final");
    EXPECT_EQ(file.at("proxy_server"), "pulled");
    EXPECT_EQ(file.at("proxy_username").get<std::string>().rfind("user", 0), 0u);
}

}  // namespace
}  // namespace kes

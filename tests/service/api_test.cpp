// The web-service client against the service stand-in: what goes on the
// wire (read back from the stand-in's request log) and what comes back.
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/service/api.h"
#include "core/service/network_errors.h"
#include "core/foundation/text_table.h"
#include "tests/service/standin_fixture.h"
#include "tests/support/test_environment.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <gtest/gtest.h>

#include <cwchar>
#include <fstream>
#include <memory>

namespace {

using Kestrel::Network::API;
using json = nlohmann::json;
using kes::testing::standin;

using namespace kes::testing::standin_accounts;
const std::wstring& demo_key = demo_account_key;

void add_test_computer(kes::network::request& call) {
    call.add_param(kes::utf8("computer[brand]"), kes::utf8("Brand"));
    call.add_param(kes::utf8("computer[make]"), kes::utf8("Make"));
    call.add_param(kes::utf8("computer[model]"), kes::utf8("Model"));
    call.add_param(kes::utf8("computer[platform_version]"), kes::utf8("12.0"));
}

std::vector<std::string> field_names(const json& entry) {
    std::vector<std::string> names;
    for (const auto& field : entry.at("fields")) names.push_back(field.at(0).get<std::string>());
    return names;
}

std::string field(const json& entry, const std::string& name) {
    for (const auto& item : entry.at("fields")) {
        if (item.at(0) == name) return item.at(1).get<std::string>();
    }
    return "<absent>";
}

std::string header(const json& entry, const std::string& name) {
    for (const auto& item : entry.at("headers")) {
        if (item.at(0) == name) return item.at(1).get<std::string>();
    }
    return "<absent>";
}

const std::vector<std::string> default_fields{"account_key", "computer_name", "os_username",
                                              "client_version", "os_id", "data_version"};

class ServiceApi : public kes::testing::standin_suite {
protected:
    void SetUp() override { start_test_signed_in_as(demo_key); }

    API api(long timeout_seconds = 10) { return API(service_->transport(timeout_seconds), &add_test_computer); }
};

TEST_F(ServiceApi, SignInReturnsTheKeysAndSendsTheFieldsInOrder) {
    const auto result = api().activate(demo_email, demo_password, L"");
    EXPECT_EQ(result.account_key, demo_key);
    EXPECT_EQ(result.data_key, demo_data_key);

    const json entry = service_->requests("/activate").at(0);
    std::vector<std::string> expected = default_fields;
    for (const char* name : {"computer[brand]", "computer[make]", "computer[model]", "computer[platform_version]",
                             "username", "password"}) {
        expected.emplace_back(name);
    }
    EXPECT_EQ(field_names(entry), expected);
    EXPECT_EQ(field(entry, "os_id"), "2");
    EXPECT_EQ(field(entry, "data_version"), "2");
    EXPECT_EQ(field(entry, "computer_name"), "test-machine");
    EXPECT_EQ(header(entry, "Accept"), "application/json");
    EXPECT_EQ(header(entry, "User-Agent"), "Kestrel Client v1.0.0");
}

TEST_F(ServiceApi, SecondFactorIsAskedForAndThenAccepted) {
    EXPECT_THROW(api().activate(second_email, second_password, L""), Kestrel::Network::TwoFactorRequired);
    try {
        api().activate(second_email, second_password, L"000000");
        FAIL() << "a wrong code was accepted";
    } catch (const Kestrel::Network::TwoFactorRequired& e) {
        EXPECT_EQ(e.message, L"That code was not right. Try again.");
    }
    const auto result = api().activate(second_email, second_password, second_code);
    EXPECT_EQ(result.account_key, L"AK-2fa-c04d7e19a2b54f86b3d1");
    EXPECT_EQ(field(service_->requests("/activate").at(2), "two_factor_auth_code"), "731946");
}

TEST_F(ServiceApi, SilentAndTeamActivationSendOnlyWhatTheyNeed) {
    EXPECT_EQ(api().activate_silent(), demo_key);
    EXPECT_EQ(api().activate_enterprise(L"TEAM-demo-e8a2f4c61b9d"), L"AK-team-5d2e8b0c4a1f4e7d9b36");
    const json calls = service_->requests("/activate");
    EXPECT_EQ(field(calls.at(0), "username"), "<absent>");
    EXPECT_EQ(field(calls.at(1), "enterprise_team_key"), "TEAM-demo-e8a2f4c61b9d");
    EXPECT_EQ(field(calls.at(1), "username"), "<absent>");

    kes::config::instance().set_account_key(L"AK-unknown-0000000000000000");
    EXPECT_THROW(api().activate_silent(), Kestrel::Network::InvalidKey);
    service_->script("/activate", {{"json", {{"c", {0, "OK"}}, {"data_key", "x"}}}});
    EXPECT_THROW(api().activate_silent(), Kestrel::Network::ParseError);  // no account_key
}

TEST_F(ServiceApi, FetchingEndpointsParseTheirAnswers) {
    service_->set_state({{"messages", {1, 5, 77}},
                         {"alerts", {"Read this `https://x/y` now", "Plain `one backtick", "Bad `file:///etc/passwd` x"}},
                         {"still_zone_duration", 25},
                         {"still_zone_until", "2024-05-01T17:30:00"},
                         {"config", {{"scan_interval", 3}}}});
    const auto messages = api().get_messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], kes::message::pull_alerts);
    EXPECT_EQ(static_cast<int>(messages[2]), 77);

    const auto alerts = api().get_alerts();
    ASSERT_EQ(alerts.alerts.size(), 3u);
    EXPECT_EQ(alerts.alerts[0].message, L"Read this  now");
    EXPECT_EQ(alerts.alerts[0].url, L"https://x/y");
    EXPECT_EQ(alerts.alerts[1].message, L"Plain `one backtick");
    EXPECT_EQ(alerts.alerts[1].url, L"");
    EXPECT_EQ(alerts.alerts[2].url, L"") << "only http and https addresses may be opened";
    EXPECT_EQ(alerts.still_zone_duration, 25);
    EXPECT_EQ(boost::posix_time::to_iso_extended_string(alerts.still_zone_until), "2024-05-01T17:30:00");

    EXPECT_EQ(api().get_config().GetMember(L"scan_interval").AsInteger(false), 3);
    const auto version = api().get_released_client_version();
    EXPECT_EQ(version.major * 1000 + version.minor * 100 + version.revision * 10, 1230);
    EXPECT_EQ(version.build, 45);
    EXPECT_EQ(field(service_->requests("/client_version").at(0), "environment"), "1");

    const auto blocking = api().get_blocked_list(true, true, 30);
    EXPECT_TRUE(blocking.blocking_enabled);
    EXPECT_EQ(blocking.block_list.size(), 2u);
    const json block_call = service_->requests("/api/block_list").at(0);
    EXPECT_EQ(field(block_call, "focus"), "true");
    EXPECT_EQ(field(block_call, "duration"), "30");
    EXPECT_EQ(field(block_call, "end_focus"), "<absent>");
    EXPECT_FALSE(api().get_blocked_list(false, true, 0).blocking_enabled);
    EXPECT_EQ(field(service_->requests("/api/block_list").at(1), "end_focus"), "true");
}

// An answer under the size cap can still name millions of values; each
// endpoint keeps what it can use and says what it left out.
TEST_F(ServiceApi, ListsLongerThanAnAnswerCanHoldAreCutAndTheCutIsLogged) {
    json codes = json::array(), alerts = json::array(), sites = json::array();
    for (int i = 0; i < 1500; ++i) codes.push_back(2);
    for (int i = 0; i < 80; ++i) alerts.push_back("alert " + std::to_string(i));
    for (int i = 0; i < 12000; ++i) sites.push_back("s" + std::to_string(i) + ".example");
    service_->set_state({{"messages", codes}, {"alerts", alerts}, {"config", {{"whitelist", sites}, {"scan_interval", 3}}},
                         {"block_list", sites}, {"blocking_always", true}});
    EXPECT_EQ(api().get_messages().size(), 1000u);
    const auto answer = api().get_alerts();
    ASSERT_EQ(answer.alerts.size(), 50u);
    EXPECT_EQ(answer.alerts[49].message, L"alert 49");
    const kes::DynamicStructure settings = api().get_config();
    EXPECT_EQ(settings.GetMember(L"whitelist").Size(), kes::config::max_list_items);
    EXPECT_EQ(settings.GetMember(L"scan_interval").AsInteger(false), 3);  // what follows the cut list is kept
    EXPECT_EQ(api().get_blocked_list(false, false, 0).block_list.size(), kes::config::max_list_items);
    const std::wstring logged = kes::debug_log_read();
    for (const wchar_t* cut : {L"[API::get_messages] The answer held more than the agent keeps: left out 500 values",
                               L"[API::get_alerts] The answer held more than the agent keeps: left out 30 values",
                               L"[API::get_config] The answer held more than the agent keeps: left out 2000 values",
                               L"[API::get_blocked_list] The answer held more than the agent keeps: left out 2000"}) {
        EXPECT_NE(logged.find(cut), std::wstring::npos) << std::string(cut, cut + std::wcslen(cut));
    }
}

TEST_F(ServiceApi, BrowserSupportIsAGetWithoutForm) {
    const auto table = api().get_browser_support_list();
    EXPECT_TRUE(table.HasMember(L"org.mozilla.firefox"));
    const json entry = service_->requests("/api/client_browser_support").at(0);
    EXPECT_EQ(entry.at("method"), "GET");
    EXPECT_EQ(entry.at("query"), "os_id=2&browser_support_version=0");
    EXPECT_TRUE(entry.at("fields").empty());
    EXPECT_EQ(entry.at("body"), "");
    EXPECT_EQ(header(entry, "Accept"), "application/json");
}

TEST_F(ServiceApi, TimeZoneEventIsExactJsonWithBearerKey) {
    api().upload_tz_event(demo_data_key, 1714577405.25, "Europe/Zürich");
    const json entry = service_->requests("/api/resource/user_client_events").at(0);
    EXPECT_EQ(entry.at("answered"), 201);
    EXPECT_EQ(entry.at("body"),
              "{\"user_client_event\":{\"details\":{\"timezone\":\"Europe/Zürich\"},"
              "\"event_description\":\"timezone_update\",\"start_time\":1714577405.25}}");
    EXPECT_EQ(header(entry, "Authorization"), "Bearer: DK-demo-51ab2c7d9e0f4b13a6c8");
    EXPECT_EQ(header(entry, "Content-Type"), "application/json; charset=utf-8");
    EXPECT_TRUE(entry.at("fields").empty()) << "a raw body carries no default fields";

    service_->script("/api/resource/user_client_events", {{"json", json::object()}});  // 200, not 201
    EXPECT_THROW(api().upload_tz_event(demo_data_key, 1.0, "UTC"), Kestrel::Network::UnexpectedHTTPCode);
}

TEST_F(ServiceApi, ActivityUploadSendsTheFileUnchanged) {
    const std::string path = kes::testing::private_home() + "/a.kesc.kesg";
    static constexpr char raw[] = "\x1f\x8b binary \0 bytes\xff";
    const std::string bytes(raw, sizeof raw - 1);
    std::ofstream(path, std::ios::binary) << bytes;
    api().upload_activity_log(path, service_->host(), demo_key);
    const json entry = service_->requests("/collect").at(0);
    std::vector<std::string> expected = default_fields;
    expected.insert(expected.end(), {"gz", "file_uuid"});
    EXPECT_EQ(field_names(entry), expected);
    EXPECT_EQ(field(entry, "gz"), "1");
    EXPECT_EQ(field(entry, "file_uuid"), "a");
    const json file = entry.at("files").at(0);
    EXPECT_EQ(file.at("name"), "file");
    EXPECT_EQ(file.at("filename"), "a.kesc.kesg");
    EXPECT_EQ(file.at("content_type"), "application/octet-stream");
    EXPECT_EQ(kes::testing::read_file(file.at("stored").get<std::string>()), bytes);

    // A file that cannot be read never goes out as an empty upload.
    EXPECT_THROW(api().upload_activity_log(path + ".missing", service_->host(), demo_key),
                 Kestrel::Network::Exception);
    EXPECT_THROW(api().upload_activity_log(kes::testing::private_home(), service_->host(), demo_key),
                 Kestrel::Network::Exception);
    EXPECT_EQ(service_->requests("/collect").size(), 1u);
}

TEST_F(ServiceApi, DebugLogAndDownload) {
    api().upload_debug_log(L"line one\nline two ü\n");
    EXPECT_EQ(field(service_->requests("/debug_log").at(0), "debug_log"), "line one\nline two ü\n");

    const std::string target = kes::testing::private_home() + "/support.json";
    api().download_file("/api/client_browser_support?os_id=2", target);
    EXPECT_NE(kes::testing::read_file(target).find("org.mozilla.firefox"), std::string::npos);
    try {
        api().download_file("/api/client_browser_support?os_id=2", "/nonexistent-dir/x");
        FAIL() << "a download into a folder that does not exist succeeded";
    } catch (const Kestrel::Network::CurlError&) {
        FAIL() << "not a transport failure";
    } catch (const Kestrel::Network::Exception& e) {
        EXPECT_EQ(e.message, kes::get_text(L"status_error_unhandled_error"));
    }
}

TEST_F(ServiceApi, AnswerHeadersKeepTheFirstValueOfARepeatedName) {
    service_->script("/messages", {{"json", {{"messages", json::array()}}},
                                   {"headers", json::array({json::array({"X-A", "b: c"}), json::array({"X-A", "second"})})}});
    kes::config::instance().set_debug_log_level(0xffffffff);
    EXPECT_TRUE(api().get_messages().empty());
    const std::wstring logged = kes::debug_log_read();
    EXPECT_NE(logged.find(L"X-A: b: c\n"), std::wstring::npos);
    EXPECT_EQ(logged.find(L"X-A: second"), std::wstring::npos);
}

}  // namespace

namespace {

TEST_F(ServiceApi, SecretsNeverReachTheDebugLog) {
    kes::config::instance().set_debug_log_level(0xffffffff);
    api().activate(demo_email, demo_password, L"");
    EXPECT_THROW(api().activate(second_email, second_password, L""), Kestrel::Network::TwoFactorRequired);
    api().activate(second_email, second_password, second_code);
    api().activate_enterprise(L"TEAM-demo-e8a2f4c61b9d");
    api().activate_silent();
    api().upload_tz_event(demo_data_key, 2.5, "UTC");
    service_->script("/activate", {{"status", 500}, {"body", "{\"account_key\": \"AK-demo-7f3c9e21b8d44a0f9c5e\"}"}});
    EXPECT_THROW(api().activate_silent(), Kestrel::Network::UnexpectedHTTPCode);
    // A cut-off answer: the JSON library's message quotes what it last read.
    service_->script("/activate", {{"status", 200}, {"body", "{\"c\": [0, \"OK\"], \"account_key\": \"AK-demo-7f3c9e21b8d44a0f9c5e"}});
    EXPECT_THROW(api().activate_silent(), Kestrel::Network::ParseError);
    // Pulled settings may carry keys: mirror accounts, the data key.
    const json keyed_settings = {{"scan_interval", 3},
                                 {"data_key", kes::util::wstring_to_utf8(demo_data_key)},
                                 {"mirrored_accounts", {{{"url", "127.0.0.1:1"}, {"account_key", "AK-mirror-4be1c0d9a7f35e62"}}}}};
    service_->set_state({{"config", keyed_settings}});
    api().get_config();
    service_->script("/config", {{"status", 502}, {"json", {{"config", keyed_settings}}}});
    EXPECT_THROW(api().get_config(), Kestrel::Network::UnexpectedHTTPCode);

    const std::wstring logged = kes::debug_log_read();
    ASSERT_NE(logged.find(L"[API::perform_activate]"), std::wstring::npos);
    for (const std::wstring& secret : {demo_password, second_password, second_code, demo_key, demo_data_key,
                                       std::wstring(L"AK-2fa-c04d7e19a2b54f86b3d1"),
                                       std::wstring(L"DK-2fa-93e5a1f0c7b24d68e2a4"),
                                       std::wstring(L"TEAM-demo-e8a2f4c61b9d"),
                                       std::wstring(L"AK-team-5d2e8b0c4a1f4e7d9b36"),
                                       std::wstring(L"AK-mirror-4be1c0d9a7f35e62")}) {
        EXPECT_EQ(logged.find(secret), std::wstring::npos) << kes::util::narrow(secret);
    }
    EXPECT_NE(logged.find(L"****9c5e"), std::wstring::npos) << "keys show their last 4 characters";
    EXPECT_NE(logged.find(L"[API::perform_activate] Caught nlohmann::json::exception: "), std::wstring::npos);
    EXPECT_NE(logged.find(L"; last read: [redacted]"), std::wstring::npos);
}

}  // namespace

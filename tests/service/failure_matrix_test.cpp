// Every way a call can fail, each with the exact text the user would see.
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/service/api.h"
#include "core/service/network_errors.h"
#include "core/service/reachability.h"
#include "core/service/ui_thread_rule.h"
#include "core/foundation/text_table.h"
#include "tests/service/standin_fixture.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/test_environment.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>

namespace {

using Kestrel::Network::API;
using json = nlohmann::json;
using kes::get_text;
using kes::testing::standin;

const std::wstring& demo_key = kes::testing::standin_accounts::demo_account_key;

std::wstring invalid_response() { return get_text(L"status_error_invalid_response"); }

std::wstring unhandled(int code) {
    return get_text(L"status_error_unhandled_error") + std::to_wstring(code) + L"): " +
           kes::util::widen(curl_easy_strerror(static_cast<CURLcode>(code)));
}

template <class Expected>
std::wstring failure_text(const std::function<void()>& call) {
    try {
        call();
    } catch (const Kestrel::Network::Exception& e) {
        if (dynamic_cast<const Expected*>(&e) == nullptr) return L"<other exception class> " + e.message;
        return e.message;
    }
    return L"<no failure>";
}

class FailureMatrix : public kes::testing::standin_suite {
protected:
    void SetUp() override { start_test_signed_in_as(demo_key); }

    API api(long timeout_seconds = 10) {
        return API(service_->transport(timeout_seconds), [](kes::network::request&) {});
    }

    std::function<void()> messages(long timeout_seconds = 10) {
        return [this, timeout_seconds] { api(timeout_seconds).get_messages(); };
    }
};

TEST_F(FailureMatrix, HttpStatusOtherThanExpected) {
    service_->script("/messages", {{"status", 500}, {"body", "oops"}});
    EXPECT_EQ(failure_text<Kestrel::Network::UnexpectedHTTPCode>(messages()), invalid_response());
    // Never followed: the stand-in sends no Location, and the status is the failure.
    service_->script("/messages", {{"status", 302}});
    EXPECT_EQ(failure_text<Kestrel::Network::UnexpectedHTTPCode>(messages()), invalid_response());
}

TEST_F(FailureMatrix, ARequestOnTheThreadThatDrawsTheInterfaceIsReportedAndWhereTheRuleSaysRefused) {
    using kes::network::ui_thread_policy;
    const std::thread::id drawing = std::this_thread::get_id();
    const auto on_drawing_thread = [drawing] { return std::this_thread::get_id() == drawing; };
    const std::wstring reported =
        L"[network::request] A request on the thread that draws the user interface: /messages";

    kes::network::set_ui_thread_rule(on_drawing_thread, ui_thread_policy::refuse);
    EXPECT_EQ(failure_text<Kestrel::Network::Exception>(messages()), get_text(L"status_error_unhandled_error"));
    EXPECT_TRUE(service_->requests("/messages").empty()) << "a refused request is not sent";
    EXPECT_NE(kes::debug_log_read().find(reported + L" (refused)"), std::wstring::npos);
    std::thread([&] { EXPECT_EQ(failure_text<Kestrel::Network::Exception>(messages()), L"<no failure>"); }).join();
    EXPECT_EQ(service_->requests("/messages").size(), 1u);

    const std::size_t before = kes::debug_log_read().size();
    kes::network::set_ui_thread_rule(on_drawing_thread, ui_thread_policy::report);
    EXPECT_EQ(failure_text<Kestrel::Network::Exception>(messages()), L"<no failure>");
    EXPECT_EQ(service_->requests("/messages").size(), 2u);
    EXPECT_NE(kes::debug_log_read().find(reported, before), std::wstring::npos);
    kes::network::set_ui_thread_rule({}, ui_thread_policy::report);
}

TEST_F(FailureMatrix, ServiceResultCodes) {
    for (int code : {1, 2, 3}) {
        service_->script("/messages", {{"result_code", {code, "X"}}, {"error", "Service says no"}, {"message", "m"}});
        EXPECT_EQ(failure_text<Kestrel::Network::Exception>(messages()), L"Service says no") << code;
    }
    service_->script("/messages", {{"result_code", {4, "X"}}, {"message", "Key gone"}});
    EXPECT_EQ(failure_text<Kestrel::Network::InvalidKey>(messages()), L"Key gone");
    service_->script("/messages", {{"result_code", {5, "X"}}, {"message", "Need code"}});
    EXPECT_EQ(failure_text<Kestrel::Network::TwoFactorRequired>(messages()), L"Need code");
    service_->script("/messages", {{"result_code", {9, "X"}}, {"message", "Odd"}});
    EXPECT_EQ(failure_text<Kestrel::Network::Exception>(messages()),
              kes::get_text_with_args(L"status_error_invalid_kescode", L"9") + L" : Odd");
    service_->script("/messages", {{"result_code", {4, "X"}}});
    EXPECT_EQ(failure_text<Kestrel::Network::InvalidKey>(messages()), L"No error message provided in KES response.");
    // A lone code, a negative one or a fraction is no result code: the answer is read as usual.
    for (const json& codes : {json{4}, json{-4, "X"}, json{1.5, "X"}, json{true, "X"}}) {
        service_->script("/messages", {{"json", {{"c", codes}, {"messages", {2}}}}});
        EXPECT_EQ(api().get_messages().size(), 1u) << codes.dump();
    }
}

TEST_F(FailureMatrix, AnswersOfTheWrongShape) {
    const std::vector<json> broken{
        {{"raw", "[1, 2]"}},                                           // array where an object belongs
        {{"json", {{"c", {0, "OK"}}, {"messages", {"1"}}}}},           // string where an integer belongs
        {{"json", {{"c", {0, "OK"}}, {"messages", {1.5}}}}},           // fraction where an integer belongs
        {{"json", {{"c", {0, "OK"}}, {"messages", {true}}}}},          // boolean where an integer belongs
        {{"json", {{"c", {0, "OK"}}, {"messages", {4294967297}}}}},    // beyond 32 bits
        {{"json", {{"c", {0, "OK"}}}}},                                // member missing
        {{"raw_b64", "eyJtZXNzYWdlcyI6IFsxXSwgIngiOiAi/y8ifQ=="}},     // invalid UTF-8
        {{"raw", "not json at all"}},
        {{"raw", ""}},
    };
    for (const json& action : broken) {
        service_->script("/messages", action);
        EXPECT_EQ(failure_text<Kestrel::Network::ParseError>(messages()), invalid_response()) << action.dump();
    }
    service_->script("/api/block_list", {{"json", {{"blocking_enabled", true}, {"block_list", json::array()}}}});
    EXPECT_EQ(failure_text<Kestrel::Network::ParseError>([this] { api().get_blocked_list(false, false, 0); }),
              invalid_response());
    service_->script("/api/alerts", {{"json", {{"alerts", {"a"}}, {"still_zone_duration", 1.5}}}});
    EXPECT_EQ(api().get_alerts().still_zone_duration, -1);
}

TEST_F(FailureMatrix, BrokenConnections) {
    service_->script("/messages", {{"close", true}});
    EXPECT_EQ(failure_text<Kestrel::Network::CurlError>(messages()), unhandled(CURLE_GOT_NOTHING));

    // A reset is either a dead network or a dead service: the probe decides.
    service_->script("/messages", {{"reset_mid_body", true}});
    EXPECT_EQ(failure_text<Kestrel::Network::CurlError>(messages()), get_text(L"status_error_internet_unavailable"));
    ::setenv("KES_REACHABILITY_PROBE_URL", service_->probe_url().c_str(), 1);
    service_->script("/messages", {{"reset_mid_body", true}});
    // The text names the host asked, not the service's default one.
    EXPECT_EQ(failure_text<Kestrel::Network::CurlError>(messages()), L"Unable to resolve 127.0.0.1. Potential DNS issue.");
    EXPECT_FALSE(service_->requests("/").empty()) << "the probe was not asked";

    service_->script("/messages", {{"stall", 10}});
    EXPECT_EQ(failure_text<Kestrel::Network::CurlError>(messages(1)), get_text(L"status_error_connection_timeout"));
}

TEST_F(FailureMatrix, UnreachableOrUntrustedService) {
    kes::config::instance().set_api_url(L"127.0.0.1:" + std::to_wstring(kes::testing::closed_loopback_port()));
    EXPECT_EQ(failure_text<Kestrel::Network::CurlError>(messages()), get_text(L"status_error_internet_unavailable"));

    kes::testing::use_standin(*service_);
    const auto untrusted = [] {
        kes::network::transport_options options;
        options.ca_bundle_path = "/etc/ssl/certs/ca-certificates.crt";
        API(options, [](kes::network::request&) {}).get_messages();
    };
    EXPECT_EQ(failure_text<Kestrel::Network::CurlError>(untrusted), unhandled(CURLE_PEER_FAILED_VERIFICATION));

    // The user's own workaround turns peer verification off (and says so once).
    kes::config::instance().set_debug_log_level(0xffffffff);
    kes::config::instance().set_corporate_network_workaround(true);
    EXPECT_NO_THROW(untrusted());
    EXPECT_NO_THROW(untrusted());
    const std::wstring logged = kes::debug_log_read();
    const std::wstring notice = L"certificate is not verified";
    const auto first = logged.find(notice);
    ASSERT_NE(first, std::wstring::npos);
    EXPECT_EQ(logged.find(notice, first + 1), std::wstring::npos);
}

TEST_F(FailureMatrix, ProbeUsesTheRequestTimeOuts) {
    // A probe address that accepts and never answers must not hold the caller.
    const kes::testing::loopback_listener silent;
    ::setenv("KES_REACHABILITY_PROBE_URL", ("http://127.0.0.1:" + std::to_string(silent.port()) + "/").c_str(), 1);
    kes::network::transport_options options;
    options.timeout_seconds = 1;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_NE(kes::network::internet_probe(options), CURLE_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(kes::network::curl_code_to_text(CURLE_COULDNT_RESOLVE_PROXY), get_text(L"status_error_proxy_settings"));
    EXPECT_EQ(kes::network::curl_code_to_text(CURLE_SSL_CONNECT_ERROR), get_text(L"status_error_firewall_blocking"));
    EXPECT_EQ(kes::network::curl_code_to_text(CURLE_OK), L"CURLE_OK");
}

}  // namespace

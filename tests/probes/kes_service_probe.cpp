// Drives the web-service client once from the command line, for end-to-end
// scripts: kes_service_probe CALL [--host H] [--ca FILE] [--timeout S]
// [--account-key K] [--user U --password P [--code C]] [--team-key T]
// [--proxy SERVER PORT] [--proxy-auth USER PASSWORD] [--log-level MASK]
// [--file PATH] [--text T]
// CALL: activate, activate_enterprise, activate_silent, messages, debug_log (uploads T),
// collect (uploads the activity file PATH), texts. Prints one JSON line:
// {"ok": bool, "class": exception class or "", "message": text, "account_key": key}.
#include "core/foundation/config.h"
#include "core/foundation/text.h"
#include "core/service/api.h"
#include "core/service/network_errors.h"
#include "core/foundation/text_table.h"

#include <curl/curl.h>
#include <nlohmann/json.hpp>

#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

std::string class_of(const Kestrel::Network::Exception& e) {
    using namespace Kestrel::Network;
    if (dynamic_cast<const CurlError*>(&e)) return "CurlError";
    if (dynamic_cast<const ParseError*>(&e)) return "ParseError";
    if (dynamic_cast<const InvalidKey*>(&e)) return "InvalidKey";
    if (dynamic_cast<const TwoFactorRequired*>(&e)) return "TwoFactorRequired";
    if (dynamic_cast<const UnexpectedHTTPCode*>(&e)) return "UnexpectedHTTPCode";
    return "Exception";
}

std::wstring wide(const std::string& text) { return kes::util::utf8_to_wstring_lossy(text); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: kes_service_probe CALL [options]\n";
        return 2;
    }
    const std::string call = argv[1];
    if (call == "texts") {
        // The status texts the scripts compare with, from the agent's own table.
        nlohmann::json texts = nlohmann::json::object();
        for (const wchar_t* key : {L"status_error_internet_unavailable", L"status_error_unable_to_resolve",
                                   L"status_error_connection_timeout", L"status_error_invalid_response",
                                   L"status_error_unhandled_error"}) {
            texts[kes::util::wstring_to_utf8(key)] = kes::util::wstring_to_utf8(kes::get_text(key));
        }
        std::cout << texts.dump() << std::endl;
        return 0;
    }
    std::map<std::string, std::vector<std::string>> options;
    const std::map<std::string, int> arity{{"--host", 1},       {"--ca", 1},        {"--timeout", 1},
                                           {"--account-key", 1}, {"--user", 1},      {"--password", 1},
                                           {"--code", 1},        {"--team-key", 1},  {"--proxy", 2},
                                           {"--proxy-auth", 2},  {"--log-level", 1}, {"--file", 1},
                                           {"--text", 1}};
    for (int i = 2; i < argc; ++i) {
        const auto known = arity.find(argv[i]);
        if (known == arity.end() || i + known->second >= argc) {
            std::cerr << "bad option " << argv[i] << "\n";
            return 2;
        }
        std::vector<std::string>& values = options[argv[i]];
        for (int n = 0; n < known->second; ++n) values.emplace_back(argv[++i]);
    }
    const auto value = [&](const std::string& name, const std::string& fallback = "") {
        const auto found = options.find(name);
        return found == options.end() ? fallback : found->second.at(0);
    };

    curl_global_init(CURL_GLOBAL_ALL);
    kes::config& settings = kes::config::instance();
    settings.set_debug_log_level(static_cast<std::uint32_t>(std::stoul(value("--log-level", "65535"), nullptr, 0)));
    settings.set_url(wide(value("--host")));
    settings.set_api_url(wide(value("--host")));
    settings.set_account_key(wide(value("--account-key")));
    settings.set_computer_name(L"probe-machine");
    settings.set_os_username(L"probe-user");
    settings.set_client_version(L"1.0.0");
    if (options.count("--proxy")) {
        const auto& proxy = options["--proxy"];
        settings.set_proxy_server(wide(proxy.at(0)));
        settings.set_proxy_port(wide(proxy.at(1)));
    }
    if (options.count("--proxy-auth")) {
        settings.set_proxy_username(wide(options["--proxy-auth"].at(0)));
        settings.set_proxy_password_hash(wide(options["--proxy-auth"].at(1)));
    }
    kes::network::transport_options transport;
    transport.ca_bundle_path = value("--ca");
    transport.timeout_seconds = std::stol(value("--timeout", "10"));
    transport.connect_timeout_seconds = transport.timeout_seconds;
    Kestrel::Network::API api(transport, [](kes::network::request& activation) {
        activation.add_param(kes::utf8("computer[brand]"), kes::utf8("Probe"));
        activation.add_param(kes::utf8("computer[make]"), kes::utf8("Probe"));
        activation.add_param(kes::utf8("computer[model]"), kes::utf8("Probe"));
        activation.add_param(kes::utf8("computer[platform_version]"), kes::utf8("12.0"));
    });

    nlohmann::json result{{"ok", false}, {"class", ""}, {"message", ""}, {"account_key", ""}};
    try {
        if (call == "activate") {
            const auto keys = api.activate(wide(value("--user")), wide(value("--password")), wide(value("--code")));
            result["account_key"] = kes::util::wstring_to_utf8(keys.account_key);
        } else if (call == "activate_enterprise") {
            result["account_key"] = kes::util::wstring_to_utf8(api.activate_enterprise(wide(value("--team-key"))));
        } else if (call == "activate_silent") {
            result["account_key"] = kes::util::wstring_to_utf8(api.activate_silent());
        } else if (call == "messages") {
            api.get_messages();
        } else if (call == "debug_log") {
            api.upload_debug_log(wide(value("--text")));
        } else if (call == "collect") {
            api.upload_activity_log(value("--file"), wide(value("--host")), wide(value("--account-key")));
        } else {
            std::cerr << "unknown call " << call << "\n";
            return 2;
        }
        result["ok"] = true;
    } catch (const Kestrel::Network::Exception& e) {
        result["class"] = class_of(e);
        result["message"] = kes::util::wstring_to_utf8_lossy(e.message);
    }
    std::cout << result.dump() << std::endl;
    curl_global_cleanup();
    return 0;
}

// Drives the configuration store and the JSON writer from the command line
// for the end-to-end scripts:
//   config_probe dump                    the store after start-up, as JSON on stdout
//   config_probe set KEY VALUE...        sets values through the store's setters
//   config_probe save-loop               saves changing values until killed
//   config_probe write-json IN OUT       each line of IN (a JSON document) read into a
//                                        DynamicStructure and written to OUT, records
//                                        separated by "\x1e\n"

#include "core/foundation/config.h"
#include "core/foundation/dynamic_structure.h"
#include "core/foundation/dynamic_structure_io.h"
#include "core/foundation/system.h"
#include "core/foundation/text.h"
#include "core/foundation/text_table.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <nlohmann/json.hpp>

#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

using kes::config;

std::string utf8(const std::wstring& text) { return kes::util::wstring_to_utf8_lossy(text); }
std::wstring wide(const std::string& text) { return kes::util::utf8_to_wstring(text); }

std::vector<std::wstring> split_list(const std::string& text) {
    std::vector<std::wstring> items;
    std::string::size_type start = 0;
    while (!text.empty()) {
        const auto comma = text.find(',', start);
        items.push_back(wide(text.substr(start, comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return items;
}

boost::posix_time::ptime time_of(const std::string& text) {
    return text == "unset" ? boost::posix_time::ptime() : boost::posix_time::time_from_string(text);
}

int set_values(int argc, char** argv) {
    config& store = config::instance();
    const std::map<std::string, std::function<void(const std::string&)>> setters = {
        {"account_key", [&](const std::string& v) { store.set_account_key(wide(v)); }},
        {"data_key", [&](const std::string& v) { store.set_data_key(wide(v)); }},
        {"proxy_server", [&](const std::string& v) { store.set_proxy_server(wide(v)); }},
        {"proxy_port", [&](const std::string& v) { store.set_proxy_port(wide(v)); }},
        {"url", [&](const std::string& v) { store.set_url(wide(v)); }},
        {"scan_interval", [&](const std::string& v) { store.set_scan_interval(std::stoul(v)); }},
        {"debug_log_level", [&](const std::string& v) { store.set_debug_log_level(std::stoul(v)); }},
        {"disable_gui", [&](const std::string& v) { store.set_disable_gui(v == "true"); }},
        {"last_update_check", [&](const std::string& v) { store.set_last_update_check(time_of(v)); }},
        {"last_successful_send", [&](const std::string& v) { store.set_last_successful_send(time_of(v)); }},
        {"paused_until", [&](const std::string& v) { store.set_paused_until(time_of(v)); }},
        {"whitelist", [&](const std::string& v) { store.set_whitelist(split_list(v)); }},
        {"extended_domain_list", [&](const std::string& v) { store.set_extended_domain_list(split_list(v)); }},
        {"blocking_enabled", [&](const std::string& v) { store.set_blocking_enabled(v == "true"); }},
    };
    for (int i = 2; i + 1 < argc; i += 2) {
        const auto setter = setters.find(argv[i]);
        if (setter == setters.end()) {
            std::cerr << "unknown key " << argv[i] << "\n";
            return 2;
        }
        setter->second(argv[i + 1]);
    }
    return 0;
}

std::vector<std::string> utf8_list(const std::vector<std::wstring>& items) {
    std::vector<std::string> out;
    for (const auto& item : items) out.push_back(utf8(item));
    return out;
}

int dump() {
    const config& store = config::instance();
    using boost::posix_time::to_simple_string;
    nlohmann::json out;
    out["account_key"] = utf8(store.get_account_key());
    out["data_key"] = utf8(store.get_data_key());
    out["url"] = utf8(store.get_url());
    out["api_url"] = utf8(store.get_api_url());
    out["proxy_server"] = utf8(store.get_proxy_server());
    out["proxy_port"] = utf8(store.get_proxy_port());
    out["proxy_username"] = utf8(store.get_proxy_username());
    out["scan_interval"] = store.get_scan_interval();
    out["idle_time_start"] = store.get_idle_time_start();
    out["logging_enabled"] = store.get_logging_enabled();
    out["first_time_running"] = store.get_first_time_running();
    out["whitelist"] = utf8_list(store.get_whitelist());
    out["last_update_check"] = to_simple_string(store.get_last_update_check());
    out["status_message"] = utf8(store.get_status_message());
    out["status_severity"] = store.get_status_severity();
    out["corrupt_config_text"] = utf8(kes::get_text(L"status_message_corrupt_config"));
    out["config_path"] = kes::system::create()->get_config_json_path();
    std::cout << out.dump() << std::endl;
    return 0;
}

int save_loop() {
    config& store = config::instance();
    if (store.get_account_key().empty()) store.set_account_key(L"ACCOUNT-KEY-0001");
    std::cout << "ready" << std::endl;
    for (std::uint32_t i = 0;; ++i) {
        // Texts of changing length, so a torn write would show.
        store.set_proxy_username(std::wstring(i % 97, L'\u00e9'));
        store.set_whitelist(std::vector<std::wstring>(i % 13, L"site.example"));
        store.set_idle_time_away(i);
    }
}

int write_json(const char* in_path, const char* out_path) {
    std::ifstream in(in_path, std::ios::binary);
    std::ofstream out(out_path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        out << kes::WriteJsonUtf8(kes::DynamicStructureFromJsonText(line)) << "\x1e\n";
    }
    return out.good() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "dump") return dump();
    if (command == "set") return set_values(argc, argv);
    if (command == "save-loop") return save_loop();
    if (command == "write-json" && argc == 4) return write_json(argv[2], argv[3]);
    std::cerr << "usage: config_probe dump | set KEY VALUE... | save-loop | write-json IN OUT\n";
    return 2;
}

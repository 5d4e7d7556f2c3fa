#include "tests/service/standin_fixture.h"

#include "core/foundation/config.h"
#include "core/foundation/text.h"

#include <curl/curl.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace kes::testing {
namespace {

// The build names the source folder: a path taken from __FILE__ is relative
// to the build folder, and CTest runs the tests from another one.
std::string source_dir() { return KES_SOURCE_DIR; }

std::size_t collect(char* data, std::size_t size, std::size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

}  // namespace

standin::standin() {
    const char* base = std::getenv("TMPDIR");
    std::string dir = std::string(base && *base ? base : "/tmp") + "/kes-standin-XXXXXX";
    if (::mkdtemp(dir.data()) == nullptr) throw std::runtime_error("mkdtemp");
    state_dir_ = dir;
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe");
    const std::string script = source_dir() + "/tests/standin/standin.py";
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::execl("/usr/bin/python3", "python3", script.c_str(), "--state-dir", state_dir_.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string line;
    char c = 0;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    if (line.empty()) throw std::runtime_error("the service stand-in did not start");
    const nlohmann::json info = nlohmann::json::parse(line);
    port_ = info.at("port").get<int>();
    probe_port_ = info.at("probe_port").get<int>();
    ca_cert_ = info.at("ca_cert").get<std::string>();
}

standin::~standin() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    std::system(("rm -rf '" + state_dir_ + "'").c_str());
}

std::wstring standin::host() const { return L"127.0.0.1:" + std::to_wstring(port_); }

std::string standin::probe_url() const { return "http://127.0.0.1:" + std::to_string(probe_port_) + "/"; }

network::transport_options standin::transport(long timeout_seconds) const {
    network::transport_options options;
    options.ca_bundle_path = ca_cert_;
    options.timeout_seconds = timeout_seconds;
    options.connect_timeout_seconds = timeout_seconds;
    return options;
}

nlohmann::json standin::control(const std::string& method, const std::string& path, const nlohmann::json& body) {
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    const std::string url = "https://127.0.0.1:" + std::to_string(port_) + path;
    const std::string payload = body.dump();
    std::string answer;
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_CAINFO, ca_cert_.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 10L);
    curl_easy_setopt(curl.get(), CURLOPT_PROXY, "");
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &answer);
    if (method == "POST") curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, payload.c_str());
    const CURLcode code = curl_easy_perform(curl.get());
    if (code != CURLE_OK) throw std::runtime_error(std::string("stand-in control: ") + curl_easy_strerror(code));
    return nlohmann::json::parse(answer);
}

void standin::script(const std::string& path, const nlohmann::json& action, int count) {
    control("POST", "/_standin/script",
            {{"path", path}, {"action", action}, {"count", count > 0 ? nlohmann::json(count) : nlohmann::json()}});
}

void standin::set_state(const nlohmann::json& changes) { control("POST", "/_standin/state", changes); }

void standin::reset() { control("POST", "/_standin/reset", nlohmann::json::object()); }

nlohmann::json standin::requests(const std::string& path) {
    nlohmann::json all = control("GET", "/_standin/requests", nullptr);
    if (path.empty()) return all;
    nlohmann::json chosen = nlohmann::json::array();
    for (const auto& entry : all) {
        if (entry.value("path", "") == path) chosen.push_back(entry);
    }
    return chosen;
}

void use_standin(const standin& service) {
    config& settings = config::instance();
    settings.set_url(service.host());
    settings.set_api_url(service.host());
    settings.set_computer_name(L"test-machine");
    settings.set_os_username(L"tester");
    settings.set_client_version(L"1.0.0");
}

std::unique_ptr<standin> standin_suite::service_;

void start_test_on(standin& service) {
    service.reset();
    use_standin(service);
    ::setenv("KES_REACHABILITY_PROBE_URL", "http://127.0.0.1:9/", 1);
}

void standin_suite::start_test_signed_in_as(const std::wstring& account_key) {
    start_test_on(*service_);
    config::instance().set_account_key(account_key);
    config::instance().set_corporate_network_workaround(false);
}

}  // namespace kes::testing

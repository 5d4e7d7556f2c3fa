#pragma once
// The service stand-in (tests/standin/standin.py) as a child process of a
// test program, with its control interface and request log.

#include "core/service/transport_options.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <memory>

#include <string>
#include <sys/types.h>

namespace kes::testing {

class standin {
public:
    standin();
    ~standin();
    standin(const standin&) = delete;
    standin& operator=(const standin&) = delete;

    // "127.0.0.1:PORT", as the settings `url` and `api_url` hold it.
    std::wstring host() const;
    int port() const { return port_; }
    // An address answering 200 over plain HTTP: the reachability probe.
    std::string probe_url() const;
    const std::string& ca_cert() const { return ca_cert_; }
    const std::string& state_dir() const { return state_dir_; }
    network::transport_options transport(long timeout_seconds = 10) const;

    // The next `count` requests to path ("*": any) get `action`; 0: all.
    void script(const std::string& path, const nlohmann::json& action, int count = 1);
    void set_state(const nlohmann::json& changes);
    void reset();
    nlohmann::json requests(const std::string& path = {});

private:
    nlohmann::json control(const std::string& method, const std::string& path, const nlohmann::json& body);

    pid_t pid_ = -1;
    int port_ = 0;
    int probe_port_ = 0;
    std::string ca_cert_;
    std::string state_dir_;
};

// Points url and api_url at the stand-in, with an identity for the default fields.
void use_standin(const standin& service);

// A test suite sharing one stand-in; each test starts it afresh, signed in
// with the given key, the probe on a closed loopback port.
class standin_suite : public ::testing::Test {
protected:
    static void SetUpTestSuite() { service_ = std::make_unique<standin>(); }
    static void TearDownTestSuite() { service_.reset(); }

    static void start_test_signed_in_as(const std::wstring& account_key);

    static std::unique_ptr<standin> service_;
};

}  // namespace kes::testing

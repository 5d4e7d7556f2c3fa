#pragma once
// The service stand-in (tests/standin/standin.py) as a child process of a
// test program, with its control interface and request log.

#include "core/service/transport_options.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/types.h>

#include <memory>
#include <string>

namespace kes::testing {

// The stand-in's accounts (tests/standin/service.py): "demo" signs in with
// its password, "second" asks for a second-factor code as well.
namespace standin_accounts {
inline const std::wstring demo_email = L"demo@kestrel.test";
inline const std::wstring demo_password = L"demo-Password-4711";
inline const std::wstring demo_account_key = L"AK-demo-7f3c9e21b8d44a0f9c5e";
inline const std::wstring demo_data_key = L"DK-demo-51ab2c7d9e0f4b13a6c8";
inline const std::wstring second_email = L"second@kestrel.test";
inline const std::wstring second_password = L"second-Password-0815";
inline const std::wstring second_code = L"731946";
inline const std::wstring second_account_key = L"AK-2fa-c04d7e19a2b54f86b3d1";
inline const std::wstring second_data_key = L"DK-2fa-93e5a1f0c7b24d68e2a4";
}  // namespace standin_accounts

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
// A test's start against a shared stand-in: its state and request log reset,
// the settings pointed at it (use_standin), and the reachability probe on a
// closed loopback port, so "no network" unless a test says otherwise.
void start_test_on(standin& service);

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

// The configuration store activates through the web-service client.
#include "core/service/service_activation.h"

#include "core/foundation/config.h"
#include "tests/service/standin_fixture.h"

#include <gtest/gtest.h>

namespace {

TEST(ServiceActivation, StoreActivatesThroughTheService) {
    kes::testing::standin service;
    Kestrel::Network::API api(service.transport(), [](kes::network::request&) {});
    auto activation = std::make_shared<kes::service_activation>(api);

    kes::config& settings = kes::config::instance();
    settings.set_defaults();
    kes::testing::use_standin(service);
    settings.set_account_key(L"AK-unknown-000000000000000");
    EXPECT_EQ(activation->activate_silent().result, kes::activation_result::outcome::invalid_key);
    EXPECT_EQ(activation->activate_silent().message, L"This computer's account key is not valid.");

    const auto enrolled = activation->activate_enterprise(L"TEAM-demo-e8a2f4c61b9d");
    EXPECT_EQ(enrolled.result, kes::activation_result::outcome::success);
    EXPECT_EQ(enrolled.account_key, L"AK-team-5d2e8b0c4a1f4e7d9b36");

    settings.set_account_key(L"AK-demo-7f3c9e21b8d44a0f9c5e");
    settings.set_activation_service(activation);
    EXPECT_TRUE(settings.is_authenticated());
    EXPECT_FALSE(service.requests("/activate").empty());
    settings.set_activation_service(nullptr);
}

}  // namespace

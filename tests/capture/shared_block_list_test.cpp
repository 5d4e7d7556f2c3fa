// The puller replaces the block list and the browser-support table while the
// scanner walks chains, matches addresses and lifts blocks: every answer the
// scanner gets comes from one whole list or table, never from one half
// replaced. (Run under ThreadSanitizer too.)
#include "core/foundation/system.h"
#include "core/service/puller.h"
#include "tests/capture/chain_fixture.h"
#include "tests/service/puller_fake_service.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <gtest/gtest.h>

#include <set>
#include <thread>

namespace kes {
namespace {

constexpr const char* first_table = R"({"org.example.browser":{"paths":[{"id":"silent"},{"id":"first"}]}})";
constexpr const char* second_table = R"({"org.example.browser":{"paths":[{"id":"second"}]}})";

TEST(SharedBlockList, ThePullerReplacesListAndTableWhileTheScannerReadsThem) {
    config& settings = config::instance();
    settings.set_defaults();
    settings.set_blocking_until(settings.local_now() + boost::posix_time::hours(1));
    settings.set_url(L"app.kestrel.test");

    auto service = std::make_shared<testing::fake_sync_service>();
    service->block_list.blocking_enabled = true;
    service->block_list.extended_domain_list = {L"unlisted"};
    puller service_puller(service, system::create(), []() -> ui* { return nullptr; });

    testing::chain_grabber grabber;
    grabber.factory().bundles = {{L"100", L"org.example.browser"}};
    grabber.factory().answers = {{L"silent", [] { return std::wstring(); }},
                                 {L"first", [] { return std::wstring(L"https://first.example/a"); }},
                                 {L"second", [] { return std::wstring(L"https://second.example/b"); }}};
    testing::store_browser_support(first_table);

    const std::vector<std::wstring> lists[2] = {{L"first.example", L"lifted.example"}, {L"second.example"}};
    const DynamicStructure tables[2] = {DynamicStructureFromJsonText(first_table),
                                        DynamicStructureFromJsonText(second_table)};
    constexpr int replacements = 40;
    std::atomic<bool> pulling{true};
    std::thread puller_thread([&] {
        for (int i = 0; i < replacements; ++i) {
            service->block_list.block_list = lists[i % 2];
            service->browser_support = tables[i % 2];
            service_puller.update_blocked_list(false, false, 0);
            service_puller.update_browser_support();
        }
        pulling = false;
    });

    std::set<std::wstring> addresses;
    int walks = 0;
    while (pulling || walks == 0) {
        addresses.insert(grabber.get_extended_info());
        grabber.is_application_blocked(L"first.example");
        grabber.unblock_by_window_title(L"Kestrel Unblock: https://lifted.example/");
        const std::vector<std::wstring> items = settings.get_blocked_items();
        EXPECT_TRUE(items.empty() || items == lists[0] || items == lists[1] ||
                    items == std::vector<std::wstring>{L"first.example"})
            << "a block list is always one the puller stored, or that with the lifted item removed";
        ++walks;
    }
    puller_thread.join();

    for (const std::wstring& address : addresses) {
        EXPECT_TRUE(address == L"https://first.example/a" || address == L"https://second.example/b") << address;
    }
    EXPECT_GT(walks, 0);
    settings.set_defaults();
}

}  // namespace
}  // namespace kes

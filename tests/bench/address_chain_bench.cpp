// What the browser-address walk costs at a record start: for an application
// that is no browser (the null link), for a browser whose cached chain has
// nothing to say, and matching an address against a block list of 50 items.
// Run with HOME pointing at a scratch folder: the store writes its files there.
#include "core/capture/extended_info_grabber.h"
#include "core/capture/grabber.h"
#include "core/foundation/config.h"
#include "app/osx_extended_info_grabber_factory.h"

#include <benchmark/benchmark.h>
#include <boost/date_time/posix_time/posix_time.hpp>

#include <memory>
#include <string>
#include <vector>

namespace {

class front_process : public kes::grabber {
public:
    explicit front_process(std::wstring key)
        : grabber(std::make_unique<kes::osx_extended_info_grabber_factory>([key](int) { return key; })) {}
    std::wstring get_active_process_id() override { return L"31337"; }
    std::wstring get_process_name() override { return L"editor"; }
    std::wstring get_application_name() override { return L"editor"; }
    std::wstring get_process_filename() override { return L""; }
    std::wstring get_process_version(bool) override { return L""; }
    std::wstring get_window_title() override { return L""; }
    std::wstring get_os_username() override { return L""; }
    std::wstring get_computer_name() override { return L""; }
};

void BM_WalkOfANonBrowser(benchmark::State& state) {
    kes::config::instance().set_defaults();
    front_process editor(L"");
    for (auto _ : state) benchmark::DoNotOptimize(editor.get_extended_info());
}
BENCHMARK(BM_WalkOfANonBrowser);

void BM_WalkOfACachedBrowserChain(benchmark::State& state) {
    kes::config::instance().set_defaults();
    front_process browser(L"org.mozilla.firefox");
    for (auto _ : state) benchmark::DoNotOptimize(browser.get_extended_info());
}
BENCHMARK(BM_WalkOfACachedBrowserChain);

void BM_BlockListOf50Items(benchmark::State& state) {
    kes::config& settings = kes::config::instance();
    settings.set_defaults();
    std::vector<std::wstring> items;
    for (int i = 0; i < 50; ++i) items.push_back(L"site" + std::to_wstring(i) + L".example.org");
    settings.set_blocked_items(items);
    settings.set_blocking_until(settings.local_now() + boost::posix_time::hours(1));
    const kes::null_extended_info_grabber link;
    std::wstring redirect;
    for (auto _ : state) {
        benchmark::DoNotOptimize(link.is_url_blocked(L"https://www.news.example.com/today/story?id=42", redirect));
    }
    settings.set_defaults();
}
BENCHMARK(BM_BlockListOf50Items);

}  // namespace

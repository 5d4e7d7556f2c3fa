// The web pages the agent sends the user to, beyond those of the menu: the
// windows' pages, the help page with its escaped text, the block page and
// the API host.
#include "core/ui/web_links.h"
#include "tests/ui/ui_fixture.h"

#include <functional>

namespace kes {
namespace {

class WebLinksTest : public testing::UiTest {
protected:
    std::wstring opened_by(const std::function<void(ui&)>& open) {
        const std::size_t before = ui_.opened_urls().size();
        open(ui_);
        const auto opened = ui_.opened_urls();
        return opened.size() == before + 1 ? opened.back() : L"(nothing or more than one page opened)";
    }
};

TEST_F(WebLinksTest, EveryPageOpensOnTheConfiguredHostWithTheSourceMarker) {
    const std::wstring site = L"https://app.kestrel.test";
    const std::vector<std::pair<void (*)(ui&), std::wstring>> pages = {
        {open_setup_done_page, site + L"/setup/done?src=client"},
        {open_release_notes_page, site + L"/release-notes/mac?src=client"},
        {open_offline_time_settings_page, site + L"/offline_time/settings?src=client"},
        {open_monthly_productivity_page,
         site + L"/browse/productivity/1/by/rank/for/the/month/of/2024-05-01?src=client"},
        {open_still_zone_settings_page, site + L"/settings/stillzone?src=client"},
        {open_alerts_page, site + L"/alerts?src=client"},
        {open_download_page, site + L"/download?src=client"},
        {open_browser_plugin_page, site + L"/browser-plugin?src=client"},
        {open_signup_page, site + L"/signup?src=client"},
        {open_forgot_password_page, site + L"/forgot?src=client"},
    };
    for (const auto& [open, address] : pages) EXPECT_EQ(opened_by(open), address);
    EXPECT_EQ(release_notes_page_address(), site + L"/release-notes/mac?src=client");
    EXPECT_EQ(offline_time_settings_page_address(), site + L"/offline_time/settings?src=client");

    settings().set_url(L"127.0.0.1:8443");
    EXPECT_EQ(opened_by(open_signup_page), L"https://127.0.0.1:8443/signup?src=client") << "read when opened";
}

TEST_F(WebLinksTest, TheHelpTextIsEscapedSoItCannotChangeTheAddress) {
    const std::wstring opened = opened_by([](ui& target) {
        open_quickhelp_page(L"Version: 1.0 & more#frag?x=y / Zoë <ann@example.org>", target);
    });
    EXPECT_EQ(opened,
              L"https://app.kestrel.test/quickhelp?support_info=Version%3A%201.0%20%26%20more%23frag%3Fx%3Dy%20%2F"
              L"%20Zo%C3%AB%20%3Cann%40example.org%3E&src=client");
}

TEST_F(WebLinksTest, TheBlockPageCarriesTheEscapedAddressAndNoMarker) {
    EXPECT_EQ(block_page_address(L"https://bücher.example"),
              L"https://app.kestrel.test/blocked/url/https%3A%2F%2Fb%C3%BCcher.example");
    EXPECT_EQ(block_page_address(L"http://a b.example"),
              L"https://app.kestrel.test/blocked/url/http%3A%2F%2Fa%20b.example");
}

TEST_F(WebLinksTest, TheApiHostIsTheApiSettingOrElseTheWebHost) {
    settings().set_api_url(L"api.kestrel.test");
    EXPECT_EQ(get_api_host(), L"api.kestrel.test");
    settings().set_api_url(L"");
    EXPECT_EQ(get_api_host(), L"app.kestrel.test");
}

}  // namespace
}  // namespace kes

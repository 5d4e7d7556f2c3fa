// During a focus session: which browser addresses and applications the
// block list blocks, the block page a blocked address is sent to, and the
// window-title marker that lifts blocks.
#include "core/foundation/config.h"
#include "kes/build_config.h"
#include "tests/capture/chain_fixture.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <gtest/gtest.h>

namespace kes {
namespace {

using boost::posix_time::minutes;
using boost::posix_time::ptime;
using boost::posix_time::time_from_string;

class BlockMatchingTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings().set_defaults();
        settings().set_clock([this] { return now_; });
        settings().set_url(L"app.kestrel.test");
        settings().set_blocking_until(now_ + minutes(25));
        settings().set_blocked_items({L"example.org", L"www.example.net", L"bücher.example", L"Chat"});
    }
    void TearDown() override {
        settings().set_clock({});
        settings().set_defaults();
    }
    static config& settings() { return config::instance(); }

    // Whether the address is blocked, with the block page it is sent to.
    std::pair<bool, std::wstring> check(const std::wstring& url) const {
        std::wstring redirect = L"left over";
        const bool blocked = link_.is_url_blocked(url, redirect);
        return {blocked, redirect};
    }
    bool blocked(const std::wstring& url) const { return check(url).first; }

    ptime now_ = time_from_string("2024-05-01 17:30:05");
    null_extended_info_grabber link_;
    testing::chain_grabber grabber_;
};

TEST_F(BlockMatchingTest, AHostIsBlockedWithOrWithoutWwwOverAnySchemeButNotItsOtherSubdomains) {
    EXPECT_TRUE(blocked(L"https://example.org/"));
    EXPECT_TRUE(blocked(L"http://www.example.org/some/path?q=1"));
    EXPECT_TRUE(blocked(L"HTTPS://Example.ORG/Path"));
    EXPECT_TRUE(blocked(L"example.org/no/scheme"));
    EXPECT_FALSE(blocked(L"https://news.example.org/"));
    EXPECT_FALSE(blocked(L"https://example.org.evil.test/"));
    // An item that begins with "www." blocks the bare host too.
    EXPECT_TRUE(blocked(L"https://example.net/a"));
    EXPECT_TRUE(blocked(L"https://www.example.net/a"));
    EXPECT_FALSE(blocked(L"https://mail.example.net/a"));
    const auto [blocked_now, redirect] = check(L"https://news.example.org/");
    EXPECT_FALSE(blocked_now);
    EXPECT_EQ(redirect, L"") << "the redirect is emptied when nothing is blocked";
}

TEST_F(BlockMatchingTest, TheBlockPageCarriesTheEscapedSchemeAndHostNotThePath) {
    EXPECT_EQ(check(L"https://www.Example.org/a b?c=d#e").second,
              L"https://app.kestrel.test/blocked/url/https%3A%2F%2Fwww.Example.org");
    EXPECT_EQ(check(L"https://bücher.example/x").second,
              L"https://app.kestrel.test/blocked/url/https%3A%2F%2Fb%C3%BCcher.example");
}

TEST_F(BlockMatchingTest, TheServicesOwnPagesAndNewTabPagesAreNeverBlocked) {
    const std::wstring own_host = std::wstring(L"app.") + build::service_domain;
    settings().set_blocked_items({own_host, L"newtab", L"example.org"});
    EXPECT_FALSE(blocked(L"https://" + own_host + L"/blocked/url/https%3A%2F%2Fexample.org"));
    EXPECT_FALSE(blocked(L"chrome://newtab/"));
    EXPECT_FALSE(blocked(L"about:newtab"));
    EXPECT_TRUE(blocked(L"https://example.org/"));
}

TEST_F(BlockMatchingTest, AnExtendedDomainEntryBlocksOnlyTheAddressesHoldingIt) {
    settings().set_extended_domain_list({L"unlisted", L"example.com/news"});
    settings().set_blocked_items({L"example.com/news"});
    EXPECT_TRUE(blocked(L"https://example.com/news/today"));
    EXPECT_FALSE(blocked(L"https://example.com/sports"));
    EXPECT_EQ(check(L"https://example.com/news/today").second,
              L"https://app.kestrel.test/blocked/url/https%3A%2F%2Fexample.com");
    // With entries that match nothing the host is the key again.
    settings().set_blocked_items({L"example.com"});
    EXPECT_TRUE(blocked(L"https://example.com/sports"));
    settings().set_extended_domain_list({L"unlisted"});
    EXPECT_TRUE(blocked(L"https://www.example.com/"));
}

TEST_F(BlockMatchingTest, ApplicationsAreMatchedExactlyAndCaseSensitively) {
    EXPECT_TRUE(grabber_.is_application_blocked(L"Chat"));
    EXPECT_FALSE(grabber_.is_application_blocked(L"chat"));
    EXPECT_FALSE(grabber_.is_application_blocked(L"Chat app"));
    settings().set_blocked_items({});
    EXPECT_FALSE(grabber_.is_application_blocked(L""));
}

TEST_F(BlockMatchingTest, TheUnblockMarkerRemovesEveryItemHeldInItsAddressAndKeepsTheRest) {
    settings().set_blocked_items({L"example.org", L"www.example.org", L"news.example.net", L""});
    grabber_.unblock_by_window_title(L"Terminal — Kestrel Unblock: https://WWW.Example.org/page");
    EXPECT_EQ(settings().get_blocked_items(), std::vector<std::wstring>{L"news.example.net"});

    // No marker: nothing changes. The marker with nothing held: the list is
    // stored again all the same.
    const auto before = settings().blocked_items_snapshot();
    grabber_.unblock_by_window_title(L"Kestrel unblock: https://news.example.net/");
    EXPECT_EQ(settings().blocked_items_snapshot(), before);
    grabber_.unblock_by_window_title(L"Kestrel Unblock: https://elsewhere.test/");
    EXPECT_NE(settings().blocked_items_snapshot(), before);
    EXPECT_EQ(settings().get_blocked_items(), std::vector<std::wstring>{L"news.example.net"});
}

TEST_F(BlockMatchingTest, ABlockListStoredMeanwhileIsNotOverwritten) {
    const auto seen = settings().blocked_items_snapshot();
    settings().set_blocked_items({L"fresh.example"});  // the puller, in between
    EXPECT_FALSE(settings().replace_blocked_items(seen, {L"stale.example"}));
    EXPECT_EQ(settings().get_blocked_items(), std::vector<std::wstring>{L"fresh.example"});
    EXPECT_TRUE(settings().replace_blocked_items(settings().blocked_items_snapshot(), {}));
    EXPECT_TRUE(settings().get_blocked_items().empty());
}

TEST_F(BlockMatchingTest, WithoutAFocusSessionNothingIsBlockedOrLifted) {
    settings().set_blocking_enabled(false);
    const auto [is_blocked, redirect] = check(L"https://example.org/");
    EXPECT_FALSE(is_blocked);
    EXPECT_EQ(redirect, L"");
    EXPECT_FALSE(grabber_.is_application_blocked(L"Chat"));
    grabber_.unblock_by_window_title(L"Kestrel Unblock: https://example.org/");
    EXPECT_EQ(settings().get_blocked_items().size(), 4u);
}

}  // namespace
}  // namespace kes

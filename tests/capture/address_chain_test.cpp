// A browser's address chain: built from the browser-support table, cached
// per process, walked until a link answers, reduced to scheme and host and
// filtered by the whitelist.
#include "core/foundation/debug_log.h"
#include "tests/capture/chain_fixture.h"
#include "tests/ui/debug_log_lines.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kes {
namespace {

using testing::answering_factory;
using testing::chain_grabber;
using testing::store_browser_support;

constexpr const char* two_ways =
    R"({"org.example.browser":{"bundle_id":"org.example.browser","paths":[{"id":"silent"},{"id":"answers"}]}})";

class AddressChainTest : public ::testing::Test {
protected:
    void SetUp() override {
        config& settings = config::instance();
        settings.set_defaults();
        settings.set_debug_log_level(log_level::error | log_level::url);
        factory().bundles = {{L"100", L"org.example.browser"}};
        factory().answers = {{L"silent", [] { return std::wstring(); }},
                             {L"answers", [] { return std::wstring(L"https://news.example.org:8443/today?x=1"); }}};
        store_browser_support(two_ways);
    }
    void TearDown() override { config::instance().set_defaults(); }

    answering_factory& factory() { return grabber_.factory(); }

    // The walk's result and the lines it logged.
    std::pair<std::wstring, std::vector<std::wstring>> walk(const std::wstring& pid = L"100") {
        grabber_.set_pid(pid);
        const std::size_t before = testing::log_size();
        std::wstring result = grabber_.get_extended_info();
        return {result, testing::messages_since(before)};
    }

    static bool has(const std::vector<std::wstring>& lines, const std::wstring& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    chain_grabber grabber_;
};

TEST_F(AddressChainTest, ALinkThatAnswersNothingHandsOverToTheNextInTheSameWalk) {
    const auto [address, lines] = walk();
    EXPECT_EQ(address, L"https://news.example.org:8443/today?x=1");
    const std::vector<std::wstring> expected_order = {L"Failed to get url using: [silent]",
                                                      L"Found url using: [answers]"};
    auto first = std::find(lines.begin(), lines.end(), expected_order[0]);
    ASSERT_NE(first, lines.end());
    EXPECT_NE(std::find(first, lines.end(), expected_order[1]), lines.end());
    EXPECT_FALSE(has(lines, L"No further grabbers to try"));

    // The chain is kept: a second walk builds nothing and asks no identity.
    walk();
    EXPECT_EQ(factory().links_made, 2);
    EXPECT_EQ(factory().bundle_lookups, 1);
    EXPECT_EQ(factory().link_calls[L"silent"], 2);
}

TEST_F(AddressChainTest, UnknownPathIdsGiveTheNullLinkWhichIsNotCached) {
    store_browser_support(R"({"org.example.browser":{"paths":[{"id":"carrier-pigeon"}]}})");
    const auto [address, lines] = walk();
    EXPECT_EQ(address, L"");
    EXPECT_TRUE(has(lines, L"Failed to get url using: [null-grabber]"));
    EXPECT_TRUE(has(lines, L"No further grabbers to try"));
    EXPECT_EQ(factory().cached_chains(), 0u);
    walk();
    EXPECT_EQ(factory().bundle_lookups, 2) << "nothing cached: the lookup is made again";

    // A process that is no known browser walks the null link too.
    const auto [other, other_lines] = walk(L"555");
    EXPECT_EQ(other, L"");
    EXPECT_TRUE(
        has(other_lines, L"extended_info_grabber_factory::get_extended_info_grabber() - Finding grabber for: "));
    EXPECT_TRUE(has(other_lines, L"No further grabbers to try"));
}

TEST_F(AddressChainTest, TablesOfTheWrongShapeYieldNothingAndStopNothing) {
    store_browser_support(R"(["not", "a", "structure"])");
    EXPECT_TRUE(has(walk().second,
                    L"extended_info_grabber_factory::get_extended_info_grabber() - expected browser_support to be a "
                    L"structure "));
    store_browser_support(R"({"org.example.browser":"safari"})");
    EXPECT_TRUE(has(walk().second,
                    L"extended_info_grabber_factory::get_extended_info_grabber() - expected `browser` to be a "
                    L"non-nill structure"));
    store_browser_support(R"({"org.example.browser":{"paths":{"id":"answers"}}})");
    EXPECT_TRUE(has(walk().second,
                    L"extended_info_grabber_factory::get_extended_info_grabber() - expected `paths` to be an array"));
    EXPECT_EQ(factory().links_made, 0);

    // Elements of other kinds are skipped; the good one still makes a link.
    store_browser_support(
        R"({"org.example.browser":{"paths":["answers",5,{"id":3},{"app_name":"x"},{"id":"answers"}]}})");
    const auto [address, lines] = walk();
    EXPECT_EQ(address, L"https://news.example.org:8443/today?x=1");
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         L"extended_info_grabber_factory::get_extended_info_grabber() - expected `paths.id` to be a "
                         L"string"),
              4);
    EXPECT_EQ(factory().links_made, 1);
}

TEST_F(AddressChainTest, StoringANewTableDropsEveryChain) {
    factory().bundles[L"200"] = L"org.example.browser";
    walk(L"100");
    walk(L"200");
    EXPECT_EQ(factory().cached_chains(), 2u);
    store_browser_support(two_ways);
    walk(L"100");
    EXPECT_EQ(factory().cached_chains(), 1u) << "both chains dropped, one rebuilt";
    EXPECT_EQ(factory().links_made, 6);
}

TEST_F(AddressChainTest, TheEleventhProcessEvictsTheFirstInsertedEvenIfItWasJustUsed) {
    for (int pid = 1; pid <= 11; ++pid) factory().bundles[std::to_wstring(pid)] = L"org.example.browser";
    for (int pid = 1; pid <= 10; ++pid) walk(std::to_wstring(pid));
    walk(L"1");  // a lookup does not make a chain younger
    EXPECT_EQ(factory().links_made, 20);
    walk(L"11");
    EXPECT_EQ(factory().cached_chains(), answering_factory::max_cached_chains);
    EXPECT_EQ(factory().fetch(L"1:")->id(), L"null-grabber");
    EXPECT_EQ(factory().fetch(L"2:")->id(), L"silent");
    EXPECT_EQ(factory().fetch(L"11:")->id(), L"silent");
}

TEST_F(AddressChainTest, ALinkThatThrowsEndsTheWalkWithAnEmptyAddress) {
    factory().answers[L"silent"] = []() -> std::wstring { throw std::runtime_error("browser went away"); };
    const auto [address, lines] = walk();
    EXPECT_EQ(address, L"");
    EXPECT_TRUE(has(lines, L"[grabber:get_extended_info] Caught std::exception for process []: browser went away"));
    EXPECT_EQ(factory().link_calls[L"answers"], 0);

    factory().answers[L"answers"] = []() -> std::wstring { throw 42; };
    factory().answers[L"silent"] = [] { return std::wstring(); };
    store_browser_support(two_ways);
    EXPECT_TRUE(has(walk().second,
                    L"[grabber:get_extended_info] Caught unknown exception for process [], error not available "));
}

TEST_F(AddressChainTest, DomainReductionKeepsSchemeAndHostOrTheHostAlone) {
    struct reduction {
        const wchar_t* url;
        const wchar_t* with_scheme;
        const wchar_t* host_only;
    };
    const reduction cases[] = {
        {L"https://www.example.org:8443/a/b?c=d", L"https://www.example.org:8443", L"www.example.org:8443"},
        {L"https://example.org", L"https://example.org", L"example.org"},
        {L"example.org/news/today", L"example.org", L"example.org"},
        {L"file:///home/ann/page.html", L"file:///home", L"home"},
        {L"://host/x", L"://host", L"://host"},
        {L"", L"", L""},
    };
    for (const reduction& c : cases) {
        EXPECT_EQ(grabber::get_domain(c.url, false), c.with_scheme) << c.url;
        EXPECT_EQ(grabber::get_domain(c.url, true), c.host_only) << c.url;
    }
}

TEST_F(AddressChainTest, WithoutFullAddressesOnlySchemeAndHostAreKept) {
    config::instance().set_full_urls_enabled(false);
    EXPECT_EQ(walk().first, L"https://news.example.org:8443");
}

TEST_F(AddressChainTest, TheWhitelistLetsThroughOnlyAddressesHoldingAnEntry) {
    config& settings = config::instance();
    settings.set_whitelist({L"news"});
    EXPECT_EQ(walk().first, L"https://news.example.org:8443/today?x=1") << "the filter is off";
    settings.set_whitelist_enabled(true);
    const auto [address, lines] = walk();
    EXPECT_EQ(address, L"https://news.example.org:8443/today?x=1");
    EXPECT_TRUE(has(lines, L"[grabber]data is whitelisted "));

    settings.set_whitelist({L"sport"});
    EXPECT_EQ(walk().first, L"non-whitelisted website");
    EXPECT_EQ(walk(L"555").first, L"non-whitelisted website") << "no address holds no entry";
    settings.set_whitelist({L"NEWS"});
    EXPECT_EQ(walk().first, L"non-whitelisted website") << "the text is lower-cased, the entry is not";
    settings.set_whitelist({L"sport", L""});
    EXPECT_EQ(walk(L"555").first, L"") << "an empty entry lets everything through";
}

}  // namespace
}  // namespace kes

#include "core/foundation/config.h"
#include "core/foundation/dynamic_structure.h"

#include <gtest/gtest.h>

namespace kes {
namespace {

TEST(BrowserSupport, DefaultsHoldTheBuiltInTable) {
    config& store = config::instance();
    store.set_browser_support(DynamicStructure(L"something else"));
    store.set_browser_support_changed(false);
    store.set_defaults();
    EXPECT_TRUE(store.take_browser_support_changed());
    EXPECT_FALSE(store.get_browser_support_changed());

    const auto table = store.get_browser_support();
    ASSERT_TRUE(table->IsStructure());
    EXPECT_EQ(table->Size(), 11u);
    const DynamicStructure& opera = table->GetMember(L"com.operasoftware.Opera");
    EXPECT_EQ(opera.GetMember(L"process_name").AsString(false), L"google chrome");
    EXPECT_EQ(opera.GetMember(L"bundle_id").AsString(false), L"com.operasoftware.Opera");
    ASSERT_EQ(opera.GetMember(L"paths").Size(), 1u);
    EXPECT_EQ(opera.GetMember(L"paths")[0].GetMember(L"id").AsString(false), L"applescript_chromium");
    EXPECT_EQ(opera.GetMember(L"paths")[0].GetMember(L"app_name").AsString(false), L"Opera");

    for (const wchar_t* firefox : {L"org.mozilla.firefox", L"org.mozilla.nightly", L"org.mozilla.firefoxdeveloperedition"}) {
        const DynamicStructure& entry = table->GetMember(firefox);
        EXPECT_EQ(entry.GetMember(L"process_name").AsString(false), L"");
        ASSERT_EQ(entry.GetMember(L"paths").Size(), 1u);
        const DynamicStructure& path = entry.GetMember(L"paths")[0];
        EXPECT_EQ(path.GetMember(L"id").AsString(false), L"websocket");
        EXPECT_FALSE(path.HasMember(L"app_name"));
    }
    for (const auto& entry : *table) {
        EXPECT_EQ(entry.second.GetMember(L"bundle_id").AsString(false), entry.first);
    }
}

TEST(BrowserSupport, ReplacementStoresAnyValueAndLeavesOldSnapshotsAlone) {
    config& store = config::instance();
    store.load_default_browser_support();
    const auto before = store.get_browser_support();
    store.set_browser_support_changed(false);
    store.set_browser_support(DynamicStructure(std::int32_t{7}));
    EXPECT_TRUE(store.get_browser_support_changed());
    EXPECT_EQ(store.get_browser_support()->AsInteger(false), 7);
    EXPECT_EQ(before->Size(), 11u);
}

}  // namespace
}  // namespace kes

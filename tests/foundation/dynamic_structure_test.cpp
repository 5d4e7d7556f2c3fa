#include "core/foundation/dynamic_structure.h"

#include <gtest/gtest.h>

namespace kes {
namespace {

using DS = DynamicStructure;

TEST(DynamicStructure, DefaultIsNilAndConvertsToEmptyText) {
    const DS value;
    EXPECT_TRUE(value.IsNil());
    EXPECT_EQ(value.Size(), 0u);
    EXPECT_EQ(value.AsString(true), L"");
    EXPECT_EQ(value.AsInteger(true), 0);
    EXPECT_FALSE(value.AsBoolean(true));
}

TEST(DynamicStructure, ConstructorsPickTheirKind) {
    EXPECT_EQ(DS(std::int32_t{-1}).AsInteger(false), -1);  // sign-extended
    EXPECT_EQ(DS(std::int64_t{1} << 40).AsInteger(false), std::int64_t{1} << 40);
    EXPECT_TRUE(DS(1.5f).IsFloat());
    EXPECT_TRUE(DS(true).IsBoolean());
    EXPECT_EQ(DS("caf\xc3\xa9").AsString(false).size(), 5u);  // bytes widened, not decoded
    EXPECT_EQ(DS(L"x").AsString(false), L"x");
    const DS members{{L"a", DS(1)}, {L"b", DS(L"t")}};
    EXPECT_EQ(members.Size(), 2u);
    EXPECT_TRUE(DS({}).IsNil());
}

TEST(DynamicStructure, ArraysAndStructuresGrowFromNil) {
    DS list;
    list.PushBack(DS(1));
    EXPECT_TRUE(list.IsArray());
    EXPECT_EQ(list.Size(), 1u);
    // Pushing one of our own elements copies it before the vector grows.
    for (int i = 0; i < 20; ++i) list.PushBack(list[0]);
    EXPECT_EQ(list[20].AsInteger(false), 1);

    DS added;
    added.AddMember(L"a", DS(1));
    EXPECT_TRUE(added.IsStructure());
    DS set;
    set.SetMember(L"a", DS(1));
    set.SetMember(L"a", DS(2));
    EXPECT_EQ(set.Size(), 1u);
    EXPECT_EQ(set[L"a"].AsInteger(false), 2);
    EXPECT_TRUE(set.HasMember(L"a"));
    EXPECT_FALSE(set.HasMember(L"b"));
}

TEST(DynamicStructure, LookupsOfMissingMembersGiveNilAndNeverInsert) {
    DS value{{L"a", DS(1)}};
    const DS& constant = value;
    EXPECT_TRUE(constant.GetMember(L"missing").IsNil());
    EXPECT_TRUE(value.GetMember(L"missing").IsNil());
    EXPECT_TRUE(value[L"missing"].IsNil());
    EXPECT_EQ(value.Size(), 1u);
    const DS nil;
    EXPECT_TRUE(nil.GetMember(L"a").IsNil());
    // The scratch Nil is handed out fresh each time, whatever was done to it.
    value[L"missing"].SetInteger(5, false);
    EXPECT_TRUE(value[L"other"].IsNil());
}

TEST(DynamicStructure, CopiesAreDeep) {
    DS source{{L"list", DS()}, {L"name", DS(L"a")}};
    source.SetMember(L"list", DS()).PushBack(DS(1));
    DS copy = source;
    copy[L"name"].SetString(L"b", false);
    copy[L"list"].PushBack(DS(2));
    EXPECT_EQ(source[L"name"].AsString(false), L"a");
    EXPECT_EQ(source[L"list"].Size(), 1u);
    source = source;  // self-assignment keeps the value
    EXPECT_EQ(source[L"name"].AsString(false), L"a");
    // Assigning a member to its parent keeps a valid copy.
    source = source[L"list"];
    EXPECT_TRUE(source.IsArray());
    DS moved = std::move(copy);
    EXPECT_TRUE(copy.IsNil());  // NOLINT(bugprone-use-after-move): moves leave Nil
    EXPECT_EQ(moved[L"list"].Size(), 2u);
}

TEST(DynamicStructure, ImplicitConversions) {
    EXPECT_EQ(DS(-2.7f).AsInteger(true), -2);
    EXPECT_EQ(DS(L" 12abc").AsInteger(true), 12);
    EXPECT_EQ(DS(L"abc").AsInteger(true), 0);
    EXPECT_FLOAT_EQ(DS(std::int32_t{3}).AsFloat(true), 3.0f);
    EXPECT_TRUE(DS(L"1").AsBoolean(true));
    EXPECT_TRUE(DS(L"true").AsBoolean(true));
    EXPECT_FALSE(DS(L"TRUE").AsBoolean(true));
    EXPECT_FALSE(DS(L"yes").AsBoolean(true));
    EXPECT_FALSE(DS(L"").AsBoolean(true));
    EXPECT_FALSE(DS(0.000001f).AsBoolean(true));
    EXPECT_TRUE(DS(0.00001f).AsBoolean(true));
    EXPECT_TRUE(DS(std::int32_t{-4}).AsBoolean(true));
    EXPECT_EQ(DS(std::int64_t{-9000000000}).AsString(true), L"-9000000000");
    EXPECT_EQ(DS(3.14159265f).AsString(true), L"3.14159");
    EXPECT_EQ(DS(false).AsString(true), L"false");
    EXPECT_EQ(DS(true).AsInteger(true), 1);
    EXPECT_EQ(DS(1e30f).AsInteger(true), std::numeric_limits<std::int64_t>::max());  // saturates
}

TEST(DynamicStructure, ReadsWithDefaultsNeverStop) {
    const DS text(L"2.5");
    EXPECT_FLOAT_EQ(text.AsFloat(0.5f, false), 0.5f);
    EXPECT_FLOAT_EQ(text.AsFloat(0.5f, true), 2.5f);
    EXPECT_EQ(DS().AsInteger(7, true), 7);
    EXPECT_EQ(DS(L"x").AsString(L"d", false), L"x");
    EXPECT_TRUE(DS(std::int32_t{1}).AsBoolean(false, true));
}

TEST(DynamicStructure, Equality) {
    EXPECT_TRUE(DS(0.1f) == DS(0.100005f));
    EXPECT_FALSE(DS(0.1f) == DS(0.10002f));
    EXPECT_TRUE(DS(std::int32_t{1}) != DS(1.0f));
    EXPECT_TRUE(DS() == DS());
    EXPECT_TRUE(DS(L"a") == DS(L"a"));
    EXPECT_TRUE(DS(true) != DS(false));
}

TEST(DynamicStructure, ParseNumbersLikeAWideStream) {
    EXPECT_EQ(DS::ParseInteger(L"  -42x"), -42);
    EXPECT_EQ(DS::ParseInteger(L"x42"), 0);
    EXPECT_FLOAT_EQ(DS::ParseFloat(L"2.5e1 rest"), 25.0f);
}

using DynamicStructureDeathTest = ::testing::Test;

TEST_F(DynamicStructureDeathTest, BrokenKindAssumptionsStopTheProcess) {
    const char* assertion = "TriggerErrorIf: Assertion";
    EXPECT_DEATH(DS(L"0.5").AsFloat(false), assertion);
    EXPECT_DEATH(DS(1.5f).AsInteger(false), assertion);
    EXPECT_DEATH(DS(L"x").AsBoolean(false), assertion);
    EXPECT_DEATH(DS(true).AsString(false), assertion);
    DS list;
    list.PushBack(DS(1));
    list.PushBack(DS(2));
    EXPECT_DEATH(list[2], assertion);
    EXPECT_DEATH(list.PushBack(DS()), assertion);
    EXPECT_DEATH(list.AsString(true), assertion);
    EXPECT_DEATH((void)(list == list), assertion);
    EXPECT_DEATH(list.AddMember(L"a", DS(1)), assertion);
    DS record{{L"a", DS(1)}};
    EXPECT_DEATH(record.AddMember(L"a", DS(2)), assertion);
    EXPECT_DEATH(record.SetInteger(1, false), assertion);
    DS nil;
    EXPECT_DEATH(nil.GetMember(L"a"), assertion);  // the modifiable lookup needs a structure
    EXPECT_DEATH(DS::ParseInteger(L""), assertion);
    EXPECT_DEATH(DS(L"").AsInteger(true), assertion);
}

TEST(DynamicStructure, ForcedWritesReplaceAnyKind) {
    DS value{{L"a", DS(1)}};
    value.SetString(L"now text", true);
    EXPECT_TRUE(value.IsString());
    value.SetInteger(std::int32_t{-1}, true);
    EXPECT_EQ(value.AsInteger(false), -1);
    value.Reset();
    EXPECT_TRUE(value.IsNil());
}

}  // namespace
}  // namespace kes

#include "core/foundation/dynamic_structure_io.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <yaml-cpp/yaml.h>

#include <locale>
#include <sstream>

namespace kes {
namespace {

using DS = DynamicStructure;

DS json(const char* text) { return DynamicStructureFromJsonText(text); }

std::wstring written(const DS& value) {
    std::wostringstream out;
    WriteJson(out, value);
    return out.str();
}

TEST(DynamicStructureJson, EmptyContainersReadAsNil) {
    const DS value = json(R"({"a":{},"b":[]})");
    ASSERT_TRUE(value.IsStructure());
    EXPECT_EQ(value.Size(), 2u);
    EXPECT_TRUE(value.GetMember(L"a").IsNil());
    EXPECT_TRUE(value.GetMember(L"b").IsNil());
    EXPECT_TRUE(json("{}").IsNil());
    EXPECT_TRUE(json("[]").IsNil());
    EXPECT_TRUE(json("null").IsNil());
}

TEST(DynamicStructureJson, NilElementsOfArraysAreSkipped) {
    const DS value = json(R"([null, 1, [], {}, "x"])");
    ASSERT_EQ(value.Size(), 2u);
    EXPECT_EQ(value[0].AsInteger(false), 1);
    EXPECT_EQ(value[1].AsString(false), L"x");
}

TEST(DynamicStructureJson, IntegersKeepTheirLow32Bits) {
    EXPECT_EQ(json("3000000000").AsInteger(false), -1294967296);
    EXPECT_EQ(json("4294967295").AsInteger(false), -1);
    EXPECT_EQ(json("-5").AsInteger(false), -5);
    EXPECT_EQ(json("42").AsInteger(false), 42);
    EXPECT_EQ(json("-9223372036854775808").AsInteger(false), 0);
    const DS half = json("2.5");
    ASSERT_TRUE(half.IsFloat());
    EXPECT_FLOAT_EQ(half.AsFloat(false), 2.5f);
    EXPECT_TRUE(json("5.0").IsFloat());
}

TEST(DynamicStructureJson, StringsDecodeButMemberNamesWiden) {
    const DS value = json("{\"caf\xc3\xa9\":\"caf\xc3\xa9\",\"e\":\"\"}");
    const DS& member = value.GetMember(L"caf\u00c3\u00a9");
    ASSERT_TRUE(member.IsString());
    EXPECT_EQ(member.AsString(false), L"caf\u00e9");
    EXPECT_TRUE(value.GetMember(L"e").IsString());  // an empty string stays a string
    // Invalid UTF-8 built outside the parser still fails as an exception.
    EXPECT_THROW(DynamicStructureFromJson(nlohmann::json(std::string("\xff"))), std::range_error);
}

std::string nested(int depth, char open, char close, const std::string& inside = "1") {
    return std::string(static_cast<std::size_t>(depth), open) + inside + std::string(static_cast<std::size_t>(depth), close);
}

TEST(DynamicStructureJson, DeepNestingIsRefusedWhileParsing) {
    // The limit holds for the text itself: 300 levels parse fine in the
    // library, and a million would build a value that no copy survives.
    for (const int depth : {max_nesting_depth + 1, 300, 1000000}) {
        const std::string deep = nested(depth, '[', ']');
        EXPECT_THROW(parse_json_bounded(deep), std::runtime_error) << depth;
        EXPECT_THROW(DynamicStructureFromJsonText(deep), std::runtime_error) << depth;
    }
    std::string objects;
    for (int i = 0; i < 1000000; ++i) objects += "{\"a\":";
    EXPECT_THROW(parse_json_bounded(objects), std::runtime_error);
    EXPECT_NO_THROW(nlohmann::json::parse(nested(300, '[', ']')));
    EXPECT_EQ(parse_json_bounded(nested(max_nesting_depth, '[', ']')).dump(), nested(max_nesting_depth, '[', ']'));
    const DS deepest = DynamicStructureFromJsonText(nested(max_nesting_depth, '[', ']'));
    EXPECT_TRUE(deepest.IsArray());
}

TEST(DynamicStructureJson, ItemLimitsCutListsAndSayHowMuch) {
    // Each list keeps its first elements; whatever lies past the limit is
    // left out whole, however deep it goes; a repeated name costs nothing.
    json_item_limit limit{3, 100};
    const nlohmann::json kept = parse_json_bounded(
        R"({"a": [1, 2, 3, [4, [5]], {"x": 6}], "b": {"p": 1, "q": 2, "p": 3, "r": 4, "s": [7, 8]}, "c": 0})",
        limit);
    EXPECT_EQ(kept, nlohmann::json::parse(R"({"a": [1, 2, 3], "b": {"p": 3, "q": 2, "r": 4}, "c": 0})"));
    EXPECT_EQ(limit.dropped, 3u);  // [4, [5]], {"x": 6} and "s"

    json_item_limit total{100, 6};  // a list counts as one value, and so does each of its elements
    EXPECT_EQ(parse_json_bounded("[[1, 2], [3, 4], 5]", total), nlohmann::json::parse("[[1, 2], [3, 4]]"));
    EXPECT_EQ(total.dropped, 1u);

    // Syntax errors stay the library's own, with their position.
    json_item_limit any{10, 10};
    try {
        (void)parse_json_bounded(R"({"a": [1, 2,)", any);
        ADD_FAILURE() << "a cut-off text parsed";
    } catch (const nlohmann::json::parse_error& e) {
        EXPECT_EQ(e.byte, 13u);
    }
    EXPECT_THROW(parse_json_bounded("[1] 2"), nlohmann::json::parse_error);
    EXPECT_THROW(parse_json_bounded(""), nlohmann::json::parse_error);
}

TEST(DynamicStructureYaml, DeepNestingIsRefusedWhileParsing) {
    // yaml-cpp's own guard lets 300 levels through into nodes; ours does not.
    EXPECT_NO_THROW(YAML::Load(nested(300, '[', ']')));
    for (const int depth : {max_nesting_depth + 1, 300, 100000}) {
        EXPECT_THROW(load_yaml_bounded(nested(depth, '[', ']')), std::runtime_error) << depth;
    }
    std::string block;
    for (int level = 0; level <= max_nesting_depth; ++level) block += std::string(static_cast<std::size_t>(level), ' ') + "k:\n";
    EXPECT_THROW(load_yaml_bounded(block + std::string(max_nesting_depth + 1, ' ') + "k: 1\n"), std::runtime_error);
    EXPECT_TRUE(DynamicStructureFromYamlText(nested(max_nesting_depth, '[', ']')).IsArray());
}

TEST(DynamicStructureYaml, HostileTextsAreRefusedBeforeTheLibraryReadsThem) {
    // Megabytes of open brackets took the library gigabytes before it said anything.
    EXPECT_THROW(load_yaml_bounded(std::string(max_yaml_input_bytes, '[')), std::runtime_error);
    EXPECT_THROW(load_yaml_bounded("a: " + std::string(400, '{')), std::runtime_error);
    EXPECT_THROW(load_yaml_bounded(std::string(max_yaml_input_bytes + 1, ' ')), std::runtime_error);
    std::string many = "[1";
    for (std::size_t i = 0; i < max_yaml_nodes; ++i) many += ",1";
    EXPECT_THROW(load_yaml_bounded(many + "]"), std::runtime_error);
    // Brackets inside quotes and comments are text, not nesting.
    const std::string brackets(400, '[');
    const DS quoted = DynamicStructureFromYamlText("a: '" + brackets + "'\nb: \"x\\\" " + brackets +
                                                   "\"\n# " + brackets + "\nc: [1, [2]]\n");
    EXPECT_EQ(quoted.GetMember(L"a").AsString(false), std::wstring(400, L'['));
    EXPECT_EQ(quoted.GetMember(L"b").AsString(false), L"x\" " + std::wstring(400, L'['));
    EXPECT_EQ(quoted.GetMember(L"c").Size(), 2u);
}

TEST(DynamicStructureYaml, AliasesExpandOnlyWithinTheValueLimit) {
    // Nine lists of nine aliases each: a few hundred bytes that name 9^9 values.
    std::string bomb = "a: &a [lol, lol, lol, lol, lol, lol, lol, lol, lol]\n";
    for (char name = 'b'; name <= 'i'; ++name) {
        const std::string previous(1, static_cast<char>(name - 1));
        bomb += std::string(1, name) + ": &" + name + " [";
        for (int i = 0; i < 9; ++i) bomb += (i ? ", *" : "*") + previous;
        bomb += "]\n";
    }
    ASSERT_LT(bomb.size(), 500u);
    const YAML::Node shared = load_yaml_bounded(bomb);  // the nodes are shared, so this is small
    EXPECT_THROW(DynamicStructureFromYaml(shared), std::runtime_error);
    EXPECT_THROW(DynamicStructureFromYamlText(bomb), std::runtime_error);

    const DS reused = DynamicStructureFromYamlText("base: &b {x: 1, y: [2, 3]}\none: *b\ntwo: *b\n");
    EXPECT_EQ(reused.GetMember(L"two").GetMember(L"y")[1].AsInteger(false), 3);
    EXPECT_EQ(reused.GetMember(L"one").GetMember(L"x").AsInteger(false), 1);
    // Few values, but each a copy of one long scalar: the text they copy is bounded too.
    std::string long_copies = "a: &a " + std::string(64 * 1024, 'x') + "\nb: [";
    for (int i = 0; i < 300; ++i) long_copies += (i ? ", *a" : "*a");
    long_copies += "]\n";
    EXPECT_THROW(DynamicStructureFromYamlText(long_copies), std::runtime_error);
    const std::string few_copies = "a: &a " + std::string(64 * 1024, 'x') + "\nb: [*a, *a]\n";
    EXPECT_EQ(DynamicStructureFromYamlText(few_copies).GetMember(L"b").Size(), 2u);
    // An anchor that contains its own alias is a cycle, not an endless read.
    EXPECT_THROW(DynamicStructureFromYamlText("a: &a [x, *a]\n"), std::exception);
}

TEST(DynamicStructureYaml, ScalarsTakeTheFirstKindThatConverts) {
    const DS value = DynamicStructureFromYamlText("a: yes\nb: 17\nc: 1.5\nd: hello\ne: '8080'\nf: ~\ng: []\n");
    EXPECT_TRUE(value.GetMember(L"a").AsBoolean(false));
    EXPECT_EQ(value.GetMember(L"b").AsInteger(false), 17);
    EXPECT_FLOAT_EQ(value.GetMember(L"c").AsFloat(false), 1.5f);
    EXPECT_EQ(value.GetMember(L"d").AsString(false), L"hello");
    EXPECT_EQ(value.GetMember(L"e").AsInteger(false), 8080);  // quoting does not change the kind
    EXPECT_TRUE(value.HasMember(L"f"));
    EXPECT_TRUE(value.GetMember(L"f").IsNil());
    EXPECT_TRUE(value.GetMember(L"g").IsNil());
}

TEST(DynamicStructureYaml, SequencesSkipNullsAndLaterKeysWin) {
    const DS value = DynamicStructureFromYamlText("list: [1, ~, two]\nk: 1\nk: 2\n");
    ASSERT_EQ(value.GetMember(L"list").Size(), 2u);
    EXPECT_EQ(value.GetMember(L"list")[1].AsString(false), L"two");
    EXPECT_TRUE(DynamicStructureFromYamlText("").IsNil());
    EXPECT_THROW(DynamicStructureFromYamlText("a: [1, 2"), YAML::Exception);
}

TEST(DynamicStructureWriter, WritesTheDocumentedLayout) {
    DS value;
    value.AddMember(L"a", DS(1));
    value.AddMember(L"b", DS()).PushBack(DS(true));
    value[L"b"].PushBack(DS(L"x"));
    const std::wstring text = written(value);
    const std::wstring a_first = L"{\n\t\"a\":1,\n\t\"b\":[\n\t\ttrue,\n\t\t\"x\"\n\t]\n}";
    const std::wstring b_first = L"{\n\t\"b\":[\n\t\ttrue,\n\t\t\"x\"\n\t],\n\t\"a\":1\n}";
    EXPECT_TRUE(text == a_first || text == b_first) << std::string(text.begin(), text.end());
    EXPECT_EQ(written(DS()), L"null");
    EXPECT_EQ(written(DS(0.1f)), L"0.10000");
    EXPECT_EQ(written(DS(3.141f)), L"3.14100");
    EXPECT_EQ(written(DS(1.0f)), L"1.00000");
    EXPECT_EQ(written(DS(std::int32_t{-3})), L"-3");
    EXPECT_EQ(written(DS(std::numeric_limits<std::int64_t>::min())), L"-9223372036854775808");
    EXPECT_EQ(written(DS(std::numeric_limits<float>::infinity())), L"null");
}

TEST(DynamicStructureWriter, OneElementContainersAtTheTop) {
    DS list;
    list.PushBack(DS(1));
    EXPECT_EQ(written(list), L"[\n\t1\n]");
    EXPECT_EQ(written(DS{{L"a", DS(1)}}), L"{\n\t\"a\":1\n}");
}

TEST(DynamicStructureWriter, EscapesReadBackThroughAJsonParser) {
    const std::wstring tricky = L"q\"b\\s/\b\f\n\r\t\x01\x1f\u00e9\U0001F600";
    const std::string utf8 = WriteJsonUtf8(DS(tricky));
    EXPECT_EQ(utf8.find('\x01'), std::string::npos);
    const DS back = json(utf8.c_str());
    EXPECT_EQ(back.AsString(false), tricky);
}

TEST(DynamicStructureWriter, NumbersIgnoreTheStreamLocale) {
    struct comma_decimal : std::numpunct<wchar_t> {
        wchar_t do_decimal_point() const override { return L','; }
        std::string do_grouping() const override { return "\3"; }
        wchar_t do_thousands_sep() const override { return L'.'; }
    };
    std::wostringstream out;
    out.imbue(std::locale(std::locale::classic(), new comma_decimal));
    DS value;
    value.PushBack(DS(1234567));
    value.PushBack(DS(1.5f));
    WriteJson(out, value);
    EXPECT_EQ(out.str(), L"[\n\t1234567,\n\t1.50000\n]");
}

TEST(DynamicStructureWriter, Utf8FormBlanksTextsItCannotEncode) {
    DS value;
    value.AddMember(L"bad", DS(std::wstring(1, static_cast<wchar_t>(0xD800))));
    value.AddMember(std::wstring(1, static_cast<wchar_t>(0x110000)), DS(L"name is bad"));
    const std::string utf8 = WriteJsonUtf8(value);
    const nlohmann::json parsed = nlohmann::json::parse(utf8);  // valid UTF-8, valid JSON
    EXPECT_EQ(parsed.at("bad"), "");
    EXPECT_EQ(parsed.at(""), "name is bad");
}

}  // namespace
}  // namespace kes

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace kes {
namespace {

std::string bytes(std::initializer_list<unsigned> values) {
    std::string out;
    for (unsigned v : values) out.push_back(static_cast<char>(v));
    return out;
}

bool is_scalar(std::uint32_t cp) { return cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF); }

TEST(Utf8Conversion, EveryScalarValueRoundTripsInOnePass) {
    std::wstring all;
    for (std::uint32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (is_scalar(cp)) all.push_back(static_cast<wchar_t>(cp));
    }
    const std::string encoded = util::wstring_to_utf8(all);
    EXPECT_EQ(encoded.size(), 128u * 1 + 1920u * 2 + (63488u - 2048u) * 3 + 1048576u * 4);
    // Compared as booleans: a failure must not print a million characters.
    EXPECT_TRUE(util::utf8_to_wstring(encoded) == all);
    const std::wstring without_nul = all.substr(1);
    EXPECT_TRUE(utf8(without_nul).to_wstring() == without_nul);
    EXPECT_EQ(utf8(all).to_wstring(), L"");  // the holder decodes up to its first NUL
}

TEST(Utf8Conversion, SurrogatesAndValuesBeyondUnicodeAreRangeErrorsWhenEncoding) {
    for (const wchar_t bad : {wchar_t(0xD800), wchar_t(0xDBFF), wchar_t(0xDC00), wchar_t(0xDFFF),
                              wchar_t(0x110000), wchar_t(-1)}) {
        EXPECT_THROW(util::wstring_to_utf8(std::wstring(L"a") + bad), std::range_error) << std::hex << bad;
    }
}

TEST(Utf8Conversion, MalformedBytesAreRangeErrorsWhenDecoding) {
    const std::string cases[] = {
        bytes({0xED, 0xA0, 0x80}),        // encoded surrogate U+D800
        bytes({0xED, 0xBF, 0xBF}),        // encoded surrogate U+DFFF
        bytes({0xC0, 0xAF}),              // overlong "/"
        bytes({0xE0, 0x80, 0xAF}),        // overlong "/"
        bytes({0xF0, 0x80, 0x80, 0xAF}),  // overlong "/"
        bytes({0xC3}),                    // truncated two-byte form
        bytes({0xE2, 0x82}),              // truncated euro sign
        bytes({0xF0, 0x9F, 0x98}),        // truncated four-byte form
        bytes({0x80}),                    // lone continuation byte
        bytes({0xF4, 0x90, 0x80, 0x80}),  // beyond U+10FFFF
        bytes({0xFF}),
        bytes({0xC3, 0x28}),
    };
    for (const std::string& bad : cases) {
        EXPECT_THROW(util::utf8_to_wstring("ok" + bad), std::range_error);
        EXPECT_THROW(util::utf8_to_wstring(bad + "ok"), std::range_error);
    }
}

TEST(Utf8Conversion, LossyFormsReplaceWhatTheStrictFormsRefuse) {
    EXPECT_EQ(util::utf8_to_wstring_lossy("a" + bytes({0xED, 0xA0, 0x80}) + "b"), L"a\uFFFDb");
    EXPECT_EQ(util::wstring_to_utf8_lossy(std::wstring(L"a") + wchar_t(0xD800)), "a\xEF\xBF\xBD");
}

TEST(Utf8Holder, EncodesDecodesAndCompares) {
    const utf8 e_acute(std::wstring(L"\u00E9"));
    EXPECT_EQ(e_acute.size(), 2u);
    EXPECT_EQ(std::string(e_acute.c_str()), bytes({0xC3, 0xA9}));
    EXPECT_EQ(e_acute.to_wstring(), L"\u00E9");
    EXPECT_EQ(utf8(std::wstring(L"\u20AC\u20AC\u20AC")).size(), 9u);
    EXPECT_EQ(utf8(static_cast<const char*>(nullptr)).size(), 0u);
    EXPECT_TRUE(utf8("same") == utf8(std::string_view("same")));
    EXPECT_TRUE(utf8("same") != utf8("other"));
}

TEST(Utf8Holder, InvalidInputGivesTheEmptyTextAndOneErrorLine) {
    const std::wstring before = debug_log_read();
    const utf8 surrogate(std::wstring(1, wchar_t(0xD800)));
    EXPECT_EQ(surrogate.size(), 0u);
    EXPECT_EQ(utf8(bytes({0xC3, 0x28})).to_wstring(), L"");
    const std::wstring added = debug_log_read().substr(before.size());
    EXPECT_NE(added.find(L":1:[utf8:ctor] Caught std::exception running utf32to8: "), std::wstring::npos);
    EXPECT_NE(added.find(L":1:[utf8:to_wstring] Caught std::exception "), std::wstring::npos);
    EXPECT_NE(added.find(L" while running utf8to32"), std::wstring::npos);
}

TEST(ByteWiseText, WidenAndNarrowWorkOnSingleBytes) {
    EXPECT_EQ(util::widen(bytes({0xC3, 0xA9})), std::wstring(L"\u00C3\u00A9"));
    EXPECT_EQ(to_wstr(bytes({0xFF})), std::wstring(L"\u00FF"));
    EXPECT_EQ(util::narrow(L"\u00E9"), bytes({0xE9}));
    EXPECT_EQ(util::narrow(L"\u20AC"), bytes({0xAC}));
    EXPECT_EQ(util::int_to_wstr(-42), L"-42");
    EXPECT_EQ(util::int_to_wstr(2147483647), L"2147483647");
}

TEST(StringHelpers, CaseMappingIsTheCLocalesEvenAfterTheLocaleChanges) {
    // The toolkit sets the user's locale at start; case mapping must not follow it.
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C.UTF-8");
    EXPECT_EQ(util::to_lower(L"ABC xyZ \u00C9"), L"abc xyz \u00C9");
    EXPECT_EQ(util::to_upper(L"abc \u00E9"), L"ABC \u00E9");
    std::setlocale(LC_ALL, previous.c_str());
}

TEST(StringHelpers, PrefixContainsAndReplace) {
    EXPECT_TRUE(util::starts_with(L"abcdef", L"abc"));
    EXPECT_FALSE(util::starts_with(L"abcdef", L"def"));
    EXPECT_TRUE(util::starts_with(L"abc", L""));
    EXPECT_FALSE(util::starts_with(L"ab", L"abc"));
    EXPECT_TRUE(util::contains(L"abc", L""));
    EXPECT_TRUE(util::contains(L"abc", L"bc"));
    EXPECT_FALSE(util::contains(L"abc", L"cb"));
    EXPECT_EQ(util::replace_all(L"aaa", L"a", L"aa"), L"aaaaaa");
    EXPECT_EQ(util::replace_all(L"abc", L"", L"x"), L"abc");
    EXPECT_EQ(util::replace_all(L"abab", L"ab", L"ab"), L"abab");
    EXPECT_EQ(util::replace_all(L"a-b-c", L"-", L""), L"abc");
}

TEST(StringHelpers, AsciiCaseIsIgnoredAndNothingElse) {
    EXPECT_TRUE(util::equals_ignoring_ascii_case("Proxy-Authorization", "proxy-AUTHORIZATION"));
    EXPECT_TRUE(util::equals_ignoring_ascii_case("", ""));
    EXPECT_FALSE(util::equals_ignoring_ascii_case("https", "http"));
    EXPECT_FALSE(util::equals_ignoring_ascii_case("[", "{"));  // 0x5B and 0x7B differ by the case bit
    EXPECT_FALSE(util::equals_ignoring_ascii_case("\xC3\x89", "\xC3\xA9"));  // É and é are not ASCII
}

TEST(StringHelpers, AddressesReadAsLowercaseHex) {
    EXPECT_EQ(util::address_text(nullptr), L"0x0");
    EXPECT_EQ(util::address_text(reinterpret_cast<const void*>(std::uintptr_t{0xBEEF0})), L"0xbeef0");
}

TEST(UrlEscape, KeepsTheUnreservedSetAndEscapesUtf8Bytes) {
    EXPECT_EQ(util::url_escape(L"a b/c"), L"a%20b%2Fc");
    EXPECT_EQ(util::url_escape(L"\u00E9"), L"%C3%A9");
    EXPECT_EQ(util::url_escape(L"-._~AZaz09"), L"-._~AZaz09");
    EXPECT_EQ(util::url_escape(L""), L"");
}

TEST(CsvField, QuoteAndUnquoteAreInverse) {
    EXPECT_EQ(util::csv_quote(L"a\"b"), L"\"a\"\"b\"");
    EXPECT_EQ(util::csv_unquote(L"\"a\"\"b\""), L"a\"b");
    EXPECT_EQ(util::csv_quote(L""), L"\"\"");
    for (const std::wstring field : {L"", L"\"", L"\"\"\"", L"a,b\nc", L"x\"\"y"}) {
        EXPECT_EQ(util::csv_unquote(util::csv_quote(field)), field);
    }
    // Inputs too short to hold two quotes give nothing instead of reading outside them.
    EXPECT_EQ(util::csv_unquote(L""), L"");
    EXPECT_EQ(util::csv_unquote(L"\""), L"");
}

}  // namespace
}  // namespace kes

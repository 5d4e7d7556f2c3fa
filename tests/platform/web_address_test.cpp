#include "platform/alert.h"
#include "platform/url_opener.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(WebPageRefusal, OnlyEscapedHttpAndHttpsAddressesWithAHostOpen) {
    EXPECT_FALSE(web_page_refusal("https://app.kestrel.example/reports?src=client"));
    EXPECT_FALSE(web_page_refusal("HTTP://127.0.0.1:8080/a%2Fb"));
    EXPECT_FALSE(web_page_refusal("https://user@host.example"));

    for (const char* refused : {"file:///etc/passwd", "javascript:alert(1)", "mailto:a@b.example",
                                "x-apple.systempreferences:com.apple.preference.security", "ftp://host/",
                                "https:/no-host", "https://", "https://@:80/", "//host/path", "no scheme",
                                "https://host/a b", "https://host/\nline", "", ":https://host"}) {
        EXPECT_TRUE(web_page_refusal(refused)) << refused;
    }
    EXPECT_EQ(web_page_refusal("JavaScript:void(0)").value_or(""),
              "only http and https addresses are opened, not javascript:");
}

TEST(EscapeIllegalUrlCharacters, EscapesWhatMayNotStandAndKeepsEscapesAlreadyMade) {
    // The block page's address carries the blocked page escaped already.
    EXPECT_EQ(escape_illegal_url_characters("https://app.example/blocked/url/https%3A%2F%2Fnews.example%2Fa%20b"),
              "https://app.example/blocked/url/https%3A%2F%2Fnews.example%2Fa%20b");
    EXPECT_EQ(escape_illegal_url_characters("https://app.example/quickhelp?support_info=a b\r\nc"),
              "https://app.example/quickhelp?support_info=a%20b%0D%0Ac");
    EXPECT_EQ(escape_illegal_url_characters("https://app.example/caf\xC3\xA9?q=\"x\"<y>{z}|^`\\"),
              "https://app.example/caf%C3%A9?q=%22x%22%3Cy%3E%7Bz%7D%7C%5E%60%5C");
    // A '%' that starts no escape is escaped itself.
    EXPECT_EQ(escape_illegal_url_characters("https://h/100%?a=%zz&b=%4"), "https://h/100%25?a=%25zz&b=%254");
    const std::string reserved = "https://u@h:8080/p;x=1/a-b._~!$&'()*+,=?q=1#frag[0]";
    EXPECT_EQ(escape_illegal_url_characters(reserved), reserved);
    EXPECT_FALSE(web_page_refusal(escape_illegal_url_characters("https://h/a b\tc")));
}

TEST(AlertButtons, EscapeStandsForCancelOrTheOnlyButton) {
    alert two_factor;
    two_factor.buttons = {"OK", "Cancel"};
    EXPECT_EQ(two_factor.cancel_button(), 1u);

    alert message;  // no buttons given: one "OK"
    EXPECT_EQ(message.button_titles(), std::vector<std::string>{"OK"});
    EXPECT_EQ(message.cancel_button(), 0u);

    alert choice;
    choice.buttons = {"Save", "Discard"};
    EXPECT_FALSE(choice.cancel_button());

    alert_response response{alert_first_button + 1, {}};
    EXPECT_TRUE(response.chose(1));
    EXPECT_FALSE(response.chose(0));
}

}  // namespace
}  // namespace platform

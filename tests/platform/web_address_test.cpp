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

#include "platform/notification_center.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace platform {
namespace {

TEST(NotificationCenter, ObserversOfANameRunInOrderWithTheUserInfo) {
    notification_center centre;
    std::vector<std::string> heard;
    auto first = centre.add_observer("status", [&](const user_info& info) { heard.push_back("1:" + info.at("text")); });
    auto other = centre.add_observer("other", [&](const user_info&) { heard.push_back("other"); });
    auto second = centre.add_observer("status", [&](const user_info& info) { heard.push_back("2:" + info.at("text")); });

    centre.post("status", {{"text", "Signing in..."}});
    EXPECT_EQ(heard, (std::vector<std::string>{"1:Signing in...", "2:Signing in..."}));

    std::thread([&] { centre.post("other"); }).join();  // on the posting thread
    EXPECT_EQ(heard.back(), "other");
}

TEST(NotificationCenter, AnObserverEndsWithItsTokenEvenInsideADelivery) {
    notification_center centre;
    int first_calls = 0;
    int second_calls = 0;
    notification_center::token second;
    auto first = centre.add_observer("n", [&](const user_info&) {
        ++first_calls;
        second.reset();  // the next observer of this very delivery is not called
    });
    second = centre.add_observer("n", [&](const user_info&) { ++second_calls; });
    EXPECT_TRUE(second.active());

    centre.post("n");
    EXPECT_EQ(first_calls, 1);
    EXPECT_EQ(second_calls, 0);
    EXPECT_FALSE(second.active());

    { auto moved = std::move(first); }  // ends with the token it was moved into
    centre.post("n");
    EXPECT_EQ(first_calls, 1);
}

TEST(NotificationCenter, ATokenMayOutliveItsCentre) {
    notification_center::token kept;
    {
        notification_center centre;
        kept = centre.add_observer("n", [](const user_info&) {});
    }
    kept.reset();  // nothing to remove it from: no crash
    EXPECT_FALSE(kept.active());
    EXPECT_EQ(&notification_center::default_center(), &notification_center::default_center());
}

}  // namespace
}  // namespace platform

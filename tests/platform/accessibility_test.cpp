// The permission to read other windows on a real X server: given while the
// server answers (with a window in front or none), not given without a
// server, and gone once the server is.
#include "platform/accessibility.h"
#include "tests/support/xvfb.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

using kes::testing::test_windows;
using kes::testing::xvfb_server;

TEST(Accessibility, NotGivenWithoutAServer) {
    // A display number no server of this machine uses.
    EXPECT_FALSE(platform::make_x11_accessibility(":1999")->is_process_trusted());
}

TEST(Accessibility, GivenWhileTheServerTellsTheWindowInFrontAndGoneWithTheServer) {
    xvfb_server server;
    if (!server.running()) {
        if (kes::testing::xvfb_is_required()) FAIL() << "Xvfb is required here (CI is set) but did not start";
        GTEST_SKIP() << "Xvfb is not available";
    }
    const auto permission = platform::make_x11_accessibility(server.display());
    auto windows = std::make_unique<test_windows>(server.display());
    // A bare server with nothing in front still answers.
    EXPECT_TRUE(permission->is_process_trusted());
    const auto window = windows->create("Editor", "Editor", ::getpid());
    windows->act_as_window_manager();
    windows->set_active(window);
    EXPECT_TRUE(permission->is_process_trusted());
    EXPECT_TRUE(permission->is_process_trusted());  // asked again on the same connection

    windows.reset();
    server.kill_now();
    EXPECT_FALSE(permission->is_process_trusted());
    EXPECT_FALSE(permission->is_process_trusted());
}

// A Wayland session: the X server (Xwayland) answers, yet the windows of
// native Wayland applications stay unread, so no trust is claimed.
TEST(Accessibility, NotGivenInAWaylandSessionThoughItsXServerAnswers) {
    xvfb_server server;
    if (!server.running()) {
        if (kes::testing::xvfb_is_required()) FAIL() << "Xvfb is required here (CI is set) but did not start";
        GTEST_SKIP() << "Xvfb is not available";
    }
    EXPECT_TRUE(platform::make_session_accessibility(platform::session_kind::x11, server.display())->is_process_trusted());
    EXPECT_FALSE(
        platform::make_session_accessibility(platform::session_kind::wayland, server.display())->is_process_trusted());
}

TEST(SessionKind, WaylandWhenTheSessionTypeSaysSoOrAWaylandDisplayIsNamed) {
    const auto with = [](const char* type, const char* display) {
        type ? ::setenv("XDG_SESSION_TYPE", type, 1) : ::unsetenv("XDG_SESSION_TYPE");
        display ? ::setenv("WAYLAND_DISPLAY", display, 1) : ::unsetenv("WAYLAND_DISPLAY");
        return platform::current_session_kind();
    };
    EXPECT_EQ(with(nullptr, nullptr), platform::session_kind::x11);
    EXPECT_EQ(with("x11", nullptr), platform::session_kind::x11);
    EXPECT_EQ(with("tty", ""), platform::session_kind::x11);
    EXPECT_EQ(with("wayland", nullptr), platform::session_kind::wayland);
    EXPECT_EQ(with("x11", "wayland-0"), platform::session_kind::wayland);
    with(nullptr, nullptr);
}

}  // namespace

// The permission to read other windows on a real X server: given while the
// server answers (with a window in front or none), not given without a
// server, and gone once the server is; no connection of its own stays open
// between answers (the server's own list of clients says so).
#include "platform/accessibility.h"
#include "tests/support/eventually.h"
#include "tests/support_desktop/xvfb.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>
#include <xcb/res.h>

#include <cstdlib>

namespace {

using kes::testing::test_windows;
using kes::testing::xvfb_server;

// How many clients the server has, this count's own connection left out.
int server_clients(const std::string& display) {
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    int count = -1;
    if (xcb_connection_has_error(connection) == 0) {
        xcb_res_query_clients_reply_t* reply =
            xcb_res_query_clients_reply(connection, xcb_res_query_clients(connection), nullptr);
        if (reply != nullptr) count = static_cast<int>(reply->num_clients) - 1;
        std::free(reply);
    }
    xcb_disconnect(connection);
    return count;
}

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
    const int clients = server_clients(server.display());
    ASSERT_GT(clients, 0);
    // A bare server with nothing in front still answers.
    EXPECT_TRUE(permission->is_process_trusted());
    const auto window = windows->create("Editor", "Editor", ::getpid());
    windows->act_as_window_manager();
    windows->set_active(window);
    EXPECT_TRUE(permission->is_process_trusted());
    EXPECT_TRUE(permission->is_process_trusted());
    // Every answer's connection is closed: nothing is left that would never
    // be read while the server queues window events for it.
    EXPECT_TRUE(kes::testing::eventually([&] { return server_clients(server.display()) == clients; }))
        << server_clients(server.display()) << " clients, " << clients << " before";

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

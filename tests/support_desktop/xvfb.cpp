#include "tests/support_desktop/xvfb.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace kes::testing {

bool xvfb_is_required() {
    const char* ci = std::getenv("CI");
    return ci && *ci && std::string(ci) != "false" && std::string(ci) != "0";
}

xvfb_server::xvfb_server(const std::vector<std::string>& extra_arguments) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) return;
    std::vector<std::string> arguments = {"Xvfb", "-displayfd", std::to_string(pipe_fds[1]), "-screen", "0",
                                          "640x480x24", "-nolisten", "tcp"};
    arguments.insert(arguments.end(), extra_arguments.begin(), extra_arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(pipe_fds[0]);
        ::execv("/usr/bin/Xvfb", argv.data());
        ::_exit(127);
    }
    ::close(pipe_fds[1]);
    if (pid_ < 0) {
        ::close(pipe_fds[0]);
        return;
    }
    std::string number;
    char c = 0;
    while (::read(pipe_fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(pipe_fds[0]);
    if (!number.empty()) display_ = ":" + number;
}

xvfb_server::~xvfb_server() { kill_now(); }

void xvfb_server::kill_now() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

struct test_windows::state {
    Display* display = nullptr;
    Window manager_check = 0;
};

test_windows::test_windows(const std::string& display) : state_(std::make_unique<state>()) {
    state_->display = XOpenDisplay(display.c_str());
}

test_windows::~test_windows() {
    if (state_->display) XCloseDisplay(state_->display);
}

test_windows::window_id test_windows::create(const std::string& utf8_title, const std::string& wm_class, long pid,
                                             const std::string& latin1_wm_name) {
    Display* d = state_->display;
    const Window window = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 100, 100, 0, 0, 0);
    if (!utf8_title.empty()) set_title(window, utf8_title);
    if (!latin1_wm_name.empty()) XStoreName(d, window, latin1_wm_name.c_str());
    if (!wm_class.empty()) {
        std::string name = "instance";
        XClassHint hint{name.data(), const_cast<char*>(wm_class.c_str())};
        XSetClassHint(d, window, &hint);
    }
    if (pid != 0) {
        const unsigned long value = static_cast<unsigned long>(pid);
        XChangeProperty(d, window, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&value), 1);
    }
    XMapWindow(d, window);
    XSync(d, False);
    return window;
}

void test_windows::set_title(window_id window, const std::string& utf8_title) {
    Display* d = state_->display;
    XChangeProperty(d, window, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(utf8_title.data()),
                    static_cast<int>(utf8_title.size()));
    XSync(d, False);
}

void test_windows::set_legacy_name(window_id window, const std::string& latin1_name) {
    XStoreName(state_->display, window, latin1_name.c_str());
    XSync(state_->display, False);
}

void test_windows::remove_title(window_id window) {
    XDeleteProperty(state_->display, window, XInternAtom(state_->display, "_NET_WM_NAME", False));
    XSync(state_->display, False);
}

void test_windows::destroy(window_id window) {
    XDestroyWindow(state_->display, window);
    XSync(state_->display, False);
}

void test_windows::wait_until_gone(window_id window) {
    Display* d = state_->display;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return;
        const bool present = std::find(children, children + count, window) != children + count;
        if (children) XFree(children);
        if (!present) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void test_windows::act_as_window_manager() {
    Display* d = state_->display;
    const Window root = DefaultRootWindow(d);
    state_->manager_check = XCreateSimpleWindow(d, root, -10, -10, 1, 1, 0, 0, 0);
    const Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
    const unsigned long check_value = state_->manager_check;
    for (const Window holder : {root, state_->manager_check}) {
        XChangeProperty(d, holder, check, XA_WINDOW, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&check_value), 1);
    }
    const unsigned long supported[] = {XInternAtom(d, "_NET_WM_NAME", False),
                                       XInternAtom(d, "_NET_ACTIVE_WINDOW", False)};
    XChangeProperty(d, root, XInternAtom(d, "_NET_SUPPORTED", False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(supported), 2);
    XSync(d, False);
}

void test_windows::end_window_manager() {
    if (state_->manager_check == 0) return;
    destroy(state_->manager_check);
    state_->manager_check = 0;
}

void test_windows::set_transient_for(window_id window, window_id owner) {
    XSetTransientForHint(state_->display, window, owner);
    XSync(state_->display, False);
}

void test_windows::set_active(window_id window) {
    Display* d = state_->display;
    const unsigned long value = window;
    XChangeProperty(d, DefaultRootWindow(d), XInternAtom(d, "_NET_ACTIVE_WINDOW", False), XA_WINDOW, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&value), 1);
    XSync(d, False);
}

void test_windows::remove_active() {
    Display* d = state_->display;
    XDeleteProperty(d, DefaultRootWindow(d), XInternAtom(d, "_NET_ACTIVE_WINDOW", False));
    XSync(d, False);
}

void test_windows::focus(window_id window) {
    Display* d = state_->display;
    // A window must be viewable to take the focus; mapping is asynchronous.
    for (int i = 0; i < 100; ++i) {
        XWindowAttributes attributes{};
        XGetWindowAttributes(d, window, &attributes);
        if (attributes.map_state == IsViewable) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    XSetInputFocus(d, window, RevertToParent, CurrentTime);
    XSync(d, False);
}

}  // namespace kes::testing

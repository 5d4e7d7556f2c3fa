#include "platform/instance_lock.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

#include <string>
#include <vector>

namespace platform {
namespace {

std::string private_folder(const std::string& name, mode_t mode = 0700) {
    const std::string folder = kes::testing::private_home() + "/" + name;
    ::mkdir(folder.c_str(), mode);
    ::chmod(folder.c_str(), mode);
    return folder;
}

using state = instance_lock::state;

TEST(InstanceLock, OnlyOneHolderAndItHearsLaterStarts) {
    const std::string folder = private_folder("lock-one");
    const auto first = make_file_instance_lock(folder);
    first->post_opening_notification();  // nobody listens yet: silently nothing
    ASSERT_EQ(first->acquire(), state::held);
    EXPECT_EQ(first->acquire(), state::held);
    EXPECT_EQ(first->holder_pid(), static_cast<long>(::getpid()));
    ASSERT_GE(first->notification_fd(), 0);
    EXPECT_EQ(first->take_notifications(), 0);

    // A second open of the lock file conflicts like a second process would.
    const auto second = make_file_instance_lock(folder);
    second->post_opening_notification();
    second->post_opening_notification();
    EXPECT_EQ(second->acquire(), state::taken);
    EXPECT_EQ(second->notification_fd(), -1);
    EXPECT_EQ(second->holder_pid(), static_cast<long>(::getpid()));
    EXPECT_EQ(first->take_notifications(), 2);
    EXPECT_EQ(first->take_notifications(), 0);

    struct stat info {};
    ASSERT_EQ(::stat((folder + "/kestrel.lock").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(InstanceLock, IgnoresDatagramsThatAreNotTheNotification) {
    const std::string folder = private_folder("lock-noise");
    const auto holder = make_file_instance_lock(folder);
    ASSERT_EQ(holder->acquire(), state::held);
    const int sender = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = folder + "/kestrel.sock";
    path.copy(address.sun_path, path.size());
    const std::string noise = "com.kestrel.Kestrel.openingKestrelInstanceX";
    ASSERT_GT(::sendto(sender, noise.data(), noise.size(), 0, reinterpret_cast<sockaddr*>(&address),
                       sizeof address),
              0);
    ::close(sender);
    make_file_instance_lock(folder)->post_opening_notification();
    EXPECT_EQ(holder->take_notifications(), 1);
}

TEST(InstanceLock, AKilledHolderFreesTheLockAndItsStaleSocketIsReplaced) {
    const std::string folder = private_folder("lock-killed");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const auto lock = make_file_instance_lock(folder);
        const char answer = lock->acquire() == state::held ? 'y' : 'n';
        (void)::write(ready[1], &answer, 1);
        ::pause();
        ::_exit(0);
    }
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ASSERT_EQ(answer, 'y');
    const auto waiting = make_file_instance_lock(folder);
    EXPECT_EQ(waiting->acquire(), state::taken);
    EXPECT_EQ(waiting->holder_pid(), static_cast<long>(child));

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_EQ(waiting->acquire(), state::held);  // the socket file the child left is rebound
    make_file_instance_lock(folder)->post_opening_notification();
    EXPECT_EQ(waiting->take_notifications(), 1);
}

TEST(InstanceLock, AFolderOthersCanWriteIsNotTrusted) {
    const std::string folder = private_folder("lock-open", 0777);
    const auto lock = make_file_instance_lock(folder);
    EXPECT_EQ(lock->acquire(), state::unavailable);
    EXPECT_EQ(make_file_instance_lock(folder + "/missing")->acquire(), state::unavailable);
}

TEST(DataFolderLock, KeepsASecondCopyOffWithoutASocketInAnyFolderOfOurs) {
    // The data folder need not be private to lock it; nobody listens there.
    const std::string folder = private_folder("data-lock", 0755);
    const auto first = make_data_folder_lock(folder);
    first->post_opening_notification();
    ASSERT_EQ(first->acquire(), state::held);
    EXPECT_EQ(first->notification_fd(), -1);
    const auto second = make_data_folder_lock(folder);
    EXPECT_EQ(second->acquire(), state::taken);
    EXPECT_EQ(second->holder_pid(), static_cast<long>(::getpid()));
    EXPECT_NE(::access((folder + "/kestrel.lock").c_str(), F_OK), -1);
    EXPECT_EQ(::access((folder + "/kestrel.sock").c_str(), F_OK), -1);
    // No folder, no lock: the caller decides to start without it.
    EXPECT_EQ(process_data_folder_lock(folder + "/missing")->acquire(), state::unavailable);
}

}  // namespace
}  // namespace platform

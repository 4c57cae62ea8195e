#include "storage/instance_lock.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/temp_dir.h"

namespace tolvik {
namespace {

using testing::TempDir;

// A second process holds the lock: we are refused and told its pid; once it
// is killed with SIGKILL the lock is free without any cleaning up.
TEST(InstanceLock, RefusedWhileAnotherProcessHoldsItAndFreeAfterSigkill) {
  TempDir dir;
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    InstanceLock lock;
    char ok = lock.Acquire(dir.path().string()) ? '1' : '0';
    if (::write(ready[1], &ok, 1) != 1) _exit(1);
    for (;;) ::pause();
  }
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, '1');

  InstanceLock second;
  EXPECT_FALSE(second.Acquire(dir.path().string()));
  EXPECT_EQ(second.Holder(), child);
  EXPECT_NE(second.Message().find(dir.path().string()), std::string::npos);
  EXPECT_NE(second.Message().find("pid " + std::to_string(child)), std::string::npos);

  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_TRUE(second.Acquire(dir.path().string()));
  EXPECT_TRUE(second.Held());
  ::close(ready[0]);
  ::close(ready[1]);
}

// Two locks in one process are two open files: the second is refused too,
// and taking it again after the first lets go works.
TEST(InstanceLock, SecondHolderInOneProcessRefusedUntilReleased) {
  TempDir dir;
  InstanceLock first, second;
  ASSERT_TRUE(first.Acquire(dir.path().string()));
  EXPECT_FALSE(second.Acquire(dir.path().string()));
  EXPECT_EQ(second.Holder(), ::getpid());
  first.Release();
  EXPECT_TRUE(second.Acquire(dir.path().string()));
}

// A program started while the lock is held (a link opened, a sound played)
// must not inherit it: once we let go, the lock is free though that program
// still runs.
TEST(InstanceLock, AProgramStartedWhileHeldDoesNotKeepItAfterwards) {
  TempDir dir;
  InstanceLock lock;
  ASSERT_TRUE(lock.Acquire(dir.path().string()));
  // cat runs until its input, a pipe only we write to, is closed.
  int input[2];
  ASSERT_EQ(::pipe2(input, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
  char arg0[] = "cat";
  char* argv[] = {arg0, nullptr};
  pid_t child = 0;
  // Returns once the child has run exec, so only inherited descriptors are left open in it.
  ASSERT_EQ(::posix_spawnp(&child, "cat", &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(input[0]);

  lock.Release();
  InstanceLock next;
  EXPECT_TRUE(next.Acquire(dir.path().string())) << next.Message();

  ::close(input[1]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(InstanceLock, MissingDirectoryIsReportedNotHeld) {
  InstanceLock lock;
  EXPECT_FALSE(lock.Acquire("/nonexistent/tolvik-test"));
  EXPECT_FALSE(lock.Held());
  EXPECT_NE(lock.Message().find("/nonexistent/tolvik-test"), std::string::npos);
}

}  // namespace
}  // namespace tolvik

#include "storage/instance_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
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

TEST(InstanceLock, MissingDirectoryIsReportedNotHeld) {
  InstanceLock lock;
  EXPECT_FALSE(lock.Acquire("/nonexistent/tolvik-test"));
  EXPECT_FALSE(lock.Held());
  EXPECT_NE(lock.Message().find("/nonexistent/tolvik-test"), std::string::npos);
}

}  // namespace
}  // namespace tolvik

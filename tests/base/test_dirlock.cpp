// The locks between a set's writer (exclusive) and its readers (shared):
// readers share them, a reader waits for the writer, and the wait ends at an
// interrupt without the lock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include "base/dirlock.h"
#include "base/session.h"
#include "support/process_wait.h"
#include "support/vemra_run.h"

namespace {

// Runs take on a thread of its own and returns once the thread sleeps
// between its tries for a lock another holds (or has ended, which the
// caller's checks then show): a lock taker held up.
std::thread held_up(const std::function<void()>& take) {
  std::promise<pid_t> id;
  std::future<pid_t> tid = id.get_future();
  std::thread t([id = std::move(id), take]() mutable {
    id.set_value(pid_t(::syscall(SYS_gettid)));
    take();
  });
  EXPECT_TRUE(vemra_test::wait_until_waiting(tid.get(), vemra_test::waits::timer));
  return t;
}

TEST(DirectoryLock, ReadersShareAndWaitForTheWriter) {
  vemra_test::TempDir dir;
  const std::string file = dir.file("set.ctl");
  {
    directory_lock a(file, directory_lock::mode::shared);
    directory_lock b(file, directory_lock::mode::shared);
    EXPECT_TRUE(a.held());
    EXPECT_TRUE(b.held());
  }
  std::atomic<bool> got{false};
  auto writer = std::make_unique<directory_lock>(file, directory_lock::mode::exclusive);
  ASSERT_TRUE(writer->held());
  std::thread reader = held_up([&] {
    directory_lock r(file, directory_lock::mode::shared);
    got = r.held();
  });
  EXPECT_FALSE(got);
  writer.reset();
  reader.join();
  EXPECT_TRUE(got);

  // An interrupt gives up the wait: the lock is not held.
  writer = std::make_unique<directory_lock>(file, directory_lock::mode::exclusive);
  gcmn->interrupt = 1;
  directory_lock late(file, directory_lock::mode::shared);
  gcmn->interrupt = 0;
  EXPECT_FALSE(late.held());

  // No directory to lock: nothing is held, nothing waits.
  directory_lock none(dir.file("missing/set.ctl"), directory_lock::mode::exclusive);
  EXPECT_FALSE(none.held());
}

// The lock on the file under a name: a writer's exclusive one waits for a
// reader's shared one; a reader that waited while the writer renamed a new
// file onto the name is told so, its lock given up; a name without a
// regular file holds nothing.
TEST(FileUnderNameLock, WaitsForReadersAndFollowsTheName) {
  vemra_test::TempDir dir;
  const std::string name = dir.file("set.ctl"), next = dir.file(".set.ctl.new");
  vemra_test::write_file(name, "old\n");
  vemra_test::write_file(next, "new\n");
  const int reader = ::open(name.c_str(), O_RDONLY);
  ASSERT_GE(reader, 0);
  bool moved = true;
  ASSERT_EQ(flock_under_name(reader, name, LOCK_SH, moved), lock_wait::held);
  EXPECT_FALSE(moved);
  std::atomic<bool> got{false};
  std::thread writer = held_up([&] {
    file_under_name_lock w(name);
    got = w.held();
    // The new file goes in while the writer holds the old one.
    ::rename(next.c_str(), name.c_str());
  });
  EXPECT_FALSE(got);
  ::flock(reader, LOCK_UN);
  writer.join();
  EXPECT_TRUE(got);
  // The old file is locked again, but the name is the new one's now.
  EXPECT_EQ(flock_under_name(reader, name, LOCK_SH, moved), lock_wait::held);
  EXPECT_TRUE(moved);
  ::close(reader);

  for (const char* other : {"missing.ctl", "."}) {
    SCOPED_TRACE(other);
    file_under_name_lock none(dir.file(other));
    EXPECT_FALSE(none.held());
  }
}

}  // namespace

// The directory lock between a set's writer (exclusive) and its readers
// (shared): readers share it, a reader waits for the writer, and the wait
// ends at an interrupt without the lock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "base/dirlock.h"
#include "base/session.h"
#include "support/vemra_run.h"

namespace {

using namespace std::chrono_literals;

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
  std::thread reader([&] {
    directory_lock r(file, directory_lock::mode::shared);
    got = r.held();
  });
  std::this_thread::sleep_for(100ms);
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

}  // namespace

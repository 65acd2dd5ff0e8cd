// Files staged beside their targets: what replaces what, with which
// permissions, through links, and what is left after a discard.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "base/safefile.h"
#include "lats/latsstage.h"
#include "support/vemra_run.h"

using vemra_test::read_file;
using vemra_test::TempDir;
using vemra_test::write_file;

namespace {

size_t entries(const std::string& dir) {
  size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) n++;
  return n;
}

TEST(LatsStage, NewAndOldFilesReplacedOnlyAtCommit) {
  TempDir dir;
  const std::string target = dir.file("out.nc");
  {
    lats_staged s;
    ASSERT_TRUE(s.open(target));
    EXPECT_FALSE(s.target_exists());
    EXPECT_FALSE(s.in_place());
    EXPECT_NE(s.path(), target);
    EXPECT_EQ(s.path().rfind(dir.file(".out.nc."), 0), 0u) << s.path();
    write_file(s.path(), "new");
    EXPECT_FALSE(vemra_test::file_exists(target));
    ASSERT_TRUE(s.commit());
  }
  EXPECT_EQ(read_file(target), "new");
  EXPECT_EQ(entries(dir.path()), 1u);

  // An old file keeps its permissions and is untouched until the commit;
  // a discard (or the end of the owner) leaves it as it was.
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  {
    lats_staged s;
    ASSERT_TRUE(s.open(target));
    EXPECT_TRUE(s.target_exists());
    write_file(s.path(), "second");
  }
  EXPECT_EQ(read_file(target), "new");
  EXPECT_EQ(entries(dir.path()), 1u);
  lats_staged s;
  ASSERT_TRUE(s.open(target));
  write_file(s.path(), "third");
  ASSERT_TRUE(s.commit());
  EXPECT_EQ(read_file(target), "third");
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(LatsStage, LinksAreFollowedAndDevicesWrittenInPlace) {
  TempDir dir, other;
  const std::string real = other.file("real.grb"), link = dir.file("out.grb");
  write_file(real, "old");
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  lats_staged s;
  ASSERT_TRUE(s.open(link));
  // Staged beside the file the link names, so the rename stays on its disk.
  EXPECT_EQ(s.path().rfind(other.file(".real.grb."), 0), 0u) << s.path();
  write_file(s.path(), "new");
  ASSERT_TRUE(s.commit());
  struct stat st;
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(read_file(link), "new");

  lats_staged dev;
  ASSERT_TRUE(dev.open("/dev/null"));
  EXPECT_EQ(dev.kind(), lats_target_kind::device);
  EXPECT_TRUE(dev.in_place());
  EXPECT_EQ(dev.path(), "/dev/null");
  EXPECT_TRUE(dev.commit());
  EXPECT_TRUE(vemra_test::file_exists("/dev/null"));

  // A pipe and a directory are told apart, and neither is staged.
  ASSERT_EQ(mkfifo(dir.file("p.grb").c_str(), 0600), 0);
  lats_staged pipe, folder;
  ASSERT_TRUE(pipe.open(dir.file("p.grb")));
  EXPECT_EQ(pipe.kind(), lats_target_kind::pipe);
  ASSERT_TRUE(folder.open(other.path()));
  EXPECT_EQ(folder.kind(), lats_target_kind::other);
  EXPECT_TRUE(pipe.in_place() && folder.in_place());
  errno = 0;
  EXPECT_EQ(fopen_appending(other.path()), nullptr);
  EXPECT_EQ(errno, EISDIR);

  // No directory to stage in: nothing is reserved.
  lats_staged none;
  EXPECT_FALSE(none.open(dir.file("missing/out.nc")));
}

}  // namespace

// The opening routine of every file read: only regular files, bounded lines,
// and reading that stops when the user interrupts.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "base/inputfile.h"
#include "base/session.h"
#include "support/vemra_run.h"

namespace {

using vemra_test::TempDir;
using vemra_test::write_file;

struct interrupt_flag {
  explicit interrupt_flag(int v) { gcmn->interrupt = v; }
  ~interrupt_flag() { gcmn->interrupt = 0; }
};

TEST(InputFile, OnlyRegularFilesOpenAndEachKindSaysWhy) {
  TempDir dir;
  write_file(dir.file("plain"), "x\n");
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0700), 0);
  EXPECT_TRUE(input_file(dir.file("plain")).ok());
  EXPECT_EQ(check_input(dir.file("plain")), input_status::ok);
  for (const std::string& name : {dir.file("fifo"), dir.file("sub"), std::string("/dev/zero")}) {
    input_file f(name);
    EXPECT_FALSE(f.ok()) << name;
    EXPECT_EQ(f.status(), input_status::not_regular) << name;
    EXPECT_EQ(f.refusal(), name + " is not a regular file");
    EXPECT_EQ(check_input(name), input_status::not_regular) << name;
  }
  input_file missing(dir.file("missing"));
  EXPECT_EQ(missing.status(), input_status::cannot_open);
  EXPECT_EQ(missing.errno_value(), ENOENT);
  EXPECT_EQ(missing.refusal(), "No such file or directory");
  EXPECT_EQ(check_input(dir.file("missing")), input_status::cannot_open);
  // A name with a NUL byte in it names no file (not the part before it).
  EXPECT_EQ(input_file(dir.file("plain") + std::string(1, '\0') + "x").status(),
            input_status::cannot_open);
}

TEST(InputFile, LinesAreBoundedAndALongOneIsReadToItsEnd) {
  TempDir dir;
  write_file(dir.file("t"), "short\r\n" + std::string(12, 'a') + "\n\nlast");
  input_file f(dir.file("t"));
  ASSERT_TRUE(f.ok());
  std::string line;
  EXPECT_EQ(f.next_line(line, 10), line_read::ok);
  EXPECT_EQ(line, "short\r");
  // 12 characters over a bound of 10: the first 10 are kept, the rest is
  // not the next line.
  EXPECT_EQ(f.next_line(line, 10), line_read::too_long);
  EXPECT_EQ(line, std::string(10, 'a'));
  EXPECT_EQ(f.next_line(line, 10), line_read::ok);
  EXPECT_EQ(line, "");
  EXPECT_EQ(f.next_line(line, 10), line_read::ok);
  EXPECT_EQ(line, "last");
  EXPECT_EQ(f.next_line(line, 10), line_read::end);
  EXPECT_EQ(f.next_line(line, 10), line_read::end);
}

TEST(InputFile, AnInterruptStopsLongReads) {
  TempDir dir;
  // 200 KiB in lines of 99 characters, and one line of the same size.
  std::string many;
  for (int i = 0; i < 2048; i++) many += std::string(99, 'b') + "\n";
  write_file(dir.file("many"), many);
  write_file(dir.file("one"), std::string(many.size(), 'c'));
  {
    interrupt_flag on(1);
    input_file f(dir.file("many"));
    std::string line;
    int lines = 0;
    line_read st;
    while ((st = f.next_line(line, 100)) == line_read::ok) lines++;
    EXPECT_EQ(st, line_read::interrupted);
    EXPECT_TRUE(f.interrupted());
    // Stopped within the first 64 KiB polled, far before the 2048 lines.
    EXPECT_GT(lines, 0);
    EXPECT_LT(lines, 1000);
    EXPECT_EQ(input_file(dir.file("one")).next_line(line, 100), line_read::interrupted);
    std::vector<char> buf(many.size());
    input_file g(dir.file("many"));
    EXPECT_LT(g.read(buf.data(), buf.size()), buf.size());
    EXPECT_TRUE(g.interrupted());
  }
  // Without an interrupt all is read.
  input_file f(dir.file("many"));
  std::vector<char> buf(many.size() + 10);
  EXPECT_EQ(f.read(buf.data(), buf.size()), many.size());
  EXPECT_EQ(std::string(buf.data(), many.size()), many);
  EXPECT_FALSE(f.interrupted());
}

}  // namespace

// Files opened safely: input refused unless it is a regular file, output
// that replaces a file only once complete.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/inputfile.h"
#include "base/safefile.h"
#include "base/session.h"
#include "support/syscall_fault.h"
#include "support/vemra_run.h"

namespace {

using vemra_test::cannot_inject_faults;
using vemra_test::fail_syscalls;
using vemra_test::file_exists;
using vemra_test::fstat_calls;
using vemra_test::read_file;
using vemra_test::TempDir;
using vemra_test::write_file;

size_t entries(const std::string& dir) {
  size_t n = 0;
  for (auto it = std::filesystem::directory_iterator(dir);
       it != std::filesystem::directory_iterator(); ++it)
    ++n;
  return n;
}

TEST(SafeFile, InputMustBeARegularFile) {
  TempDir dir;
  write_file(dir.file("plain"), "text\n");
  FILE* f = fopen_regular(dir.file("plain"));
  ASSERT_NE(f, nullptr);
  char buf[8] = {};
  EXPECT_EQ(std::fread(buf, 1, sizeof buf, f), 5u);
  std::fclose(f);

  std::filesystem::create_directory(dir.file("sub"));
  errno = 0;
  EXPECT_EQ(fopen_regular(dir.file("sub")), nullptr);
  EXPECT_EQ(errno, EISDIR);
  EXPECT_EQ(fopen_regular("/dev/zero"), nullptr);
  EXPECT_EQ(errno, EINVAL);
  // A pipe with no writer is refused at once instead of waited for.
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  EXPECT_EQ(fopen_regular(dir.file("fifo")), nullptr);
  EXPECT_EQ(fopen_regular(dir.file("missing")), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

TEST(SafeFile, OutputReplacesOnlyWhenComplete) {
  TempDir dir;
  const std::string name = dir.file("out.dat");
  write_file(name, "old");
  ASSERT_EQ(chmod(name.c_str(), 0640), 0);
  {
    replacing_file out(name);
    ASSERT_NE(out.stream(), nullptr);
    std::fputs("new contents", out.stream());
    std::fflush(out.stream());
    EXPECT_EQ(read_file(name), "old");  // unchanged while being written
    EXPECT_EQ(entries(dir.path()), 2u);
  }  // dropped without commit
  EXPECT_EQ(read_file(name), "old");
  EXPECT_EQ(entries(dir.path()), 1u);

  {
    replacing_file out(name);
    std::fputs("new contents", out.stream());
    EXPECT_TRUE(out.commit());
  }
  EXPECT_EQ(read_file(name), "new contents");
  EXPECT_EQ(entries(dir.path()), 1u);
  struct stat st;
  ASSERT_EQ(stat(name.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  // Through a link the target is replaced and the link stays a link.
  std::filesystem::create_symlink(name, dir.file("link"));
  {
    replacing_file out(dir.file("link"));
    std::fputs("via link", out.stream());
    EXPECT_TRUE(out.commit());
  }
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link")));
  EXPECT_EQ(read_file(name), "via link");

  // A device is written in place, never replaced.
  {
    replacing_file out("/dev/null");
    ASSERT_NE(out.stream(), nullptr);
    std::fputs("gone", out.stream());
    EXPECT_TRUE(out.commit());
  }
  struct stat dn;
  ASSERT_EQ(stat("/dev/null", &dn), 0);
  EXPECT_TRUE(S_ISCHR(dn.st_mode));

  // No directory to write in: no stream.
  replacing_file none(dir.file("no/such/dir/x"));
  EXPECT_EQ(none.stream(), nullptr);
  EXPECT_FALSE(none.commit());
}

// A write cut short by a file-size limit fails the commit and leaves the old
// file whole.
TEST(SafeFile, FailedWriteKeepsTheOldFile) {
  TempDir dir;
  const std::string name = dir.file("big.dat");
  write_file(name, "old");
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{4096, 4096};
    if (setrlimit(RLIMIT_FSIZE, &lim) != 0) _exit(2);
    replacing_file out(name);
    if (!out.stream()) _exit(3);
    std::string block(1000, 'x');
    for (int i = 0; i < 10; i++) std::fputs(block.c_str(), out.stream());
    _exit(out.commit() ? 4 : 0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_EQ(read_file(name), "old");
  EXPECT_EQ(entries(dir.path()), 1u);
}

// A signal that ends the process removes what was staged and not committed;
// the old file stays and the status shows the signal.
TEST(SafeFile, EndingSignalRemovesStagedFiles) {
  TempDir dir;
  const std::string name = dir.file("out.dat"), other = dir.file("other.dat");
  write_file(name, "old");
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::signal(SIGTERM, end_by_signal);
    replacing_file a(name), b(other);
    if (!a.stream() || !b.stream()) _exit(2);
    std::fputs("new", a.stream());
    std::fflush(a.stream());
    if (entries(dir.path()) != 3) _exit(3);
    std::raise(SIGTERM);
    _exit(4);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
  EXPECT_EQ(read_file(name), "old");
  EXPECT_EQ(entries(dir.path()), 1u);
}

// Any number of staged files is removed by any signal that ends the
// process, those staged after others were committed too: what is left is
// the committed files alone.
TEST(SafeFile, EveryEndingSignalRemovesAnyNumberOfStagedFiles) {
  const struct {
    int sig;
    int first, committed, then;  // staged, of them committed, staged after
  } cases[] = {
      {SIGTERM, 600, 0, 0}, {SIGUSR1, 300, 150, 300}, {SIGALRM, 40, 40, 40}, {SIGRTMIN, 2, 1, 500}};
  for (const auto& c : cases) {
    SCOPED_TRACE(strsignal(c.sig));
    TempDir dir;
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      catch_ending_signals();
      std::vector<std::unique_ptr<replacing_file>> files;
      auto stage = [&](int n) {
        for (int k = 0; k < n; k++) {
          files.push_back(
              std::make_unique<replacing_file>(dir.file("f" + std::to_string(files.size()))));
          if (!files.back()->stream()) _exit(2);
        }
      };
      stage(c.first);
      for (int k = 0; k < c.committed; k++)
        if (!files[size_t(k)]->commit()) _exit(3);
      stage(c.then);
      std::raise(c.sig);
      _exit(4);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.sig) << "status " << status;
    EXPECT_EQ(entries(dir.path()), size_t(c.committed));
    for (int k = 0; k < c.committed; k++)
      EXPECT_TRUE(file_exists(dir.file("f" + std::to_string(k)))) << k;
  }
}

// A pipe is written in place when a stream may go there, never waited for
// past an interrupt, and refused where the output must be a file.
TEST(SafeFile, PipesAreWrittenInPlaceAndTheirWaitsEndAtAnInterrupt) {
  TempDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    alarm(10);  // a wait that never ends fails the test instead of hanging it
    {
      replacing_file file(fifo, special_output::device_only);
      if (file.stream() || file.error() != "it is not a regular file") _exit(2);
    }
    gcmn->interrupt = 1;  // no reader: the wait ends at once
    {
      replacing_file none(fifo);
      if (none.stream() || none.error() != "interrupted while waiting for a reader") _exit(3);
    }
    gcmn->interrupt = 0;
    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    replacing_file out(fifo);
    if (reader < 0 || !out.stream()) _exit(4);
    std::fputs("through the pipe", out.stream());
    std::fflush(out.stream());
    char buf[32] = {};
    if (read(reader, buf, sizeof buf) != 16 || std::string(buf) != "through the pipe") _exit(5);
    // A reader that stops reading: the full pipe is waited for until the
    // interrupt, and the write fails.
    gcmn->interrupt = 1;
    std::string block(1 << 20, 'x');
    std::fwrite(block.data(), 1, block.size(), out.stream());
    if (out.commit()) _exit(6);
    _exit(file_exists(fifo) ? 0 : 7);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

// What fn says, run in a child whose calls in calls fail with err.
std::string with_failing_calls(const std::vector<long>& calls, int err,
                               const std::function<std::string()>& fn) {
  int fds[2];
  if (pipe(fds) != 0) return "no pipe";
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const std::string said = fail_syscalls(calls, err) ? fn() : "no filter";
    _exit(write(fds[1], said.data(), said.size()) == ssize_t(said.size()) ? 0 : 1);
  }
  close(fds[1]);
  std::string said;
  char buf[256];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) said.append(buf, size_t(n));
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  return said;
}

// The mode, whether the name still holds the same file, and the contents.
std::string file_state(const std::string& name, ino_t was) {
  struct stat st;
  if (stat(name.c_str(), &st) != 0) return "missing";
  char mode[8];
  std::snprintf(mode, sizeof mode, "%o", unsigned(st.st_mode & 07777));
  return std::string(mode) + (st.st_ino == was ? " same file " : " new file ") + read_file(name);
}

// A failure of the system in the file gate is reported with the system's
// reason: a failed fstat or an odd refusal of the open never reads as a
// file of the wrong kind, and a mode that cannot be set is never lost in
// silence (the old file is written in place, a new one refused).
TEST(SafeFile, TheGateReportsTheSystemsReason) {
  if (std::string why = cannot_inject_faults(); !why.empty()) GTEST_SKIP() << why;
  std::vector<long> opens = {SYS_openat};
#ifdef SYS_open
  opens.push_back(SYS_open);
#endif
  struct gate_case {
    const char* what;
    std::vector<long> calls;
    int err;
    std::function<std::string(const TempDir&, ino_t)> run;
    std::string want;
  };
  auto read_plain = [](const TempDir& d, ino_t) {
    input_file in(d.file("plain"));
    return in.ok() ? std::string("opened") : in.refusal();
  };
  auto replace = [](const std::string& name) {
    return [name](const TempDir& d, ino_t was) -> std::string {
      replacing_file out(d.file(name));
      if (!out.stream())
        return "refused: " + out.error() + ", " + std::to_string(entries(d.path()));
      std::fputs("new", out.stream());
      if (!out.commit()) return "failed: " + out.error();
      return file_state(d.file(name), was) + ", " + std::to_string(entries(d.path()));
    };
  };
  const std::vector<gate_case> cases = {
      {"fstat fails", fstat_calls(), EIO, read_plain, "Input/output error"},
      {"open refused as an invalid argument", opens, EINVAL, read_plain, "Invalid argument"},
      {"mode of a new file cannot be set",
       {SYS_fchmod},
       EPERM,
       replace("new.dat"),
       "refused: Operation not permitted, 1"},
      {"mode of a replaced file cannot be kept",
       {SYS_fchmod},
       EPERM,
       replace("plain"),
       "640 same file new, 1"},
  };
  for (const gate_case& c : cases) {
    TempDir dir;
    write_file(dir.file("plain"), "old");
    ASSERT_EQ(chmod(dir.file("plain").c_str(), 0640), 0);
    struct stat st;
    ASSERT_EQ(stat(dir.file("plain").c_str(), &st), 0);
    EXPECT_EQ(with_failing_calls(c.calls, c.err, [&] { return c.run(dir, st.st_ino); }), c.want)
        << c.what;
  }
}

}  // namespace

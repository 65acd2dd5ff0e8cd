// Output files (printim, fwrite, enable print) replace the old file as a
// careful editor does: refused where the user may not write it, written in
// place where no file can be made beside it or where its owner or links
// would be lost, any name length, no staged file left by a signal, and no
// endless wait for a pipe's reader.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "e2e/dataset_files.h"
#include "e2e/lats_files.h"
#include "support/as_nobody.h"
#include "support/live_session.h"
#include "support/process_wait.h"
#include "support/station_writer.h"
#include "support/syscall_fault.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::answer;
using vemra_test::fail_syscalls;

namespace {

const uid_t kNobody = 65534;
const gid_t kNogroup = 65534;

// A 2 x 2 grid for fwrite.
void write_grid(const TempDir& dir) {
  write_file(dir.file("d.ctl"),
             "dset ^d.dat\nundef -9e33\nxdef 2 linear 0 1\nydef 2 linear 0 1\n"
             "zdef 1 linear 1 1\ntdef 1 linear jan2000 1mo\nvars 1\nv 0 0 v\nendvars\n");
  write_file(dir.file("d.dat"), std::string(16, '\0'));
}

// A scratch directory that nobody may write in.
void open_to_all(const TempDir& dir) { ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0); }

void own(const std::string& file, uid_t uid, gid_t gid, mode_t mode) {
  ASSERT_EQ(chown(file.c_str(), uid, gid), 0);
  ASSERT_EQ(chmod(file.c_str(), mode), 0);
}

// Names in dir that begin with a dot, but for the run's own files.
std::vector<std::string> staged_files(const std::string& dir) {
  std::vector<std::string> found;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    std::string n = e.path().filename().string();
    if (n[0] == '.' && n != ".stdin" && n != ".stdout" && n != ".stderr") found.push_back(n);
  }
  return found;
}

bool is_png(const std::string& file) { return read_file(file).rfind("\x89PNG", 0) == 0; }

// run_batch (with env) in a child that is first set up by setup.
RunResult run_batch_after(const std::function<bool()>& setup, const std::string& input,
                          const std::string& dir, const std::vector<std::string>& env = {}) {
  pid_t pid = fork();
  if (pid == 0) {
    if (!setup()) _exit(125);
    _exit(run_batch(input, dir, {}, env).status & 0xff);
  }
  int st = 0;
  waitpid(pid, &st, 0);
  RunResult r;
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  r.out = read_file(dir + "/.stdout");
  return r;
}

// run_batch in a child whose calls in calls fail with err.
RunResult run_batch_failing(const std::vector<long>& calls, int err, const std::string& input,
                            const std::string& dir) {
  return run_batch_after([&] { return fail_syscalls(calls, err); }, input, dir);
}

// Every extended attribute of file by name, its ACL among them.
std::map<std::string, std::string> attributes_of(const std::string& file) {
  std::map<std::string, std::string> found;
  std::string names(65536, '\0'), value(65536, '\0');
  ssize_t n = listxattr(file.c_str(), names.data(), names.size());
  for (ssize_t at = 0; at < n; at += ssize_t(std::strlen(&names[size_t(at)])) + 1) {
    const char* name = &names[size_t(at)];
    ssize_t v = getxattr(file.c_str(), name, value.data(), value.size());
    found[name] = v < 0 ? "<unreadable>" : value.substr(0, size_t(v));
  }
  return found;
}

// An access ACL as the system stores it: the owner and the user nobody may
// read and write, the owning group only read, others nothing.
std::string collaborator_acl() {
  struct entry {
    uint16_t tag, perm;
    uint32_t id;
  };
  const uint32_t none = ~0u;
  const entry entries[] = {
      {0x01, 6, none}, {0x02, 6, kNobody}, {0x04, 4, none}, {0x10, 6, none}, {0x20, 0, none}};
  std::string acl("\x02\0\0\0", 4);  // version 2
  for (const entry& e : entries) acl.append(reinterpret_cast<const char*>(&e), sizeof e);
  return acl;
}

// An existing file the user may not write is refused with the system's
// reason and left as it was, by every output.
TEST(OutputFiles, FilesTheUserMayNotWriteAreRefused) {
  if (std::string why = cannot_run_as_nobody(); !why.empty()) GTEST_SKIP() << why;
  TempDir dir;
  open_to_all(dir);
  write_grid(dir);
  for (const char* f : {"ro.png", "ro.dat", "ro.meta"}) {
    write_file(dir.file(f), "old");
    own(dir.file(f), kNobody, kNogroup, 0444);
  }
  write_file(dir.file("root.png"), "old");  // another user's file
  own(dir.file("root.png"), 0, 0, 0644);
  RunResult r = run_batch_as_nobody(
      "printim ro.png\nprintim root.png\nopen d.ctl\nset fwrite ro.dat\nset gxout fwrite\n"
      "d v\nenable print ro.meta\n",
      dir.path());
  EXPECT_EQ(answer(r.out, "printim ro.png"),
            "Open error on ro.png\n  Permission denied\nPRINTIM error:  open error\n");
  EXPECT_EQ(answer(r.out, "printim root.png"),
            "Open error on root.png\n  Permission denied\nPRINTIM error:  open error\n");
  EXPECT_EQ(answer(r.out, "d v"),
            "Error opening output file for fwrite\n  File name is: ro.dat\n"
            "  Permission denied\n");
  EXPECT_EQ(answer(r.out, "enable print ro.meta"),
            "Error opening meta file ro.meta \n  Permission denied\n");
  for (const char* f : {"ro.png", "root.png", "ro.dat", "ro.meta"})
    EXPECT_EQ(read_file(dir.file(f)), "old") << f;
  EXPECT_TRUE(staged_files(dir.path()).empty());
}

// Makes a unix socket named path (the name stays after the close).
void make_socket(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof addr.sun_path);
  path.copy(addr.sun_path, path.size());
  EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  close(fd);
}

// The station stream says why it could not open its file as the other
// outputs do, on a line of its own, and the display fails.
TEST(OutputFiles, WritegdsSaysWhyItCannotOpenItsFile) {
  TempDir dir;
  write_grid(dir);
  ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
  make_socket(dir.file("sock"));
  const char* cases[][2] = {
      {"nodir/w.gds", "No such file or directory"},
      {"sub", "Is a directory"},
      {"sock", "it is not a regular file"},
  };
  for (const auto& c : cases) {
    const std::string name = c[0];
    write_file(dir.file("rc.gs"), "'d v'\nsay 'rc=' rc\n");
    RunResult r =
        run_batch("open d.ctl\nset gxout writegds\nset writegds -f " + name + "\nd v\nrun rc.gs\n",
                  dir.path());
    EXPECT_EQ(answer(r.out, "d v"),
              "error: WRITEGDS unable to open " + name + " for write\n  " + c[1] + "\n")
        << name;
    EXPECT_TRUE(contains(r.out, "rc=1\n")) << name << r.out;
  }
  EXPECT_FALSE(file_exists(dir.file("nodir")));
}

// In a directory the user may not write, a file the user may write is
// written in place; only when that fails too does the message say why the
// file was not written beside it.
TEST(OutputFiles, UnwritableDirectoryWritesTheFileInPlace) {
  if (std::string why = cannot_run_as_nobody(); !why.empty()) GTEST_SKIP() << why;
  TempDir dir;
  open_to_all(dir);
  const std::string sub = dir.file("sub");
  ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);  // root's
  write_file(sub + "/mine.png", "old");
  own(sub + "/mine.png", kNobody, kNogroup, 0644);
  RunResult r = run_batch_as_nobody("printim sub/mine.png\nprintim sub/new.png\n", dir.path());
  EXPECT_EQ(answer(r.out, "printim sub/mine.png"), "");
  EXPECT_TRUE(is_png(sub + "/mine.png"));
  EXPECT_EQ(answer(r.out, "printim sub/new.png"),
            "Open error on sub/new.png\n  Permission denied\nPRINTIM error:  open error\n");
  EXPECT_FALSE(file_exists(sub + "/new.png"));

  // A size limit (above what the session prints, below the 7 KB image) fails the
  // write in place: now the reason is given.
  write_file(sub + "/mine.png", "old");
  r = run_batch_as_nobody("printim sub/mine.png gif x 3000 y 3000\n", dir.path(), 4096);
  EXPECT_EQ(answer(r.out, "printim sub/mine.png gif x 3000 y 3000"),
            "Write error on sub/mine.png\n  File too large; written in place because no "
            "temporary file could be made beside it: Permission denied\n"
            "PRINTIM error:  output error\n");
  EXPECT_EQ(read_file(sub + "/mine.png"), "old");

  // The hardcopy file meets the limit at print (500 rectangles, 20 KB): it
  // says the same.
  write_file(sub + "/mine.meta", "old");
  own(sub + "/mine.meta", kNobody, kNogroup, 0644);
  write_file(dir.file("rects.gs"),
             "function main()\ni = 0\nwhile (i < 500)\n  'draw rec 1 1 2 2'\n  i = i + 1\n"
             "endwhile\n");
  r = run_batch_as_nobody("enable print sub/mine.meta\nrun rects.gs\nprint\n", dir.path(), 4096);
  EXPECT_EQ(answer(r.out, "enable print sub/mine.meta"), "");
  EXPECT_EQ(answer(r.out, "print"),
            "I/O Error writing to print metafile.\n  File too large; written in place because no "
            "temporary file could be made beside it: Permission denied\n");
  EXPECT_EQ(read_file(sub + "/mine.meta"), "old");
}

// The replaced file keeps its owner, group and mode; one with several links
// is written in place, so every link sees the new contents; where the owner
// cannot be kept the file is written in place.
TEST(OutputFiles, ReplacementKeepsOwnerModeAndLinks) {
  if (geteuid() != 0) GTEST_SKIP() << "not root: cannot give files to another user";
  TempDir dir;
  open_to_all(dir);
  write_file(dir.file("theirs.png"), "old");
  own(dir.file("theirs.png"), kNobody, kNogroup, 0640);
  write_file(dir.file("a.png"), "old");
  ASSERT_EQ(link(dir.file("a.png").c_str(), dir.file("b.png").c_str()), 0);
  RunResult r = run_batch("printim theirs.png\nprintim a.png\n", dir.path());
  struct stat st;
  ASSERT_EQ(stat(dir.file("theirs.png").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kNobody);
  EXPECT_EQ(st.st_gid, kNogroup);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_TRUE(is_png(dir.file("theirs.png")));
  struct stat a, b;
  ASSERT_EQ(stat(dir.file("a.png").c_str(), &a), 0);
  ASSERT_EQ(stat(dir.file("b.png").c_str(), &b), 0);
  EXPECT_EQ(a.st_ino, b.st_ino);
  EXPECT_EQ(a.st_nlink, 2u);
  EXPECT_TRUE(is_png(dir.file("b.png")));
  // The GRIB and netCDF writer always stages and renames: a hard link to
  // the old output keeps the old content.
  latsfiles::write_dataset(dir);
  for (const std::string conv : {"grib_only", "coards"}) {
    const std::string out = conv == "coards" ? "out.nc" : "out.grb";
    write_file(dir.file(out), "old");
    ASSERT_EQ(link(dir.file(out).c_str(), dir.file("linked").c_str()), 0);
    r = run_batch(
        latsfiles::declare("out", "set lats convention " + conv + "\n") + "d t\nset lats close 1\n",
        dir.path());
    EXPECT_NE(read_file(dir.file(out)), "old") << conv << r.out << r.err;
    EXPECT_EQ(read_file(dir.file("linked")), "old") << conv;
    ASSERT_EQ(unlink(dir.file("linked").c_str()), 0);
  }

  EXPECT_TRUE(staged_files(dir.path()).empty());

  if (std::string why = cannot_run_as_nobody(); !why.empty()) GTEST_SKIP() << why;
  // nobody may write root's file but could not give a replacement to root.
  TempDir shared;
  open_to_all(shared);
  write_file(shared.file("root.png"), "old");
  own(shared.file("root.png"), 0, 0, 0666);
  r = run_batch_as_nobody("printim root.png\n", shared.path());
  EXPECT_EQ(answer(r.out, "printim root.png"), "");
  ASSERT_EQ(stat(shared.file("root.png").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(st.st_mode & 07777, 0666u);
  EXPECT_TRUE(is_png(shared.file("root.png")));
  EXPECT_TRUE(staged_files(shared.path()).empty());
}

// Set-id bits go only with the owner or group they were given for: a
// writer that cannot give its new file the old one's owner (or group) does
// not make a set-id file of its own, which would run as the writer.
TEST(OutputFiles, SetIdBitsStayOnlyWithTheirOwnerAndGroup) {
  if (std::string why = cannot_run_as_nobody(); !why.empty()) GTEST_SKIP() << why;
  const struct {
    gid_t group;  // of root's old file
    mode_t old_mode, new_mode;
  } cases[] = {
      {0, 04777, 0777},
      {0, 02777, 0777},
      {0, 06777, 0777},
      {kNogroup, 06777, 02777},  // nobody may keep the group, so its bit
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.old_mode);
    TempDir dir;
    open_to_all(dir);
    latsfiles::write_dataset(dir);
    write_file(dir.file("out.grb"), "old");
    own(dir.file("out.grb"), 0, c.group, c.old_mode);
    RunResult r = run_batch_as_nobody(
        latsfiles::declare("out", "set lats convention vemra_grib\n") + "d t\nset lats close 1\n",
        dir.path());
    struct stat st;
    ASSERT_EQ(stat(dir.file("out.grb").c_str(), &st), 0);
    EXPECT_EQ(read_file(dir.file("out.grb")).substr(0, 4), "GRIB") << r.out << r.err;
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_gid, kNogroup);
    EXPECT_EQ(st.st_mode & 07777, c.new_mode);
    EXPECT_TRUE(staged_files(dir.path()).empty());
  }
}

// Names up to the longest the file system takes are written by every output.
TEST(OutputFiles, NamesUpToTheLongestTheFileSystemTakes) {
  TempDir dir;
  write_grid(dir);
  const std::string n247(247, 'a'), n255(255, 'b'), n250(250, 'c'), m255(255, 'd');
  write_file(dir.file(n255), "old");
  RunResult r = run_batch("printim " + n247 + "\nprintim " + n255 + "\nopen d.ctl\nset fwrite " +
                              n250 + "\nset gxout fwrite\nd v\ndisable fwrite\nenable print " +
                              m255 + "\ndisable print\n",
                          dir.path());
  EXPECT_TRUE(is_png(dir.file(n247)));
  EXPECT_TRUE(is_png(dir.file(n255)));
  EXPECT_EQ(read_file(dir.file(n250)).size(), 16u);
  EXPECT_EQ(answer(r.out, "enable print " + m255), "");
  EXPECT_EQ(read_file(dir.file(m255)).size(), 8u);  // header and end record
  EXPECT_TRUE(staged_files(dir.path()).empty());
}

// A signal that ends the session removes the files it had not finished
// (the fwrite, hardcopy and LATS files are staged until closed), keeps the
// old ones, and the exit status shows the signal (a second Ctrl-C ends the
// session with status 0).
TEST(OutputFiles, EndingSignalsRemoveStagedFiles) {
  TempDir dir;
  write_grid(dir);
  write_file(dir.file("out.dat"), "old");
  write_file(dir.file("out.nc"), "old");
  for (int sig : {SIGTERM, SIGHUP, SIGPIPE, SIGINT}) {
    LiveSession s(dir, "session" + std::to_string(sig) + ".out");
    ASSERT_TRUE(s.wait_for("ka-> "));
    EXPECT_TRUE(
        s.send("open d.ctl\nset fwrite out.dat\nset gxout fwrite\nd v\n"
               "enable print out.meta\nset lats convention coards\nset lats frequency daily\n"
               "set lats create out\nq config\n"));
    ASSERT_TRUE(s.wait_for("Config: v", 2)) << s.output();
    EXPECT_EQ(staged_files(dir.path()).size(), 3u) << sig;
    kill(s.pid, sig);
    if (sig == SIGINT) {  // the first one only interrupts
      ASSERT_TRUE(wait_until_waiting(s.pid, waits::input)) << s.output();
      kill(s.pid, SIGINT);
    }
    EXPECT_EQ(s.finish(), sig == SIGINT ? 0 : 128 + sig);
    EXPECT_TRUE(staged_files(dir.path()).empty()) << sig;
    EXPECT_EQ(read_file(dir.file("out.dat")), "old");
    EXPECT_EQ(read_file(dir.file("out.nc")), "old");
    EXPECT_FALSE(file_exists(dir.file("out.meta")));
  }
}

// A signal that comes right after the staged file of an output (or the kept
// copy of a file written in place) is made, before anything else is done
// with it, removes it with the other unfinished files: the old file is left
// as it was and nothing hidden stays beside it.
TEST(OutputFiles, ASignalRightAfterAStagedFileIsMadeRemovesIt) {
  const struct {
    std::string what, input;
    bool linked;      // a second link: the file is written in place
    int sig, status;  // sent, and the session's exit status
  } cases[] = {
      {"image", "printim a.png\n", false, SIGTERM, 128 + SIGTERM},
      {"image in place", "printim a.png\n", true, SIGTERM, 128 + SIGTERM},
      {"image, CPU limit", "printim a.png\n", false, SIGXCPU, 1},
      {"image in place, CPU limit", "printim a.png\n", true, SIGXCPU, 1},
      {"fwrite", "open d.ctl\nset fwrite a.png\nset gxout fwrite\nd v\ndisable fwrite\n", false,
       SIGHUP, 128 + SIGHUP},
      {"hardcopy", "enable print a.png\ndisable print\n", false, SIGTERM, 128 + SIGTERM},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    write_grid(dir);
    write_file(dir.file("a.png"), "old");
    if (c.linked) {
      ASSERT_EQ(link(dir.file("a.png").c_str(), dir.file("b.png").c_str()), 0);
    }
    RunResult r = run_batch(c.input, dir.path(), {},
                            {"SIGNAL_AFTER_MKOSTEMP=" + std::to_string(c.sig) + " .a.png.",
                             std::string("LD_PRELOAD=") + VEMRA_SIGNAL_AFTER_RENAME,
                             "ASAN_OPTIONS=verify_asan_link_order=0"});
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_EQ(read_file(dir.file("a.png")), "old");
    EXPECT_EQ(staged_files(dir.path()), std::vector<std::string>{});
  }
}

// Sessions that open one output of each writer over the grid d.ctl.
const std::string kLatsSession =
    "open d.ctl\nset lats frequency monthly\nset lats deltat 1\nset lats create x\n"
    "set gxout latsgrid\nd v\nset lats var 1 tas average 1 0\nset gxout latsdata\n"
    "set lats write 1 1\nd v\n";
const std::string kFwriteSession = "open d.ctl\nset fwrite f.bin\nset gxout fwrite\nd v\n";

// Owner, group and mode are taken at placing only from the file the output
// was opened over, where its name still holds it: that file changed while
// the output was open gives them to the new one. Another file under the name
// gives nothing, the output keeping the session's owner and at most the mode
// it was opened with: a file made meanwhile, a link to a set-user-id
// program, or, in a group's project directory (mode 2775, the session's
// umask 077), another member's mode 0666 file put in place of the session's
// own, or a hard link to their set-user-id program.
TEST(OutputFiles, OnlyTheFileOpenedOverGivesItsOwnerAndMode) {
  const bool root = geteuid() == 0;
  const std::string netcdf =
      "open d.ctl\nset lats convention coards\nset lats frequency monthly\nset lats deltat 1\n"
      "set lats create f\nset gxout latsgrid\nd v\nset lats var 1 tas average 1 0\n"
      "set gxout latsdata\nset lats write 1 1\nd v\n";
  const std::string grib =
      "open d.ctl\nset lats convention grib_only\n" + netcdf.substr(netcdf.find("set lats f"));
  enum class change {
    chmod_own,     // the file under the name is given mode 0600 (and to nobody)
    symlink,       // a link to a set-user-id file is put under the name
    put_in_place,  // another member moves it aside and puts theirs, mode 0666
    hard_link,     // another member puts a hard link to their set-user-id file
    reuse_inode,   // another member removes it and makes theirs, mode 0600, under its
                   // inode number where the file system gives that again
  };
  const struct {
    std::string what, open, close;
    bool old;  // a file is there when the output is opened
    change how;
    std::string file;  // the output's name
  } cases[] = {
      {"fwrite", kFwriteSession, "disable fwrite\n", true, change::chmod_own, "f.bin"},
      {"fwrite, made meanwhile", kFwriteSession, "disable fwrite\n", false, change::chmod_own,
       "f.bin"},
      {"hardcopy", "enable print f.bin\n", "disable print\n", true, change::chmod_own, "f.bin"},
      {"hardcopy, made meanwhile", "enable print f.bin\n", "disable print\n", false,
       change::chmod_own, "f.bin"},
      {"netCDF", netcdf, "set lats close 1\n", true, change::chmod_own, "f.nc"},
      {"fwrite, a link", kFwriteSession, "disable fwrite\n", true, change::symlink, "f.bin"},
      {"hardcopy, a link", "enable print f.bin\n", "disable print\n", true, change::symlink,
       "f.bin"},
      {"netCDF, a link", netcdf, "set lats close 1\n", true, change::symlink, "f.nc"},
      {"fwrite, theirs in its place", kFwriteSession, "disable fwrite\n", true,
       change::put_in_place, "f.bin"},
      {"hardcopy, theirs in its place", "enable print f.bin\n", "disable print\n", true,
       change::put_in_place, "f.bin"},
      {"netCDF, theirs in its place", netcdf, "set lats close 1\n", true, change::put_in_place,
       "f.nc"},
      {"fwrite, a hard link", kFwriteSession, "disable fwrite\n", true, change::hard_link, "f.bin"},
      {"netCDF, a hard link", netcdf, "set lats close 1\n", true, change::hard_link, "f.nc"},
      {"fwrite, theirs under its inode number", kFwriteSession, "disable fwrite\n", true,
       change::reuse_inode, "f.bin"},
      {"hardcopy, theirs under its inode number", "enable print f.bin\n", "disable print\n", true,
       change::reuse_inode, "f.bin"},
      {"netCDF, theirs under its inode number", netcdf, "set lats close 1\n", true,
       change::reuse_inode, "f.nc"},
      {"GRIB, theirs under its inode number", grib, "set lats close 1\n", true, change::reuse_inode,
       "f.grb"},
  };
  const mode_t umask_was = umask(022);
  umask(umask_was);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    write_grid(dir);
    const bool shared =
        c.how == change::put_in_place || c.how == change::hard_link || c.how == change::reuse_inode;
    // Another member of the group makes their moves as nobody.
    const std::string other =
        shared && root ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    if (shared) {
      if (root) {
        ASSERT_EQ(chown(dir.path().c_str(), 0, kNogroup), 0);
      }
      ASSERT_EQ(chmod(dir.path().c_str(), 02775), 0);
    }
    const std::string file = dir.file(c.file);
    struct stat was {};
    if (c.old) {
      write_file(file, "old");
      if (shared) {
        ASSERT_EQ(chmod(file.c_str(), 0600), 0);
      }
      ASSERT_EQ(stat(file.c_str(), &was), 0);
    }
    std::string move;
    switch (c.how) {
      case change::chmod_own:
        move = std::string(c.old ? "" : "!echo theirs > f.bin\n") + "!chmod 600 " + c.file + "\n" +
               (root ? "!chown 65534:65534 " + c.file + "\n" : "");
        break;
      case change::symlink:
        move = "!echo theirs > s.prog\n!chmod 4755 s.prog\n!ln -sfn s.prog " + c.file + "\n";
        break;
      case change::put_in_place:
        move = "!" + other + "sh -c 'mv " + c.file + " old.was && echo theirs > " + c.file +
               " && chmod 666 " + c.file + "'\n";
        break;
      case change::hard_link:
        move = "!" + other + "sh -c 'echo theirs > s.prog && chmod 4755 s.prog && ln -f s.prog " +
               c.file + "'\n";
        break;
      case change::reuse_inode: {
        // Files are made until one gets the freed number (where the file
        // system gives it again, as ext4 does); theirs goes under the name
        // either way.
        const std::string ino = std::to_string(was.st_ino);
        move =
            "!" + other + "sh -c 'umask 077; rm " + c.file +
            "; for i in $(seq 1000); do echo theirs > t.$i; done; t=$(find . -name \"t.*\" -inum " +
            ino + "); mv ${t:-t.1} " + c.file + "; rm -f t.*'\n";
        break;
      }
    }
    if (shared) umask(077);
    RunResult r = run_batch(c.open + move + c.close, dir.path());
    umask(umask_was);
    struct stat st;
    ASSERT_EQ(lstat(file.c_str(), &st), 0);
    ASSERT_TRUE(S_ISREG(st.st_mode)) << r.out << r.err;
    EXPECT_NE(read_file(file), "old");
    EXPECT_NE(read_file(file), "theirs\n");
    if (c.how == change::chmod_own && c.old) {
      EXPECT_EQ(st.st_mode & 07777, 0600u) << r.out << r.err;
      if (root) {
        EXPECT_EQ(st.st_uid, kNobody);
        EXPECT_EQ(st.st_gid, kNogroup);
      }
    } else {
      // Nothing from the file under the name: the mode the output was opened
      // with (a new file's where none was there), the session's owner.
      const mode_t want = c.old ? was.st_mode & 07777 : 0666 & ~umask_was;
      EXPECT_EQ(st.st_mode & 07777, want) << r.out << r.err;
      EXPECT_EQ(st.st_uid, geteuid());
      if (shared) {
        // A new file's group in the project directory: the directory's.
        struct stat d;
        ASSERT_EQ(stat(dir.path().c_str(), &d), 0);
        EXPECT_EQ(st.st_gid, d.st_gid);
      }
    }
    if (c.how == change::symlink || c.how == change::hard_link) {
      EXPECT_EQ(read_file(dir.file("s.prog")), "theirs\n");
    }
    if (c.how == change::put_in_place) {
      EXPECT_EQ(read_file(dir.file("old.was")), "old");
    }
    EXPECT_EQ(staged_files(dir.path()), std::vector<std::string>{});
  }
}

// Runs fn in a child as the user nobody; true when it succeeded there.
bool as_nobody(const std::function<bool()>& fn) {
  pid_t pid = fork();
  if (pid == 0)
    _exit(setgroups(0, nullptr) == 0 && setgid(kNogroup) == 0 && setuid(kNobody) == 0 && fn() ? 0
                                                                                              : 1);
  int st = 0;
  waitpid(pid, &st, 0);
  return WIFEXITED(st) && WEXITSTATUS(st) == 0;
}

// In a directory others may write that has no sticky bit (a group project
// directory), another user who puts a file or a link of theirs under a
// staged file's name while the output is open does not get it placed: the
// session says so, naming the output, and the old files stay as they were.
TEST(OutputFiles, AStageReplacedByAnotherUserIsNotPlaced) {
  if (std::string why = cannot_run_as_nobody(); !why.empty()) GTEST_SKIP() << why;
  const struct {
    std::string what, open, close;
    std::vector<std::string> outputs;  // the old files, to be kept
    std::string stage;                 // the output whose stage is replaced
    bool link;                         // a link of theirs, else a file
    std::string said;
  } cases[] = {
      {"fwrite",
       kFwriteSession,
       "disable fwrite\n",
       {"f.bin"},
       "f.bin",
       false,
       "Error from fwrite:  write to f.bin failed"},
      {"fwrite, a link",
       kFwriteSession,
       "disable fwrite\n",
       {"f.bin"},
       "f.bin",
       true,
       "Error from fwrite:  write to f.bin failed"},
      {"hardcopy",
       "enable print f.bin\n",
       "disable print\n",
       {"f.bin"},
       "f.bin",
       false,
       "I/O Error writing to print metafile."},
      {"GRIB set, data",
       "set lats convention vemra_grib\n" + kLatsSession,
       "set lats close 1\n",
       {"x.grb", "x.ctl", "x.gmp"},
       "x.grb",
       false,
       "Replacing x.grb failed"},
      {"GRIB set, descriptor",
       "set lats convention vemra_grib\n" + kLatsSession,
       "set lats close 1\n",
       {"x.grb", "x.ctl", "x.gmp"},
       "x.ctl",
       true,
       "Replacing x.ctl failed"},
      {"GRIB",
       "set lats convention grib_only\n" + kLatsSession,
       "set lats close 1\n",
       {"x.grb"},
       "x.grb",
       false,
       "Replacing x.grb failed"},
      {"netCDF",
       "set lats convention coards\n" + kLatsSession,
       "set lats close 1\n",
       {"x.nc"},
       "x.nc",
       true,
       "Replacing x.nc failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    write_grid(dir);
    ASSERT_EQ(run_batch(c.open + c.close, dir.path()).status, 0);
    std::vector<std::string> old;
    for (const auto& n : c.outputs) old.push_back(read_file(dir.file(n)));
    ASSERT_FALSE(old[0].empty());
    write_file(dir.file("victim"), "precious");
    LiveSession s(dir, "session.out");
    ASSERT_TRUE(s.send(c.open + "q config\n"));
    ASSERT_TRUE(s.wait_for("Config:", 2)) << s.output();  // the banner has one
    std::string stage;
    for (const auto& n : staged_files(dir.path()))
      if (n.rfind("." + c.stage + ".", 0) == 0) stage = dir.file(n);
    ASSERT_FALSE(stage.empty()) << s.output();
    // Theirs, renamed over the stage as the user nobody.
    const std::string theirs = dir.file("theirs");
    EXPECT_TRUE(as_nobody([&] {
      if (c.link)
        return symlink(dir.file("victim").c_str(), theirs.c_str()) == 0 &&
               rename(theirs.c_str(), stage.c_str()) == 0;
      write_file(theirs, "another's 13");
      return rename(theirs.c_str(), stage.c_str()) == 0;
    }));
    ASSERT_TRUE(s.send(c.close + "quit\n"));
    EXPECT_EQ(s.finish(), 0);
    const std::string said = s.output();
    EXPECT_TRUE(contains(said, c.said)) << said;
    EXPECT_TRUE(contains(said, "was removed or replaced by another")) << said;
    for (size_t k = 0; k < c.outputs.size(); k++) {
      struct stat st;
      ASSERT_EQ(lstat(dir.file(c.outputs[k]).c_str(), &st), 0);
      EXPECT_TRUE(S_ISREG(st.st_mode)) << c.outputs[k];
      EXPECT_EQ(read_file(dir.file(c.outputs[k])), old[k]) << c.outputs[k];
    }
    EXPECT_EQ(read_file(dir.file("victim")), "precious");
  }
}

// Another user who may write the directory and exchanges a file of theirs
// with a stage after its check, right before its rename, does not get it
// taken for the session's output: the session says so, naming the file,
// and the command returns 1. A GRIB set, or a single GRIB or netCDF file,
// gets its old files back.
TEST(OutputFiles, AStageExchangedAsItIsPlacedIsSaid) {
  if (std::string why = cannot_run_as_nobody(); !why.empty()) GTEST_SKIP() << why;
  const struct {
    std::string what, open, close;
    std::string output;             // the one whose stage is exchanged
    std::vector<std::string> kept;  // old files given back
    std::string said;
    int exchanges = 1;      // made before the placing rename and the put-back's
    std::string left = "";  // the one the put-back cannot give back
  } cases[] = {
      {"fwrite",
       kFwriteSession,
       "disable fwrite",
       "f.bin",
       {},
       "Error from fwrite:  write to f.bin failed"},
      {"printim", "", "printim a.png", "a.png", {}, "Write error on a.png"},
      {"hardcopy",
       "enable print f.bin\n",
       "disable print",
       "f.bin",
       {},
       "I/O Error writing to print metafile."},
      {"GRIB set, data",
       "set lats convention vemra_grib\n" + kLatsSession,
       "set lats close 1",
       "x.grb",
       {"x.grb", "x.gmp", "x.ctl"},
       "Replacing x.grb failed"},
      {"GRIB set, descriptor",
       "set lats convention vemra_grib\n" + kLatsSession,
       "set lats close 1",
       "x.ctl",
       {"x.grb", "x.gmp", "x.ctl"},
       "Replacing x.ctl failed"},
      {"GRIB",
       "set lats convention grib_only\n" + kLatsSession,
       "set lats close 1",
       "x.grb",
       {"x.grb"},
       "Replacing x.grb failed"},
      {"netCDF",
       "set lats convention coards\n" + kLatsSession,
       "set lats close 1",
       "x.nc",
       {"x.nc"},
       "Replacing x.nc failed"},
      // A user who keeps exchanging their file with the index's stage meets
      // the put-back too: the new index goes back under the name, and the
      // set is said not to be whole.
      {"GRIB set, index, exchanged again as it is put back",
       "set lats convention vemra_grib\n" + kLatsSession,
       "set lats close 1",
       "x.gmp",
       {"x.grb", "x.ctl"},
       "Replacing x.gmp failed",
       2,
       "x.gmp"},
      // A single file left so is named too, and no old file is said kept.
      {"GRIB, exchanged again as it is put back",
       "set lats convention grib_only\n" + kLatsSession,
       "set lats close 1",
       "x.grb",
       {},
       "Replacing x.grb failed",
       2,
       "x.grb"},
      {"netCDF, exchanged again as it is put back",
       "set lats convention coards\n" + kLatsSession,
       "set lats close 1",
       "x.nc",
       {},
       "Replacing x.nc failed",
       2,
       "x.nc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    write_grid(dir);
    write_file(dir.file("close.gs"), "'" + c.close + "'\nsay 'rc=' rc\n");
    ASSERT_EQ(run_batch(c.open + c.close + "\n", dir.path()).status, 0);
    std::vector<std::string> old;
    for (const auto& n : c.kept) old.push_back(read_file(dir.file(n)));
    struct stat old_left {};
    if (!c.left.empty()) {
      ASSERT_EQ(stat(dir.file(c.left).c_str(), &old_left), 0);
    }
    const std::string theirs = dir.file("theirs");
    write_file(theirs, "another's 13");
    own(theirs, kNobody, kNogroup, 0644);
    RunResult r = run_batch(c.open + "run close.gs\n", dir.path(), {},
                            {"EXCHANGE_BEFORE_RENAME=65534 " + c.output + " " + theirs + " " +
                                 std::to_string(c.exchanges),
                             std::string("LD_PRELOAD=") + VEMRA_MOVE_AS_OTHER_USER,
                             "ASAN_OPTIONS=verify_asan_link_order=0"});
    // The exchange was made: the session's data lie under their name.
    EXPECT_NE(read_file(theirs), "another's 13");
    const std::string said = r.out + r.err;
    EXPECT_TRUE(contains(said, c.said)) << said;
    EXPECT_TRUE(contains(said, "was exchanged for another's as it was placed")) << said;
    EXPECT_TRUE(contains(said, c.output + " is not the file written")) << said;
    EXPECT_TRUE(contains(r.out, "rc=1\n")) << r.out;
    for (size_t k = 0; k < c.kept.size(); k++)
      EXPECT_EQ(read_file(dir.file(c.kept[k])), old[k]) << c.kept[k];
    // Old files are said to be kept only where all of the set's are.
    EXPECT_EQ(contains(said, "the old files are kept"), c.kept.size() == 3) << said;
    EXPECT_EQ(contains(said, "the old file is kept"), c.kept.size() == 1) << said;
    if (c.left.empty()) {
      EXPECT_FALSE(contains(said, "not put back")) << said;
      continue;
    }
    // The same data give the same index: the file itself is another.
    struct stat now;
    ASSERT_EQ(stat(dir.file(c.left).c_str(), &now), 0);
    EXPECT_NE(now.st_ino, old_left.st_ino);
    EXPECT_TRUE(contains(said, "/" + c.left + " was not put back")) << said;
    EXPECT_EQ(contains(said, "the set is not whole"), c.what.rfind("GRIB set", 0) == 0) << said;
  }
}

// A file appended to (writegds) or written in place (one with several
// links) is checked once it is open, not by its name before: another user
// who puts a link of theirs, or a file of theirs, under the name right
// before the open gets nothing written to it, and the output says why.
TEST(OutputFiles, FilesAppendedToOrWrittenInPlaceAreCheckedOnceOpen) {
  if (std::string why = cannot_run_as_nobody(); !why.empty()) GTEST_SKIP() << why;
  const struct {
    std::string what, input, name;
    bool link;  // theirs is a link to the victim, else a file of theirs
    std::string said;
  } cases[] = {
      {"writegds", "open d.ctl\nset gxout writegds\nset writegds -f w.gds\nd v\n", "w.gds", true,
       "error: WRITEGDS unable to open w.gds for write\n  Permission denied\n"},
      {"fwrite in place", "open d.ctl\nset fwrite f.bin\nset gxout fwrite\nd v\ndisable fwrite\n",
       "f.bin", false, "was removed or replaced by another as it was opened"},
      {"printim in place", "printim f.bin\n", "f.bin", false,
       "was removed or replaced by another as it was opened"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    write_grid(dir);
    write_file(dir.file("victim"), "precious");
    if (!c.link) {
      write_file(dir.file(c.name), "old");
      ASSERT_EQ(link(dir.file(c.name).c_str(), dir.file("second").c_str()), 0);
    }
    const std::string theirs = dir.file("theirs");
    if (c.link) {
      ASSERT_EQ(symlink(dir.file("victim").c_str(), theirs.c_str()), 0);
      ASSERT_EQ(lchown(theirs.c_str(), kNobody, kNogroup), 0);
    } else {
      write_file(theirs, "theirs");
      own(theirs, kNobody, kNogroup, 0666);
    }
    RunResult r = run_batch(c.input, dir.path(), {},
                            {"MOVE_BEFORE_OPEN=65534 " + c.name + " " + theirs,
                             std::string("LD_PRELOAD=") + VEMRA_MOVE_AS_OTHER_USER,
                             "ASAN_OPTIONS=verify_asan_link_order=0"});
    EXPECT_FALSE(file_exists(theirs));  // the move was made
    EXPECT_TRUE(contains(r.out, c.said)) << r.out;
    EXPECT_EQ(read_file(dir.file("victim")), "precious");
    if (!c.link) {
      EXPECT_EQ(read_file(dir.file(c.name)), "theirs");
      EXPECT_EQ(read_file(dir.file("second")), "old");
    }
  }
}

// A pipe with no reader is refused by the hardcopy file (which seeks back)
// and waited for by images and fwrite (a pipeline's input) until a reader
// comes or Ctrl-C; the session goes on.
TEST(OutputFiles, PipesWithoutAReaderDoNotHangTheSession) {
  TempDir dir;
  write_grid(dir);
  ASSERT_EQ(mkfifo(dir.file("p").c_str(), 0600), 0);
  LiveSession s(dir, "session.out");
  // Ctrl-C once the program waits for the pipe's reader, then the session
  // goes on past the failed command.
  auto interrupt_the_wait = [&](const std::string& failed) {
    ASSERT_TRUE(wait_until_waiting(s.pid, waits::pipe)) << s.output();
    kill(s.pid, SIGINT);
    ASSERT_TRUE(s.wait_for(failed)) << s.output();
  };
  ASSERT_TRUE(s.send("enable print p\nprintim p\n"));
  interrupt_the_wait("PRINTIM error:  open error\n");
  ASSERT_TRUE(s.send("open d.ctl\nset fwrite p\nset gxout fwrite\nd v\n"));
  interrupt_the_wait("DISPLAY error:  interrupted\n");
  ASSERT_TRUE(s.send("!(cat p > got.dat) &\nd v\ndisable fwrite\nq config\nquit\n"));
  RunResult r{s.finish(), s.output(), ""};
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(answer(r.out, "enable print p"),
            "Error opening meta file p \n  it is not a regular file\n");
  EXPECT_EQ(answer(r.out, "printim p"),
            "Open error on p\n  interrupted while waiting for a reader\n"
            "PRINTIM error:  open error\n");
  size_t at = 0;
  EXPECT_EQ(next_answer(r.out, "d v", &at),
            "Error opening output file for fwrite\n  File name is: p\n"
            "  interrupted while waiting for a reader\nDISPLAY error:  interrupted\n");
  EXPECT_EQ(next_answer(r.out, "d v", &at), "Wrote 4 elements to p as Stream Big_Endian\n");
  EXPECT_EQ(count_of(r.out, "Config: v"), 2u);
  // The reader got the grid once the file was closed.
  for (int i = 0; i < 200 && read_file(dir.file("got.dat")).size() < 16; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(read_file(dir.file("got.dat")), std::string(16, '\0'));
}

// A replaced file keeps its extended attributes and its ACL, by every
// output: the user named in the ACL may still write it and the owning group
// still may not (the ACL's mask is no group right). Where the attributes
// cannot be given to a new file, the old file is written in place.
TEST(OutputFiles, ReplacementKeepsExtendedAttributesAndTheAcl) {
  TempDir dir;
  write_grid(dir);
  write_file(dir.file("probe"), "");
  if (setxattr(dir.file("probe").c_str(), "user.probe", "1", 1, 0) != 0)
    GTEST_SKIP() << "the scratch file system takes no extended attributes: " << strerror(errno);
  const std::string acl = collaborator_acl();
  if (setxattr(dir.file("probe").c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0))
    GTEST_SKIP() << "the scratch file system takes no ACL: " << strerror(errno);
  const std::string lats =
      "open d.ctl\nset lats convention coards\nset lats frequency monthly\nset lats create out\n"
      "set gxout latsgrid\nd v\nset lats var 1 ta instant 1 0\nset gxout latsdata\n"
      "set lats write 1 1 0\nd v\nset lats close 1\n";
  struct output_case {
    const char* what;
    std::string file, commands;
    bool refuse_attributes;  // fsetxattr fails: written in place
  };
  const std::vector<output_case> cases = {
      {"image", "a.png", "printim a.png\n", false},
      {"fwrite", "a.dat", "open d.ctl\nset fwrite a.dat\nset gxout fwrite\nd v\ndisable fwrite\n",
       false},
      {"hardcopy", "a.meta", "enable print a.meta\ndisable print\n", false},
      {"netCDF", "out.nc", lats, false},
      {"image, attributes refused", "a.png", "printim a.png\n", true},
      {"fwrite, attributes refused", "a.dat",
       "open d.ctl\nset fwrite a.dat\nset gxout fwrite\nd v\ndisable fwrite\n", true},
  };
  for (const output_case& c : cases) {
    const std::string file = dir.file(c.file);
    write_file(file, "old");
    own(file, 0, 0, 0640);
    const std::string origin = "survey 7";
    ASSERT_EQ(setxattr(file.c_str(), "user.origin", origin.data(), origin.size(), 0), 0);
    ASSERT_EQ(setxattr(file.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0), 0);
    const auto before = attributes_of(file);
    ASSERT_EQ(before.size(), 2u);
    struct stat was, now;
    ASSERT_EQ(stat(file.c_str(), &was), 0);
    RunResult r = c.refuse_attributes
                      ? run_batch_failing({SYS_fsetxattr}, EOPNOTSUPP, c.commands, dir.path())
                      : run_batch(c.commands, dir.path());
    EXPECT_EQ(r.status, 0) << c.what;
    EXPECT_NE(read_file(file), "old") << c.what << "\n" << r.out;
    EXPECT_EQ(attributes_of(file), before) << c.what;
    ASSERT_EQ(stat(file.c_str(), &now), 0);
    EXPECT_EQ(now.st_mode & 07777, was.st_mode & 07777) << c.what;
    if (c.refuse_attributes) {
      EXPECT_EQ(now.st_ino, was.st_ino) << c.what;
    }
    EXPECT_TRUE(staged_files(dir.path()).empty()) << c.what;
  }
}

// A small file system of its own, filled up to about `room` bytes; why it
// could not be had in why.
struct full_disk {
  std::string path, why;
  full_disk(const std::string& at, const std::string& old_file, const std::string& old, size_t room)
      : path(at) {
    if (geteuid() != 0) {
      why = "not root: cannot mount a small file system";
      return;
    }
    mkdir(path.c_str(), 0755);
    if (mount("tmpfs", path.c_str(), "tmpfs", 0, "size=256k") != 0) {
      why = std::string("cannot mount a small file system: ") + strerror(errno);
      path.clear();
      return;
    }
    write_file(path + "/" + old_file, old);
    const std::string filler = path + "/filler";
    FILE* f = fopen(filler.c_str(), "wb");
    const std::string block(4096, 'f');
    while (f && fwrite(block.data(), 1, block.size(), f) == block.size() && fflush(f) == 0) {
    }
    if (f) fclose(f);
    struct stat st;
    if (stat(filler.c_str(), &st) != 0 || truncate(filler.c_str(), st.st_size - off_t(room)) != 0)
      why = "cannot fill the small file system";
  }
  ~full_disk() {
    if (!path.empty()) umount2(path.c_str(), MNT_DETACH);
  }
};

// A file with two links written in place is never left cut short under
// either name: a size limit, a full disk or a signal that ends the session
// mid-write puts its old contents back (kept aside beside it, or in the
// temporary directory, and removed after), and the message says the
// system's reason; where no copy can be kept it is not written at all.
TEST(OutputFiles, FilesWrittenInPlaceGetTheirOldContentsBack) {
  TempDir dir, tmp;
  write_file(dir.file("big.ctl"),
             "dset ^big.dat\nundef -9e33\nxdef 128 linear 0 1\nydef 128 linear 0 1\n"
             "zdef 1 linear 1 1\ntdef 1 linear jan2000 1mo\nvars 1\nv 0 0 v\nendvars\n");
  write_file(dir.file("big.dat"), std::string(4 * 128 * 128, '\0'));
  const std::string fwrite_to = "open big.ctl\nset gxout fwrite\nset fwrite ";
  enum class fault { size_limit, full_disk, term_signal };
  struct in_place_case {
    const char* what;
    fault how;
    std::string file, old, commands;
    std::vector<std::pair<std::string, std::string>> answers;  // command, what it says
  };
  const std::string old_image(3000, 'o');
  const std::vector<in_place_case> cases = {
      {"image under a size limit",
       fault::size_limit,
       "a.png",
       "old",
       "printim a.png gif x 3000 y 3000\n",
       {{"printim a.png gif x 3000 y 3000",
         "Write error on a.png\n  File too large; written in place because it has several "
         "links\nPRINTIM error:  output error\n"}}},
      {"fwrite under a size limit",
       fault::size_limit,
       "a.dat",
       "old",
       fwrite_to + "a.dat\nd v\ndisable fwrite\n",
       {{"d v",
         "Error from fwrite:  write to a.dat failed\n  File too large; written in place because "
         "it has several links\n"},
        {"disable fwrite",
         "Error from fwrite:  write to a.dat failed\n  File too large; written in place because "
         "it has several links\n"}}},
      {"old contents over the size limit",
       fault::size_limit,
       "a.png",
       std::string(6000, 'o'),
       "printim a.png\n",
       {{"printim a.png",
         "Open error on a.png\n  no copy of it could be kept to write it in place (it has "
         "several links): File too large\nPRINTIM error:  open error\n"}}},
      {"fwrite on a full disk",
       fault::full_disk,
       "disk/a.dat",
       old_image,
       fwrite_to + "disk/a.dat\nd v\ndisable fwrite\n",
       {{"disable fwrite",
         "Error from fwrite:  write to disk/a.dat failed\n  No space left on device; written in "
         "place because it has several links\n"}}},
      {"fwrite ended by a signal",
       fault::term_signal,
       "a.dat",
       "old",
       fwrite_to + "a.dat\nd v\n",
       {}},
      {"hardcopy ended by a signal",
       fault::term_signal,
       "a.meta",
       "old",
       "enable print a.meta\ndraw rec 1 1 2 2\nprint\n",
       {}},
  };
  std::string skipped;
  for (const in_place_case& c : cases) {
    const std::string file = dir.file(c.file), other = file + ".link";
    std::unique_ptr<full_disk> disk;
    if (c.how == fault::full_disk) {
      disk = std::make_unique<full_disk>(dir.file("disk"), "a.dat", c.old, 6 * 4096);
      if (!disk->why.empty()) {
        skipped = c.what + std::string(" skipped: ") + disk->why;
        continue;
      }
    } else {
      write_file(file, c.old);
    }
    ASSERT_EQ(link(file.c_str(), other.c_str()), 0) << c.what;
    const std::vector<std::string> env = {"TMPDIR=" + tmp.path()};
    RunResult r;
    if (c.how == fault::size_limit) {
      r = run_batch_after(
          [] {
            rlimit lim{4096, 4096};
            return setrlimit(RLIMIT_FSIZE, &lim) == 0;
          },
          c.commands, dir.path(), env);
    } else if (c.how == fault::term_signal) {
      setenv("TMPDIR", tmp.path().c_str(), 1);
      LiveSession s(dir, c.file + ".out");
      unsetenv("TMPDIR");
      ASSERT_TRUE(s.send(c.commands + "q config\n"));
      ASSERT_TRUE(s.wait_for("Config: ", 2)) << c.what << "\n" << s.output();
      EXPECT_NE(read_file(file), c.old) << c.what << "\n" << s.output();  // caught mid-write
      kill(s.pid, SIGTERM);
      EXPECT_EQ(s.finish(), 128 + SIGTERM) << c.what;
    } else {
      r = run_batch(c.commands, dir.path(), {}, env);
    }
    for (const auto& [cmd, want] : c.answers) EXPECT_EQ(answer(r.out, cmd), want) << c.what;
    EXPECT_EQ(read_file(file), c.old) << c.what;
    EXPECT_EQ(read_file(other), c.old) << c.what;
    EXPECT_TRUE(staged_files(std::filesystem::path(file).parent_path()).empty()) << c.what;
    EXPECT_TRUE(staged_files(tmp.path()).empty()) << c.what;
    unlink(other.c_str());
  }
  if (!skipped.empty()) GTEST_SKIP() << skipped;
}

// A writegds display that fails part-way (a bad structure, a size limit, an
// interrupt, a signal that ends the session mid-write) appends nothing: the
// file is cut back to its length before the display, so that every reader
// finds whole records, and the displays before it keep theirs. The signals
// come once the stream's buffer has reached the file, which then ends
// somewhere in a record.
TEST(OutputFiles, WritegdsFilesAlwaysEndOnAWholeRecord) {
  const rlim_t limit = 65536;
  struct gds_case {
    const char* what;
    std::string commands;  // after the set-up
    std::string signals;   // SIGNAL_MID_WRITE, "" for none
    rlim_t fsize;          // a size limit, 0 for none
    size_t old_size;
    int status;
    int displays_kept;
    const char* said;
  };
  const std::vector<gds_case> cases = {
      {"a structure error", "d ps;ps(t=2)\n", "", 0, 3, 0, 0, "error: bad structure in result"},
      {"a structure error after a whole display", "d ps\nd ps;ps(t=2)\n", "", 0, 3, 0, 1,
       "error: bad structure in result"},
      {"a size limit", "d ps\n", "", limit, limit - 20, 0, 0, "File too large"},
      {"SIGTERM", "d ps\n", "15 .gds 1", 0, 3, 128 + SIGTERM, 0, ""},
      {"SIGHUP", "d ps\n", "1 .gds 1", 0, 3, 128 + SIGHUP, 0, ""},
      {"a second Ctrl-C", "d ps\n", "2 .gds 2", 0, 3, 0, 0, ""},
      {"one Ctrl-C", "d ps\n", "2 .gds 1", 0, 3, 0, 0,
       "error: WRITEGDS interrupted; nothing appended to w.gds\nDISPLAY error:  interrupted\n"},
  };
  const std::string setup = "open s.ctl\nset gxout writegds\nset writegds w.gds\n";
  auto stations = [](const TempDir& dir) {
    stnw::dataset ds;
    ds.surface_vars = {"ps"};
    ds.times.resize(2);
    for (int t = 0; t < 2; ++t)
      for (int i = 0; i < 300; ++i)
        ds.times[size_t(t)].push_back(stnw::surface_report("S" + std::to_string(i), float(i % 90),
                                                           float(i), {1000.0f + float(i + t)}));
    stnw::write(dir.path(), "s", ds);
  };
  // What one whole display appends (longer than a stream's buffer).
  TempDir ref;
  stations(ref);
  ASSERT_EQ(run_batch(setup + "d ps\n", ref.path()).status, 0);
  const std::string display = read_file(ref.file("w.gds"));
  ASSERT_GT(display.size(), 8192u);
  for (const gds_case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    stations(dir);
    const std::string old(c.old_size, 'o');
    write_file(dir.file("w.gds"), old);
    std::vector<std::string> env;
    if (!c.signals.empty())
      env = {"SIGNAL_MID_WRITE=" + c.signals, std::string("LD_PRELOAD=") + VEMRA_SIGNAL_MID_WRITE,
             "ASAN_OPTIONS=verify_asan_link_order=0"};
    RunResult r;
    if (c.fsize)
      r = run_batch_after(
          [&c] {
            rlimit lim{c.fsize, c.fsize};
            return setrlimit(RLIMIT_FSIZE, &lim) == 0;
          },
          setup + c.commands, dir.path());
    else
      r = run_batch(setup + c.commands, dir.path(), {}, env);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, c.said)) << r.out;
    std::string want = old;
    for (int k = 0; k < c.displays_kept; k++) want += display;
    const std::string now = read_file(dir.file("w.gds"));
    EXPECT_TRUE(now == want) << now.size() << " bytes, not " << want.size();
    EXPECT_FALSE(contains(r.out, "WRITEGDS: 300 reports x 1 vars written as 300 records") &&
                 c.displays_kept == 0)
        << r.out;
    EXPECT_TRUE(staged_files(dir.path()).empty());
  }
}

}  // namespace

namespace {

// A reader of the pipe that takes 4 bytes and goes, as "head -c 4" does. The
// pipe holds one page only, so a larger output outlasts the reader.
pid_t start_short_reader(const std::string& fifo) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  alarm(20);
  const int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0 || fcntl(fd, F_SETPIPE_SZ, 4096) < 0) _exit(1);
  char buf[4];
  for (size_t got = 0; got < 4;) {
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, -1);
    const ssize_t n = read(fd, buf + got, 4 - got);
    if (n == 0) _exit(2);
    if (n > 0) got += size_t(n);
  }
  _exit(0);
}

// Every output that may be a pipe: when the pipe's reader goes before the
// output is done, the write fails with the file's name and the system's
// reason, and the session goes on.
TEST(OutputFiles, APipeWhoseReaderGoesFailsTheWriteNotTheSession) {
  const std::string big = "open d.ctl\nset x 1 360\nset y 1 181\nset t 1\n";
  const std::string daily =
      big + "set lats frequency daily\nset lats deltat 1\nset lats convention grib_only\n";
  const std::string grid = "set gxout latsgrid\nd t\nset gxout latsdata\n";
  struct broken_case {
    const char* what;
    std::string fifo, log;
    std::string first;  // the pipe's reader has gone after these
    std::string then;
    std::string want;
  };
  const broken_case cases[] = {
      {"fwrite", "p", "", big + "set fwrite p\nset gxout fwrite\nd t\n", "disable fwrite\n",
       "ka-> d t\nError from fwrite:  write to p failed\n  Broken pipe\n"},
      {"printim", "p", "", big + "set gxout shaded\nd t\nprintim p\n", "",
       "ka-> printim p\nWrite error on p\n  Broken pipe\nPRINTIM error:  output error\n"},
      {"writegds", "p", "", "open s.ctl\nset writegds p\nset gxout writegds\nd ps\n", "",
       "error: WRITEGDS write to p failed\n  Broken pipe\n"},
      {"GRIB output", "p.grb", "",
       daily + "set lats create p\n" + grid +
           "set lats var 1 tas average 1 0\nset lats write 1 1\nd t\n",
       "set lats close 1\n", "Writing a message to p.grb failed: Broken pipe\n"},
      {"quality-control log", "log.fifo", "log.fifo",
       daily + "set lats parmtab qc.tab\nset lats create q\nset lats vertdim plev 1000\n" + grid +
           "set lats var 1 ta instant 1 1\nset lats write 1 1 1000\nd t\n",
       "set t 2\nd t\nset lats close 1\n",
       "Writing log file log.fifo failed: Broken pipe; quality-control lines are lost\n"},
      {"script write()", "p", "", "run w.gs\n", "",
       "Error in write:  write failed\n  File name = p\n  Broken pipe\nwrite gave 9\n"},
  };
  // A session that ended fails the test's own writes to it instead of ending
  // the test; a caught signal (unlike an ignored one) is not passed on to
  // the program.
  struct sigaction quiet {
  }, was{};
  quiet.sa_handler = [](int) {};
  sigaction(SIGPIPE, &quiet, &was);
  for (const broken_case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    latsfiles::write_dataset(dir, 360, 181, -90, 1, 1);
    write_file(dir.file("qc.tab"), latsfiles::kQcTable);
    write_file(dir.file("w.gs"),
               "i = 0\nwhile (i < 1000)\n  rc = write('p', 'a record of some forty characters')\n"
               "  if (rc != 0); say 'write gave 'rc; break; endif\n  i = i + 1\nendwhile\n");
    stnw::dataset ds;
    ds.surface_vars = {"ps"};
    ds.times.emplace_back();
    for (int i = 0; i < 300; ++i)
      ds.times[0].push_back(stnw::surface_report("S" + std::to_string(i), float(i % 90), float(i),
                                                 {1000.0f + float(i)}));
    stnw::write(dir.path(), "s", ds);
    ASSERT_EQ(mkfifo(dir.file(c.fifo).c_str(), 0600), 0);
    const pid_t reader = start_short_reader(dir.file(c.fifo));
    if (!c.log.empty()) setenv("LATS_LOG", c.log.c_str(), 1);
    LiveSession s(dir, "session.out");
    unsetenv("LATS_LOG");
    EXPECT_TRUE(s.send(c.first));
    int st = -1;
    waitpid(reader, &st, 0);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << st;
    s.send(c.then + "q config\nquit\n");
    EXPECT_EQ(s.finish(), 0);
    const std::string out = s.output();
    EXPECT_TRUE(contains(out, c.want)) << out.substr(out.size() > 3000 ? out.size() - 3000 : 0);
    EXPECT_EQ(count_of(out, "Config: v"), 2u);
  }
  sigaction(SIGPIPE, &was, nullptr);

  // Standard output's reader going still ends the session by the signal,
  // before the commands after.
  TempDir dir;
  std::string input;
  for (int i = 0; i < 2000; ++i) input += "q config\n";
  write_file(dir.file("cmds"), input + "printim late.png\n");
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t pid = fork();
  if (pid == 0) {
    const int in = open(dir.file("cmds").c_str(), O_RDONLY);
    dup2(in, 0);
    dup2(fds[1], 1);
    close(fds[0]);
    alarm(20);
    exec_vemra(dir.path(), {"-b", "-l"});
  }
  close(fds[1]);
  char head[100];
  EXPECT_GT(read(fds[0], head, sizeof head), 0);
  close(fds[0]);
  int st = 0;
  waitpid(pid, &st, 0);
  EXPECT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == SIGPIPE) << st;
  EXPECT_FALSE(file_exists(dir.file("late.png")));
}

}  // namespace

// A link another user owns in a directory others may write (a plant in
// /tmp, or in a group's project directory, sticky or not) is not followed by
// any output, as the output's name or as a directory on the way, also where
// the output does not exist yet: the file it names stays as it was (or is
// not made) and the message names the output and the system's reason. The
// user's own link there is followed as before.
TEST(OutputFiles, LinksPlantedInASharedDirectoryAreNotFollowed) {
  if (geteuid() != 0) GTEST_SKIP() << "not root: cannot give a link to another user";
  TempDir home;
  write_grid(home);
  const struct {
    const char* name;     // the output, in the shared directory; "d/..." goes through a link d
    const char* target;   // the file in home that the link names
    const char* command;  // writes the output; %s is its path
    uid_t owner;
    mode_t dir_mode;
    bool followed;
  } cases[] = {
      {"i.png", "victim", "printim %s\n", kNobody, 01777, false},
      {"f.bin", "victim", "set fwrite %s\nset gxout fwrite\nd v\ndisable fwrite\n", kNobody, 01777,
       false},
      {"h.gm", "victim", "enable print %s\nprint\ndisable print\n", kNobody, 01777, false},
      {"g.grb", "victim",
       "set lats frequency monthly\nset lats deltat 1\nset lats create %s\nset gxout latsgrid\nd "
       "v\nset lats var 1 tas average 1 0\n"
       "set gxout latsdata\nset lats write 1 1\nd v\nset lats close 1\n",
       kNobody, 01777, false},
      {"d/victim", "victim", "printim %s\n", kNobody, 01777, false},
      {"i.png", "victim", "printim %s\n", 0, 01777, true},
      {"i.png", "victim", "printim %s\n", kNobody, 0777, false},
      {"i.png", "victim", "printim %s\n", kNobody, 02775, false},
      {"d/x.png", "x.png", "printim %s\n", kNobody, 01777, false},
      {"d/z.meta", "z.meta", "enable print %s\nprint\ndisable print\n", kNobody, 01777, false},
      {"d/g.gds", "g.gds", "set gxout writegds\nset writegds -f %s\nd v\n", kNobody, 02775, false},
      {"w.gds", "victim", "set gxout writegds\nset writegds -f %s\nd v\n", kNobody, 0777, false},
      {"n.bin", "n.bin", "set fwrite %s\nset gxout fwrite\nd v\ndisable fwrite\n", kNobody, 0770,
       false},
  };
  for (const auto& c : cases) {
    TempDir shared;
    ASSERT_EQ(chmod(shared.path().c_str(), c.dir_mode), 0);
    const std::string victim = home.file(c.target), link = shared.file(c.name);
    const bool precious = std::string(c.target) == "victim";
    if (precious) write_file(victim, "precious");
    const bool through_dir = std::string(c.name).rfind("d/", 0) == 0;
    const std::string planted = through_dir ? shared.file("d") : link;
    ASSERT_EQ(symlink((through_dir ? home.path() : victim).c_str(), planted.c_str()), 0);
    ASSERT_EQ(lchown(planted.c_str(), c.owner, kNogroup), 0);
    char command[512];
    std::snprintf(command, sizeof command, c.command, link.c_str());
    RunResult r = run_batch("open d.ctl\nd v\n" + std::string(command), home.path());
    SCOPED_TRACE(std::string(c.name) + " owner " + std::to_string(c.owner) + " mode " +
                 std::to_string(c.dir_mode));
    if (c.followed) {
      EXPECT_TRUE(is_png(victim));
      continue;
    }
    if (precious)
      EXPECT_EQ(read_file(victim), "precious");
    else
      EXPECT_FALSE(file_exists(victim));
    // The writer's messages go to standard error.
    const std::string said = r.out + r.err;
    EXPECT_TRUE(contains(said, link)) << said;
    EXPECT_TRUE(contains(said, "Permission denied")) << said;
    EXPECT_TRUE(staged_files(shared.path()).empty());
    EXPECT_TRUE(staged_files(home.path()).empty());
  }
}

// Two sessions writing one file in place (it has several links) at once take
// turns: the second waits until the first has written its whole output, so
// the file ends up as the second one's whole output, never the first one's
// records over the second one's.
TEST(OutputFiles, SessionsWritingOneFileInPlaceTakeTurns) {
  const struct {
    const char* name;
    std::string first;   // opens the output and writes part of it
    std::string second;  // writes a longer output whole
    std::string rest;    // ends the first session's output
  } cases[] = {
      {"f.bin", "set fwrite f.bin\nset gxout fwrite\nd v+1\n",
       "set fwrite f.bin\nset gxout fwrite\nd v+2\nd v+2\nd v+2\ndisable fwrite\n",
       "d v+1\ndisable fwrite\n"},
      // Without the time stamp, whose digits (strokes) change with the minute.
      {"h.gm", "set timelab off\nenable print h.gm\nd v+1\nprint\n",
       "set timelab off\nenable print h.gm\nd v+2\nprint\nd v+2\nprint\nd v+2\nprint\n"
       "disable print\n",
       "disable print\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir alone, dir;
    write_grid(alone);
    write_grid(dir);
    ASSERT_EQ(run_batch("open d.ctl\n" + c.second, alone.path()).status, 0);
    const std::string whole = read_file(alone.file(c.name));
    ASSERT_FALSE(whole.empty());
    write_file(dir.file(c.name), "old");
    ASSERT_EQ(link(dir.file(c.name).c_str(), dir.file("other").c_str()), 0);

    LiveSession first(dir, "first.out"), second(dir, "second.out");
    ASSERT_TRUE(first.send("open d.ctl\n" + c.first + "q dims\n"));
    ASSERT_TRUE(first.wait_for("ka-> q dims"));
    ASSERT_TRUE(second.send("open d.ctl\n" + c.second + "q dims\n"));
    // The second is held at the first's lock (it says so after a second of
    // waiting) for as long as the first keeps the file open.
    const std::string held = std::string(c.name) + ": another process holds it\n";
    ASSERT_TRUE(second.wait_for(held)) << second.output();
    EXPECT_FALSE(contains(second.output(), "ka-> q dims")) << second.output();
    ASSERT_TRUE(first.send(c.rest + "quit\n"));
    EXPECT_EQ(first.finish(), 0);
    EXPECT_TRUE(second.wait_for("ka-> q dims")) << second.output();
    ASSERT_TRUE(second.send("quit\n"));
    EXPECT_EQ(second.finish(), 0);
    const std::string now = read_file(dir.file(c.name));
    EXPECT_TRUE(now == whole) << "not the second session's whole output: " << now.size()
                              << " bytes, not " << whole.size();
    EXPECT_EQ(read_file(dir.file("other")), now);
    EXPECT_TRUE(staged_files(dir.path()).empty());
  }
}

// A writer held up by another process's lock (a reader's shared lock of a
// GRIB set's descriptor, of its directory, of a file written in place or of
// a station file appended to), or an open of a set whose descriptor another
// holds exclusively (a writer stopped while placing), says so once after
// about a second, naming the file, and waits on. The first Ctrl-C gives the
// output or the open up with the old files kept and the session going on;
// an ending signal while it waits leaves everything as before; a lock let
// go lets the output or the open through.
TEST(OutputFiles, WaitsForAnotherProcesssLockAreSaid) {
  enum class then { interrupt, terminate, let_go };
  const std::string fwrite_out =
      "open d.ctl\nset x 1 2\nset y 1 2\nset fwrite f.bin\nset gxout fwrite\nd t\n";
  const std::string grib_out =
      latsfiles::declare("out", "set lats convention vemra_grib\n") + "d t\nset lats close 1\n";
  const std::string gds_out =
      "open s.ctl\nset lon -180 0\nset lat 0 90\nset gxout writegds\nset writegds w.gds\nd ps\n";
  // A user function's transfer file, which another session's call holds.
  const std::string udf_out = "open d.ctl\nset x 1\nset y 1\nd udbl(t)\n";
  const struct {
    const char* what;
    std::string commands;
    const char* locked;  // what another process holds shared ("." the directory)
    const char* said;    // the file the wait names
    then how;
    const char* after;  // what the output says then
    int op = LOCK_SH;   // how the other process holds it
  } cases[] = {
      {"a file written in place", fwrite_out, "f.bin", "f.bin", then::interrupt,
       "interrupted while waiting for another session writing it"},
      {"a file written in place, let go", fwrite_out + "disable fwrite\n", "f.bin", "f.bin",
       then::let_go, "Wrote 4 elements to f.bin"},
      {"a set's descriptor", grib_out, "out.ctl", "out.ctl", then::interrupt,
       "Writing out.grb failed: interrupted while waiting for another process; the old files "
       "are kept"},
      {"a set's directory", grib_out, ".", "the directory of out.grb", then::interrupt,
       "Writing out.grb failed: interrupted while waiting for another process; the old files "
       "are kept"},
      {"a set's descriptor, ended", grib_out, "out.ctl", "out.ctl", then::terminate, ""},
      {"a station file", gds_out, "w.gds", "w.gds", then::interrupt,
       "error: WRITEGDS unable to open w.gds for write\n"
       "  interrupted while waiting for another process\n"},
      {"a user function's transfer file", udf_out, "t.bin", "t.bin", then::interrupt,
       "Interrupted while waiting for the transfer file"},
      {"an open of a set", "open out.ctl\n", "out.ctl", "out.ctl", then::interrupt,
       "Open Error:  Interrupted while the description file was read\n"
       "  The data file was not opened. \n",
       LOCK_EX},
      {"an open of a set, let go", "open out.ctl\n", "out.ctl", "out.ctl", then::let_go,
       "out.grb is open as file 1\n", LOCK_EX},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    latsfiles::write_dataset(dir);
    write_file(dir.file("udft"), std::string("udbl 1 1 expr\ndirect\n") + VEMRA_UDF_DOUBLE + " " +
                                     dir.file("t.bin") + " " + dir.file("r.bin") + " direct\n" +
                                     dir.file("t.bin") + "\n" + dir.file("r.bin") + "\n");
    write_file(dir.file("t.bin"), "");
    setenv("KAUDFT", dir.file("udft").c_str(), 1);
    stnw::dataset ds;
    ds.surface_vars = {"ps"};
    ds.times = {{stnw::surface_report("KDEN", 39.75f, -104.875f, {830})}};
    stnw::write(dir.path(), "s", ds);
    // The old outputs: a set, a file with two links, a station file.
    ASSERT_EQ(run_batch(grib_out, dir.path()).status, 0);
    write_file(dir.file("f.bin"), "old");
    ASSERT_EQ(link(dir.file("f.bin").c_str(), dir.file("other").c_str()), 0);
    write_file(dir.file("w.gds"), "old");
    const char* kept[] = {"out.grb", "out.ctl", "out.gmp", "f.bin", "w.gds"};
    std::map<std::string, std::string> before;
    for (const char* f : kept) before[f] = read_file(dir.file(f));
    const int held = open(dir.file(c.locked).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, c.op), 0);

    LiveSession s(dir, "session.out");
    ASSERT_TRUE(s.send(c.commands));
    const std::string waiting = "Waiting for ";
    ASSERT_TRUE(s.wait_for(": another process holds it\n")) << s.output();
    EXPECT_TRUE(contains(s.output(), waiting)) << s.output();
    EXPECT_TRUE(contains(s.output(), std::string(c.said) + ": another process holds it\n"))
        << s.output();
    ASSERT_TRUE(wait_until_waiting(s.pid, waits::timer)) << s.output();
    if (c.how == then::let_go)
      close(held);
    else
      kill(s.pid, c.how == then::interrupt ? SIGINT : SIGTERM);
    if (c.how == then::terminate) {
      EXPECT_EQ(s.finish(), 128 + SIGTERM);
    } else {
      EXPECT_TRUE(s.wait_for(c.after)) << s.output();
      if (c.how != then::let_go) close(held);
      ASSERT_TRUE(s.send("q config\nquit\n"));
      EXPECT_EQ(s.finish(), 0);
    }
    if (c.how == then::terminate) close(held);
    const std::string out = s.output();
    EXPECT_EQ(count_of(out, "another process holds it"), 1u) << out;
    if (c.how == then::let_go && std::string(c.locked) == "f.bin") {
      EXPECT_EQ(read_file(dir.file("f.bin")).size(), 16u);
    } else {
      for (const char* f : kept) EXPECT_EQ(read_file(dir.file(f)), before[f]) << f;
    }
    EXPECT_TRUE(staged_files(dir.path()).empty()) << staged_files(dir.path()).front();
    unsetenv("KAUDFT");
  }
}

// A GRIB set whose index finds the disk full keeps its data (no old set to
// keep), and the index line says the system's reason.
TEST(OutputFiles, AnIndexThatFindsTheDiskFullSaysWhy) {
  TempDir dir;
  latsfiles::write_dataset(dir);
  const struct {
    size_t room;  // free bytes: the data and descriptor fit, the index not
    bool made;
  } cases[] = {{2 * 4096, false}, {64 * 4096, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.room);
    full_disk disk(dir.file("disk"), "keep", "", c.room);
    if (!disk.why.empty()) GTEST_SKIP() << disk.why;
    const std::string set = disk.path + "/out";
    RunResult r = run_batch(
        latsfiles::declare(set, "set lats convention vemra_grib\n") + "d t\nset lats close 1\n",
        dir.path());
    const std::string said = r.out + r.err;
    EXPECT_TRUE(file_exists(set + ".grb")) << said;
    EXPECT_EQ(file_exists(set + ".gmp"), c.made) << said;
    EXPECT_EQ(contains(said, "No space left on device"), !c.made) << said;
    EXPECT_EQ(contains(said, "The index " + set + ".gmp could not be made"), !c.made) << said;
    EXPECT_TRUE(staged_files(disk.path).empty());
  }
}

// A file this session writes in place already is refused to its other
// outputs, with a message saying so, instead of waiting on the session's own
// turn (which would never end) or mixing the two outputs.
TEST(OutputFiles, ASessionsOwnFileWrittenInPlaceIsRefusedToItsOtherOutputs) {
  const std::string writes = "open d.ctl\nset fwrite f.bin\nset gxout fwrite\nd v+1\n";
  const std::string ends = "d v+2\ndisable fwrite\n";
  const char* seconds[] = {"printim f.bin\n", "enable print f.bin\nprint\ndisable print\n",
                           "set gxout writegds\nset writegds -f f.bin\nd v\nset gxout fwrite\n"};
  TempDir alone;
  write_grid(alone);
  ASSERT_EQ(run_batch(writes + ends, alone.path()).status, 0);
  const std::string whole = read_file(alone.file("f.bin"));
  for (const char* second : seconds) {
    SCOPED_TRACE(second);
    TempDir dir;
    write_grid(dir);
    write_file(dir.file("f.bin"), "old");
    ASSERT_EQ(link(dir.file("f.bin").c_str(), dir.file("other").c_str()), 0);
    RunResult r = run_vemra({"-b", "-l"}, writes + second + ends + "quit\n", dir.path(), {}, 10);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, "f.bin")) << r.out;
    EXPECT_TRUE(contains(r.out, "it is being written in place by this session already")) << r.out;
    EXPECT_TRUE(read_file(dir.file("f.bin")) == whole);
    EXPECT_TRUE(read_file(dir.file("other")) == whole);
  }
}

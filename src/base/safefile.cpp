#include "base/safefile.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base/dirlock.h"
#include "base/session.h"

FILE* fopen_regular(const std::string& path, const char* mode, bool follow_links,
                    bool* not_regular) {
  if (not_regular) *not_regular = false;
  if (path.find('\0') != std::string::npos) {
    errno = EINVAL;
    return nullptr;
  }
  // Opened without blocking, then checked on the descriptor itself, so the
  // kind cannot change between the check and the read.
  int fd =
      ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (follow_links ? 0 : O_NOFOLLOW));
  if (fd < 0) return nullptr;
  struct stat st;
  const bool known = ::fstat(fd, &st) == 0;
  if (!known || !S_ISREG(st.st_mode)) {
    const int why = !known ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    if (not_regular) *not_regular = known;
    ::close(fd);
    errno = why;
    return nullptr;
  }
  return fdopen_owning(fd, mode);
}

FILE* fdopen_owning(int fd, const char* mode, bool blocking) {
  if (blocking) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  }
  FILE* f = ::fdopen(fd, mode);
  if (!f) {
    const int why = errno;
    ::close(fd);
    errno = why;
  }
  return f;
}

void owned_fd::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

owned_fd hold_file(const std::string& path) {
  return owned_fd(::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
}

bool is_directory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string directory_of(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

namespace {

// Temporary files not yet renamed or removed, for removal when the process
// ends by a signal: a list that only grows, whose emptied slots are used
// again, so that any number of files is held. The handler only loads the
// pointers; a slot is linked in whole, and emptied before its string is
// freed.
struct staged_slot {
  std::atomic<char*> name{nullptr};
  staged_slot* next = nullptr;  // set before the slot is linked in
};
std::atomic<staged_slot*> staged_head{nullptr};

// false (errno ENOMEM) when there is no memory to hold the name: the file
// could not be removed at a signal, so it must not be made.
bool remember_staged(const std::string& temp) {
  static const bool at_exit = std::atexit(remove_staged_files) == 0;
  (void)at_exit;
  char* copy = ::strdup(temp.c_str());
  if (!copy) return false;
  for (staged_slot* s = staged_head.load(); s; s = s->next) {
    char* empty = nullptr;
    if (s->name.compare_exchange_strong(empty, copy)) return true;
  }
  auto* slot = new (std::nothrow) staged_slot;
  if (!slot) {
    std::free(copy);
    errno = ENOMEM;
    return false;
  }
  slot->name.store(copy);
  slot->next = staged_head.load();
  while (!staged_head.compare_exchange_weak(slot->next, slot)) {
  }
  return true;
}

void forget_staged(const std::string& temp) {
  for (staged_slot* s = staged_head.load(); s; s = s->next) {
    char* name = s->name.load();
    if (name && temp == name && s->name.compare_exchange_strong(name, nullptr)) {
      std::free(name);
      return;
    }
  }
}

// ".NAME.XXXXXX" beside target, NAME cut short where the whole would not fit
// the directory's longest name.
std::string temp_template(const std::string& target) {
  const std::string dir = directory_of(target);
  std::string::size_type slash = target.rfind('/');
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  long longest = ::pathconf(dir.c_str(), _PC_NAME_MAX);
  if (longest <= 0) longest = NAME_MAX;
  const size_t extra = 8;  // the dot before and ".XXXXXX" after
  const size_t room = static_cast<size_t>(longest) > extra ? longest - extra : 0;
  if (base.size() > room) base.resize(room);
  return dir + "/." + base + ".XXXXXX";
}

std::string reason(int err) { return std::strerror(err ? err : EIO); }

// Why a name that is no regular file was refused (refuse_special's errno).
std::string refused_reason(int err) {
  return err == EISDIR ? reason(err) : "it is not a regular file";
}

// Why a pipe or device was not opened where it is.
std::string stream_reason(int err) {
  return err == EINTR ? "interrupted while waiting for a reader" : reason(err);
}

// Reads a list of extended attribute names or one value whole through get
// (the system's call, asked first for the size): 0, or the system's reason.
// One that grows between the two calls is asked for again.
template <class Get>
int read_whole(std::vector<char>& out, Get get) {
  for (int tries = 0; tries < 8; ++tries) {
    ssize_t n = get(nullptr, 0);
    if (n < 0) return errno;
    out.resize(static_cast<size_t>(n));
    if (n == 0) return 0;
    n = get(out.data(), out.size());
    if (n >= 0) {
      out.resize(static_cast<size_t>(n));
      return 0;
    }
    if (errno != ERANGE) return errno;
  }
  return ERANGE;
}

// Gives the file open at fd every extended attribute of path, its ACL among
// them; done after its mode, so that the ACL's mask sets the group bits.
// 0, or the system's reason for the first that could not be given.
int copy_attributes(const std::string& path, int fd) {
  std::vector<char> names, value, have;
  const char* from = path.c_str();
  if (int err = read_whole(names, [&](char* b, size_t n) { return ::listxattr(from, b, n); }))
    return err == ENOTSUP ? 0 : err;  // a file system without them
  for (size_t at = 0; at < names.size(); at += std::strlen(&names[at]) + 1) {
    const char* name = &names[at];
    if (int err =
            read_whole(value, [&](char* b, size_t n) { return ::getxattr(from, name, b, n); }))
      return err;
    // One the new file was given at its making (a security label) stays.
    if (read_whole(have, [&](char* b, size_t n) { return ::fgetxattr(fd, name, b, n); }) == 0 &&
        have == value)
      continue;
    if (::fsetxattr(fd, name, value.data(), value.size(), 0) != 0) return errno;
  }
  return 0;
}

// True when following a link in directory dir (lstat gave link) would let
// another user choose the file written: another user's link in a directory
// others may write (group or world, sticky or not), as a plant in /tmp or in
// a group's project directory is. Anyone who may write the directory may
// have put it there or may change it.
bool planted_link(const std::string& dir, const struct stat& link) {
  if (link.st_uid == ::geteuid()) return false;
  struct stat d;
  if (::stat(dir.c_str(), &d) != 0) return false;
  return (d.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// Walks path a component at a time, as the system does, through every link
// on the way (a directory's too): false (errno EACCES) when one of them is
// planted. What cannot be walked (a missing name, a chain too long) is left
// for the open or the resolving to report.
bool links_may_be_followed(const std::string& path) {
  std::vector<std::string> left;  // the components still to walk, the next last
  auto push = [&left](const std::string& p) {
    std::vector<std::string> parts;
    for (size_t at = 0; at < p.size();) {
      size_t end = p.find('/', at);
      if (end == std::string::npos) end = p.size();
      if (end > at) parts.push_back(p.substr(at, end - at));
      at = end + 1;
    }
    left.insert(left.end(), parts.rbegin(), parts.rend());
  };
  push(path);
  // Where the walk is: a directory reached without links, so ".." in what
  // follows is the system's to resolve.
  std::string at = !path.empty() && path[0] == '/' ? "" : ".";
  std::vector<char> to(PATH_MAX);
  for (int hops = 0; !left.empty();) {
    const std::string next = at + "/" + left.back();
    left.pop_back();
    struct stat st;
    if (::lstat(next.c_str(), &st) != 0) return true;
    if (!S_ISLNK(st.st_mode)) {
      at = next;
      continue;
    }
    if (planted_link(at.empty() ? "/" : at, st)) {
      errno = EACCES;
      return false;
    }
    const ssize_t n = ::readlink(next.c_str(), to.data(), to.size());
    if (n <= 0 || size_t(n) >= to.size() || ++hops > 40) return true;
    if (to[0] == '/') at.clear();
    push(std::string(to.data(), size_t(n)));
  }
  return true;
}

// The old file's mode for the file fd holds: set-id bits were given for the
// old owner or group, and a file the writer could not give them to does not
// take them (it would run as the writer).
mode_t mode_for_owner(int fd, const struct stat& old) {
  mode_t mode = old.st_mode & 07777;
  struct stat made;
  if (::fstat(fd, &made) != 0) return mode & ~mode_t(S_ISUID | S_ISGID);
  if (made.st_uid != old.st_uid) mode &= ~mode_t(S_ISUID);
  if (made.st_gid != old.st_gid) mode &= ~mode_t(S_ISGID);
  return mode;
}

}  // namespace

output_plan plan_output(std::string& target, bool may_write_in_place) {
  output_plan p;
  struct stat st;
  const bool exists = ::stat(target.c_str(), &st) == 0;
  // Also for a name not there yet: a link on the way still chooses the
  // directory written, and a dangling one the file made.
  if (!links_may_be_followed(target)) {
    p.how = output_plan::refused;
    return p;
  }
  if (exists && !S_ISREG(st.st_mode)) {
    p.how = output_plan::special;
    return p;
  }
  mode_t mask = ::umask(0);
  ::umask(mask);
  p.origin.mode = 0666 & ~mask;
  mode_t mode = p.origin.mode;
  if (exists) {
    char* real = ::realpath(target.c_str(), nullptr);
    if (real) {
      target = real;
      std::free(real);
    }
    // Held, not remembered by number: once freed, its inode number may be
    // given to a file another user makes under the name. One that is no
    // longer the file looked at gives nothing.
    p.origin.over = hold_file(target);
    struct stat held;
    if (::fstat(p.origin.over.get(), &held) != 0 || held.st_dev != st.st_dev ||
        held.st_ino != st.st_ino)
      p.origin.over.reset();
    // Replacing needs no right to the file itself, only to its directory:
    // ask the system whether the file may be written (without opening it,
    // which watchers of the file would take for a change).
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
      p.how = output_plan::refused;
      return p;
    }
    if (st.st_nlink > 1 && may_write_in_place) {
      p.how = output_plan::in_place;
      p.why_not_beside = "it has several links";
      return p;
    }
    mode = st.st_mode & 07777;
  }
  std::string tmpl = temp_template(target);
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd;
  {
    // Recorded for removal as soon as it is made: a signal in between would
    // leave it behind.
    ending_signals_held held;
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0 && !remember_staged(name.data())) {
      const int why = errno;
      ::close(fd);
      ::unlink(name.data());
      errno = why;
      p.how = output_plan::refused;
      return p;
    }
  }
  if (fd < 0) {
    // A directory the user may not write: the old file can still be written
    // where it is. Anything else (no such directory, a full disk) is the
    // answer an open would give too.
    if (!exists || !may_write_in_place || (errno != EACCES && errno != EPERM)) {
      p.how = output_plan::refused;
      return p;
    }
    p.how = output_plan::in_place;
    p.why_not_beside = "no temporary file could be made beside it: " + reason(errno);
    return p;
  }
  p.temp.assign(name.data());
  // What the old file is that the new one would lose: it is written in
  // place instead where that is allowed, or (its mode) refused.
  auto not_beside = [&](const std::string& why, bool refuse) -> output_plan {
    const int err = errno;
    ::close(fd);
    drop_staged(p.temp);
    p.how = refuse ? output_plan::refused : output_plan::in_place;
    if (!refuse) p.why_not_beside = why;
    errno = err;
    return std::move(p);
  };
  struct stat made;
  const bool made_known = ::fstat(fd, &made) == 0;
  if (made_known) {
    p.origin.uid = made.st_uid;
    p.origin.gid = made.st_gid;
  } else {
    p.origin.uid = ::geteuid();
    p.origin.gid = ::getegid();
  }
  if (exists) {
    bool same = made_known && made.st_uid == st.st_uid && made.st_gid == st.st_gid;
    // The owner before the mode: a change of owner clears set-id bits.
    if (!same && ::fchown(fd, st.st_uid, st.st_gid) != 0 && may_write_in_place)
      return not_beside("its owner and group could not be kept", false);
    mode = mode_for_owner(fd, st);
  }
  if (::fchmod(fd, mode) != 0)
    return not_beside("its mode could not be kept: " + reason(errno),
                      !exists || !may_write_in_place);
  if (exists) {
    if (const int err = copy_attributes(target, fd); err && may_write_in_place) {
      errno = err;
      return not_beside("its extended attributes could not be kept: " + reason(err), false);
    }
  }
  p.how = output_plan::beside;
  p.fd = fd;
  p.origin.given = mode;
  return p;
}

bool commit_staged(std::string& temp, const std::string& target) {
  if (temp.empty()) return true;
  bool ok = std::rename(temp.c_str(), target.c_str()) == 0;
  int why = errno;
  if (!ok) ::unlink(temp.c_str());
  forget_staged(temp);
  temp.clear();
  errno = why;
  return ok;
}

bool stage_still_named(int fd, const std::string& temp) {
  struct stat held, named;
  if (fd >= 0 && ::fstat(fd, &held) == 0 && ::lstat(temp.c_str(), &named) == 0 &&
      S_ISREG(named.st_mode) && named.st_dev == held.st_dev && named.st_ino == held.st_ino)
    return true;
  errno = ESTALE;
  return false;
}

std::string stage_replaced(const std::string& temp) {
  return "its staged file " + temp + " was removed or replaced by another";
}

std::string held_file_path(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

std::string stage_exchanged(const std::string& temp, const std::string& target) {
  return "its staged file " + temp + " was exchanged for another's as it was placed: " + target +
         " is not the file written";
}

void take_owner_and_mode(int fd, const std::string& target, const stage_origin& origin) {
  struct stat now, made;
  if (::fstat(fd, &made) != 0) return;
  // Only the file opened over gives anything: another user who may write the
  // directory can move it aside, or remove it, and put a file of theirs (mode
  // 0666, or a link to a set-user-id program) under the name, and a link put
  // there is not followed (the rename replaces the link itself).
  const bool same =
      stage_still_named(origin.over.get(), target) && ::fstat(origin.over.get(), &now) == 0;
  if (!same) {
    now = made;
    now.st_uid = origin.uid;
    now.st_gid = origin.gid;
    now.st_mode = (made.st_mode & ~mode_t(07777)) | origin.mode;
  }
  // The owner before the mode: a change of owner clears set-id bits.
  if (made.st_uid != now.st_uid || made.st_gid != now.st_gid) {
    [[maybe_unused]] const bool given = ::fchown(fd, now.st_uid, now.st_gid) == 0 ||
                                        ::fchown(fd, static_cast<uid_t>(-1), now.st_gid) == 0;
  }
  const mode_t mode = mode_for_owner(fd, now) & origin.given;
  if (::fstat(fd, &made) == 0 && (made.st_mode & 07777) != mode) ::fchmod(fd, mode);
}

void drop_staged(std::string& temp) {
  if (temp.empty()) return;
  ::unlink(temp.c_str());
  forget_staged(temp);
  temp.clear();
}

void release_staged(std::string& temp) {
  forget_staged(temp);
  temp.clear();
}

void remove_staged_files() {
  put_back_kept_copies();
  for (staged_slot* s = staged_head.load(); s; s = s->next) {
    const char* name = s->name.load();
    if (name) ::unlink(name);
  }
}

namespace {

// The signals whose default action ends the process, but for the faults of
// the program itself (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGSYS,
// SIGTRAP), after which its memory, the list of staged files included, can
// no longer be trusted, and SIGXCPU and SIGXFSZ, which the session handles
// on its own.
sigset_t ending_signal_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGALRM, SIGTERM, SIGUSR1, SIGUSR2, SIGVTALRM,
                  SIGPROF, SIGIO, SIGPWR, SIGSTKFLT})
    sigaddset(&set, sig);
  for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) sigaddset(&set, sig);
  return set;
}

// What waits while files are placed as a set or a staged file is made and
// recorded: every signal whose default ends the process but for the faults,
// those the session handles on its own among them (a CPU limit ends the
// session, and its handler too removes what is staged).
sigset_t held_signal_set() {
  sigset_t set = ending_signal_set();
  sigaddset(&set, SIGXCPU);
  sigaddset(&set, SIGXFSZ);
  return set;
}

}  // namespace

void catch_ending_signals() {
  const sigset_t set = ending_signal_set();
  for (int sig = 1; sig < NSIG; ++sig) {
    struct sigaction was;
    if (sigismember(&set, sig) != 1 || ::sigaction(sig, nullptr, &was) != 0 ||
        was.sa_handler == SIG_IGN)
      continue;
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = end_by_signal;
    // A second ending signal waits while the first removes the files.
    sa.sa_mask = held_signal_set();
    sa.sa_flags = SA_RESTART;
    ::sigaction(sig, &sa, nullptr);
  }
}

ending_signals_held::ending_signals_held() {
  const sigset_t set = held_signal_set();
  ::sigprocmask(SIG_BLOCK, &set, &old_);
}

ending_signals_held::~ending_signals_held() { ::sigprocmask(SIG_SETMASK, &old_, nullptr); }

extern "C" void end_by_signal(int sig) {
  remove_staged_files();
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = SIG_DFL;
  sigemptyset(&sa.sa_mask);
  ::sigaction(sig, &sa, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(sig);
  ::_exit(128 + sig);
}

// Longest single wait between two looks at the interrupt.
constexpr int kSliceMs = 100;

bool wait_on(int fd, short events, bool& interrupted) {
  interrupted = false;
  for (;;) {
    if (kaqsig()) {
      interrupted = true;
      return false;
    }
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, kSliceMs);
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
  }
}

// A pipe with no reader is waited for in slices rather than in open, so
// that an interrupt ends the wait.
int open_waiting_for_reader(const std::string& path, int flags, mode_t mode) {
  for (;;) {
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK, mode);
    if (fd >= 0 || (errno != ENXIO && errno != EINTR)) return fd;
    if (kaqsig()) {
      errno = EINTR;
      return -1;
    }
    ::poll(nullptr, 0, kSliceMs);
  }
}

bool write_waiting(int fd, const char* buf, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t w = ::write(fd, buf + done, n - done);
    if (w > 0) {
      done += static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && errno != EAGAIN && errno != EINTR) return false;
    bool interrupted;
    if (!wait_on(fd, POLLOUT, interrupted)) {
      if (interrupted) errno = EINTR;
      return false;
    }
  }
  return true;
}

namespace {

// Why a name that exists and is no regular file may not be written where it
// is (0 when it may): a character device may, a pipe where pipes are wanted.
int refuse_special(mode_t mode, bool pipes) {
  if (S_ISCHR(mode) || (pipes && S_ISFIFO(mode))) return 0;
  return S_ISDIR(mode) ? EISDIR : EINVAL;
}

// Writes to a pipe whose reader may stop reading; an interrupt fails the
// write.
ssize_t pipe_write(void* cookie, const char* buf, size_t n) {
  const int fd = static_cast<int>(reinterpret_cast<intptr_t>(cookie));
  // A stream cookie reports a failure as 0 bytes.
  return write_waiting(fd, buf, n) ? static_cast<ssize_t>(n) : 0;
}

int pipe_close(void* cookie) {
  return ::close(static_cast<int>(reinterpret_cast<intptr_t>(cookie)));
}

// True when fd holds the regular file origin was made over.
bool is_file(int fd, const stage_origin& origin) {
  struct stat st, over;
  return ::fstat(origin.over.get(), &over) == 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
         st.st_dev == over.st_dev && st.st_ino == over.st_ino;
}

std::string file_replaced(const std::string& name) {
  return name + " was removed or replaced by another as it was opened";
}

// A stream on fd, an open pipe or device: a pipe's writes wait while it is
// full, and an interrupt ends the wait. On failure fd is closed.
FILE* stream_on(int fd) {
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode)) {
    cookie_io_functions_t io = {nullptr, pipe_write, nullptr, pipe_close};
    FILE* f = ::fopencookie(reinterpret_cast<void*>(static_cast<intptr_t>(fd)), "wb", io);
    if (!f) {
      int why = errno;
      ::close(fd);
      errno = why;
    }
    return f;
  }
  return fdopen_owning(fd, "wb");
}

}  // namespace

FILE* fopen_stream_target(const std::string& path) {
  const int fd = open_waiting_for_reader(path, O_WRONLY | O_NOCTTY | O_CLOEXEC);
  return fd < 0 ? nullptr : stream_on(fd);
}

write_turn wait_write_turn(int fd, const std::string& name) {
  if (kept_copy_for(fd)) return write_turn::ours;
  switch (flock_waiting(fd, LOCK_EX, 10000, name)) {
    case lock_wait::held: return write_turn::taken;
    case lock_wait::interrupted: return write_turn::interrupted;
    case lock_wait::failed: break;
  }
  return write_turn::unlocked;
}

FILE* fopen_appending(const std::string& path, std::string* why) {
  // The reason, when asked for, in the words of the replacing outputs.
  auto failed = [why](int err, std::string (*say)(int)) -> FILE* {
    if (why) *why = say(err);
    errno = err;
    return nullptr;
  };
  // Another user's link on the way would choose the file appended to.
  if (!links_may_be_followed(path)) return failed(errno, reason);
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    if (const int err = refuse_special(st.st_mode, true)) return failed(err, refused_reason);
    FILE* f = fopen_stream_target(path);
    return f ? f : failed(errno, stream_reason);
  }
  // Not waiting in the open: a pipe put under the name meanwhile has no
  // reader to wait for here (ENXIO) instead of blocking. A link put under
  // the name since the walk is not followed unless the walk allows it now.
  struct stat named;
  const bool link = ::lstat(path.c_str(), &named) == 0 && S_ISLNK(named.st_mode);
  const int flags = O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = ::open(path.c_str(), flags | (link ? 0 : O_NOFOLLOW), 0666);
  if (fd < 0 && errno == ELOOP && !link) {
    if (!links_may_be_followed(path)) return failed(errno, reason);
    fd = ::open(path.c_str(), flags, 0666);
  }
  if (fd < 0) return failed(errno, reason);
  // The file opened is the one checked, not the name before the open.
  struct stat got;
  if (::fstat(fd, &got) != 0) {
    const int err = errno;
    ::close(fd);
    return failed(err, reason);
  }
  if (!S_ISREG(got.st_mode)) {
    if (const int err = refuse_special(got.st_mode, true)) {
      ::close(fd);
      return failed(err, refused_reason);
    }
    FILE* f = stream_on(fd);
    return f ? f : failed(errno, reason);
  }
  const int err =
      !links_may_be_followed(path) ? EACCES
      : ::stat(path.c_str(), &st) != 0 || st.st_dev != got.st_dev || st.st_ino != got.st_ino
          ? ESTALE
          : 0;
  if (err) {
    ::close(fd);
    if (why) *why = err == EACCES ? reason(err) : file_replaced(path);
    errno = err;
    return nullptr;
  }
  FILE* f = fdopen_owning(fd, "a");
  return f ? f : failed(errno, reason);
}

replacing_file::replacing_file(std::string path, special_output special)
    : target_(std::move(path)) {
  if (target_.empty() || target_.find('\0') != std::string::npos) {
    errno = target_.empty() ? ENOENT : EINVAL;
    fail(reason(errno));
    return;
  }
  output_plan plan = plan_output(target_);
  int fd = -1;
  switch (plan.how) {
    case output_plan::refused: fail(reason(errno)); return;
    case output_plan::beside:
      temp_ = plan.temp;
      fd = plan.fd;
      origin_ = std::move(plan.origin);
      break;
    case output_plan::in_place:
      why_not_beside_ = plan.why_not_beside;
      // The file checked is the one written: the name (a link's target, so
      // a link there now is another's) may have been given another file.
      fd = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW);
      if (fd < 0 || !is_file(fd, plan.origin)) {
        const int why = fd < 0 && errno != ELOOP ? errno : ESTALE;
        if (fd >= 0) ::close(fd);
        errno = why;
        fail(why == ESTALE ? file_replaced(target_) : reason(why));
        return;
      }
      // The lock goes with the last descriptor, the kept copy's.
      if (const write_turn turn = wait_write_turn(fd, target_);
          turn == write_turn::ours || turn == write_turn::interrupted) {
        ::close(fd);
        const bool ours = turn == write_turn::ours;
        errno = ours ? EBUSY : EINTR;
        fail(ours ? kWrittenInPlaceAlready
                  : "interrupted while waiting for another session writing it");
        return;
      }
      // Emptied only once its old contents are kept aside, so that a
      // failed write can put them back.
      kept_ = std::make_unique<kept_copy>();
      if (!kept_->keep(fd, target_, temp_template(target_))) {
        const int why = errno;
        ::close(fd);
        kept_.reset();
        error_ = "no copy of it could be kept to write it in place (" + why_not_beside_ +
                 "): " + reason(why);
        errno = why;
        return;
      }
      if (::ftruncate(fd, 0) != 0) {
        const int why = errno;
        kept_->drop();  // nothing was changed
        kept_.reset();
        ::close(fd);
        errno = why;
        fail(reason(why));
        return;
      }
      break;
    case output_plan::special: {
      struct stat st;
      if (::stat(target_.c_str(), &st) != 0) {
        fail(reason(errno));
        return;
      }
      if (const int why = refuse_special(st.st_mode, special == special_output::pipe_or_device)) {
        errno = why;
        fail(refused_reason(why));
        return;
      }
      stream_ = fopen_stream_target(target_);
      if (!stream_) fail(stream_reason(errno));
      return;
    }
  }
  stream_ = ::fdopen(fd, "wb");
  if (!stream_) {
    int why = errno;
    put_back();
    ::close(fd);
    drop_staged(temp_);
    errno = why;
    fail(reason(why));
  }
}

replacing_file::~replacing_file() { discard(); }

void replacing_file::fail(const std::string& why) {
  int saved = errno;
  error_ = why;
  if (!why_not_beside_.empty()) error_ += "; written in place because " + why_not_beside_;
  if (!kept_where_.empty())
    error_ += "; its old contents could not be put back and are kept in " + kept_where_;
  errno = saved;
}

// The old contents of a file written in place go back (what the stream
// still holds then goes nowhere).
void replacing_file::put_back() {
  if (!kept_) return;
  const int saved = errno;
  if (!kept_->put_back()) kept_where_ = kept_->where();
  kept_.reset();
  errno = saved;
}

bool replacing_file::commit() {
  if (!stream_) return false;
  int why = 0;
  // A write that failed before is the reason, not what errno holds now.
  if (std::fflush(stream_) != 0 || std::ferror(stream_))
    why = write_errno_ ? write_errno_ : errno ? errno : EIO;
  if (why)
    put_back();
  else if (kept_)
    kept_->release_writer();
  // The stage is placed by its descriptor, held past the close: owner,
  // group and mode are those of the file under the name now.
  const std::string stage = temp_;
  int held = -1;
  if (!why && !temp_.empty()) {
    take_owner_and_mode(fileno(stream_), target_, origin_);
    held = ::fcntl(fileno(stream_), F_DUPFD_CLOEXEC, 0);
    if (held < 0) why = errno;
  }
  if (std::fclose(stream_) != 0 && !why) {
    why = errno ? errno : EIO;
    put_back();
  }
  stream_ = nullptr;
  bool replaced = false;
  if (!why && held >= 0 && !stage_still_named(held, temp_)) {
    // Another file under the stage's name is not this session's: neither
    // placed nor removed.
    replaced = true;
    why = errno;
    release_staged(temp_);
  }
  bool placed = !why && commit_staged(temp_, target_);
  if (!placed && !why) why = errno;
  // Another user who may write the directory can exchange a file of theirs
  // with the stage between its check and the rename.
  const bool exchanged = placed && held >= 0 && !stage_still_named(held, target_);
  if (exchanged) {
    placed = false;
    why = errno;
  }
  if (held >= 0) ::close(held);
  if (placed) {
    if (kept_) kept_->drop();
    kept_.reset();
    return true;
  }
  drop_staged(temp_);
  errno = why;
  fail(exchanged  ? stage_exchanged(stage, target_)
       : replaced ? stage_replaced(stage)
                  : reason(why));
  return false;
}

const std::string& replacing_file::write_failed(int err) {
  if (!write_errno_) write_errno_ = err;
  fail(reason(err));
  return error_;
}

void replacing_file::discard() {
  put_back();
  if (stream_) std::fclose(stream_);
  stream_ = nullptr;
  drop_staged(temp_);
}

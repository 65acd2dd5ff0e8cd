#include "base/dirlock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

#include "base/safefile.h"
#include "base/session.h"

lock_wait flock_waiting(int fd, int op, unsigned pause_us, const std::string& name) {
  const auto since = std::chrono::steady_clock::now();
  bool said = name.empty();
  while (::flock(fd, op | LOCK_NB) != 0) {
    if (kaqsig()) return lock_wait::interrupted;
    if (errno != EWOULDBLOCK && errno != EINTR) return lock_wait::failed;
    if (!said && std::chrono::steady_clock::now() - since >= std::chrono::seconds(1)) {
      // Unbuffered, so that a batch job's log shows it while the wait lasts.
      std::fprintf(stderr, "Waiting for %s: another process holds it\n", name.c_str());
      said = true;
    }
    ::usleep(pause_us);
  }
  return lock_wait::held;
}

directory_lock::directory_lock(const std::string& file, mode how) {
  int fd = ::open(directory_of(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  // Holders keep it for a few renames: a short pause between tries.
  const lock_wait w =
      flock_waiting(fd, how == mode::shared ? LOCK_SH : LOCK_EX, 1000, "the directory of " + file);
  if (w != lock_wait::held) {
    interrupted_ = w == lock_wait::interrupted;
    ::close(fd);
    return;
  }
  fd_ = fd;
}

directory_lock::~directory_lock() {
  if (fd_ >= 0) ::close(fd_);
}

lock_wait flock_under_name(int fd, const std::string& name, int op, bool& moved, bool say_wait) {
  moved = false;
  const lock_wait w = flock_waiting(fd, op, 1000, say_wait ? name : std::string());
  if (w != lock_wait::held) return w;
  struct stat held, named;
  if (::fstat(fd, &held) != 0) {
    ::flock(fd, LOCK_UN);
    return lock_wait::failed;
  }
  if (::stat(name.c_str(), &named) != 0 || held.st_dev != named.st_dev ||
      held.st_ino != named.st_ino) {
    ::flock(fd, LOCK_UN);
    moved = true;
  }
  return w;
}

file_under_name_lock::file_under_name_lock(const std::string& name) {
  for (;;) {
    // Read-only is enough for flock, and is all a writer may have of a file
    // it replaces by renaming.
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return;
    }
    bool moved = false;
    const lock_wait w = flock_under_name(fd, name, LOCK_EX, moved, true);
    if (w != lock_wait::held) {
      interrupted_ = w == lock_wait::interrupted;
      ::close(fd);
      return;
    }
    if (!moved) {
      fd_ = fd;
      return;
    }
    ::close(fd);
  }
}

file_under_name_lock::~file_under_name_lock() {
  if (fd_ >= 0) ::close(fd_);
}

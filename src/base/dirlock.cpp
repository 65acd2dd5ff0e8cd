#include "base/dirlock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/safefile.h"
#include "base/session.h"

lock_wait flock_waiting(int fd, int op, unsigned pause_us) {
  while (::flock(fd, op | LOCK_NB) != 0) {
    if (kaqsig()) return lock_wait::interrupted;
    if (errno != EWOULDBLOCK && errno != EINTR) return lock_wait::failed;
    ::usleep(pause_us);
  }
  return lock_wait::held;
}

directory_lock::directory_lock(const std::string& file, mode how) {
  int fd = ::open(directory_of(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  // Holders keep it for a few renames: a short pause between tries.
  if (flock_waiting(fd, how == mode::shared ? LOCK_SH : LOCK_EX, 1000) != lock_wait::held) {
    ::close(fd);
    return;
  }
  fd_ = fd;
}

directory_lock::~directory_lock() {
  if (fd_ >= 0) ::close(fd_);
}

lock_wait flock_under_name(int fd, const std::string& name, int op, bool& moved) {
  moved = false;
  const lock_wait w = flock_waiting(fd, op, 1000);
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
    bool moved = false;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        flock_under_name(fd, name, LOCK_EX, moved) != lock_wait::held) {
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

#include "base/dirlock.h"

#include <fcntl.h>
#include <sys/file.h>
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

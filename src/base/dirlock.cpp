#include "base/dirlock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "base/safefile.h"
#include "base/session.h"

directory_lock::directory_lock(const std::string& file, mode how) {
  int fd = ::open(directory_of(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  const int op = (how == mode::shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
  while (::flock(fd, op) != 0) {
    // Holders keep it for a few renames: a short sleep between tries.
    if ((errno != EWOULDBLOCK && errno != EINTR) || kaqsig()) {
      ::close(fd);
      return;
    }
    ::usleep(1000);
  }
  fd_ = fd;
}

directory_lock::~directory_lock() {
  if (fd_ >= 0) ::close(fd_);
}

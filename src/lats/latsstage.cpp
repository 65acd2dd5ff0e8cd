#include "lats/latsstage.h"

#include "base/safefile.h"
#include "base/session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

lats_target_kind kind_of(const struct stat& st) {
  if (S_ISREG(st.st_mode)) return lats_target_kind::file;
  if (S_ISCHR(st.st_mode)) return lats_target_kind::device;
  if (S_ISFIFO(st.st_mode)) return lats_target_kind::pipe;
  return lats_target_kind::other;
}

}  // namespace

std::FILE* lats_open_output(const std::string& path, bool append) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && kind_of(st) == lats_target_kind::other) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return nullptr;
  }
  const int flags = O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
  int fd;
  // Without a reader a FIFO refuses a writer that does not wait (ENXIO):
  // tried again until one comes or the user interrupts.
  while ((fd = ::open(path.c_str(), flags, 0666)) < 0) {
    if (errno != ENXIO || ::stat(path.c_str(), &st) != 0 || !S_ISFIFO(st.st_mode)) return nullptr;
    if (kaqsig()) {
      errno = EINTR;
      return nullptr;
    }
    ::usleep(20000);
  }
  const int fl = ::fcntl(fd, F_GETFL);
  if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  std::FILE* f = ::fdopen(fd, append ? "ab" : "wb");
  if (!f) {
    const int why = errno;
    ::close(fd);
    errno = why;
  }
  return f;
}

bool lats_staged::open(const std::string& target) {
  discard();
  target_ = target;
  kind_ = lats_target_kind::file;
  struct stat st;
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  if (exists) kind_ = kind_of(st);
  if (kind_ != lats_target_kind::file) return true;
  int fd = make_beside(target_, exists, temp_);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool lats_staged::target_exists() const {
  struct stat st;
  return ::stat(target_.c_str(), &st) == 0;
}

bool lats_staged::commit() {
  if (temp_.empty()) return true;
  bool ok = std::rename(temp_.c_str(), target_.c_str()) == 0;
  if (!ok) {
    int why = errno;
    ::unlink(temp_.c_str());
    errno = why;
  }
  temp_.clear();
  return ok;
}

void lats_staged::discard() {
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

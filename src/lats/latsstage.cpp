#include "lats/latsstage.h"

#include "base/safefile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

bool lats_staged::open(const std::string& target) {
  discard();
  target_ = target;
  struct stat st;
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return true;
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

lats_dir_lock::lats_dir_lock(const std::string& file) {
  fd_ = ::open(directory_of(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ >= 0) ::flock(fd_, LOCK_EX);
}

lats_dir_lock::~lats_dir_lock() {
  if (fd_ >= 0) ::close(fd_);
}

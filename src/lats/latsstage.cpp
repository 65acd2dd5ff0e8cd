#include "lats/latsstage.h"

#include "base/safefile.h"

#include <fcntl.h>
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

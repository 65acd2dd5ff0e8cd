#include "lats/latsstage.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

std::string dir_of(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool lats_staged::open(const std::string& target) {
  discard();
  target_ = target;
  struct stat st;
  existed_ = ::stat(target_.c_str(), &st) == 0;
  if (existed_ && !S_ISREG(st.st_mode)) return true;
  if (existed_) {
    char* real = ::realpath(target_.c_str(), nullptr);
    if (real) {
      target_ = real;
      std::free(real);
    }
  }
  std::string::size_type slash = target_.rfind('/');
  std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  std::string tmpl = dir_of(target_) + "/." + base + ".XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) return false;
  // The new file gets the old one's permissions, or those a new file gets.
  mode_t mode;
  if (existed_) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd, mode);
  ::close(fd);
  temp_.assign(name.data());
  return true;
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
  fd_ = ::open(dir_of(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ >= 0) ::flock(fd_, LOCK_EX);
}

lats_dir_lock::~lats_dir_lock() {
  if (fd_ >= 0) ::close(fd_);
}

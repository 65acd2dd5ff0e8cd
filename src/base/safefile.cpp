#include "base/safefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

FILE* fopen_regular(const std::string& path, const char* mode, bool follow_links) {
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
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    int why = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    errno = why;
    return nullptr;
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  FILE* f = ::fdopen(fd, mode);
  if (!f) ::close(fd);
  return f;
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

int make_beside(std::string& target, bool exists, std::string& temp) {
  mode_t mode;
  if (exists) {
    struct stat st;
    if (::stat(target.c_str(), &st) != 0) return -1;
    mode = st.st_mode & 07777;
    char* real = ::realpath(target.c_str(), nullptr);
    if (real) {
      target = real;
      std::free(real);
    }
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  std::string::size_type slash = target.rfind('/');
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string tmpl = directory_of(target) + "/." + base + ".XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) return -1;
  ::fchmod(fd, mode);
  temp.assign(name.data());
  return fd;
}

replacing_file::replacing_file(std::string path) : target_(std::move(path)) {
  struct stat st;
  bool exists = ::stat(target_.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    stream_ = std::fopen(target_.c_str(), "wb");
    return;
  }
  int fd = make_beside(target_, exists, temp_);
  if (fd < 0) return;
  stream_ = ::fdopen(fd, "wb");
  if (!stream_) {
    int why = errno;
    ::close(fd);
    ::unlink(temp_.c_str());
    temp_.clear();
    errno = why;
  }
}

replacing_file::~replacing_file() { discard(); }

bool replacing_file::commit() {
  if (!stream_) return false;
  bool ok = std::fflush(stream_) == 0 && !std::ferror(stream_);
  if (std::fclose(stream_) != 0) ok = false;
  stream_ = nullptr;
  if (temp_.empty()) return ok;
  if (ok && std::rename(temp_.c_str(), target_.c_str()) != 0) ok = false;
  if (!ok) ::unlink(temp_.c_str());
  temp_.clear();
  return ok;
}

void replacing_file::discard() {
  if (stream_) std::fclose(stream_);
  stream_ = nullptr;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

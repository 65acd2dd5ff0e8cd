// Puts text on standard input for the life of the object, from an unlinked
// scratch file (any size, no pipe to fill), and tells what readers left.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace vemra_test {

class StdinFeed {
 public:
  explicit StdinFeed(const std::string& text) {
    saved_ = dup(0);
    char name[] = "/tmp/vemra-stdin-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) std::abort();
    unlink(name);
    if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) std::abort();
    lseek(fd, 0, SEEK_SET);
    dup2(fd, 0);
    close(fd);
  }
  ~StdinFeed() {
    dup2(saved_, 0);
    close(saved_);
  }
  StdinFeed(const StdinFeed&) = delete;
  StdinFeed& operator=(const StdinFeed&) = delete;
  // Whatever the readers left unread.
  std::string rest() {
    std::string r;
    char buf[256];
    ssize_t n;
    while ((n = read(0, buf, sizeof buf)) > 0) r.append(buf, static_cast<size_t>(n));
    return r;
  }

 private:
  int saved_ = -1;
};

}  // namespace vemra_test

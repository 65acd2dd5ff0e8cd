#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cmd/startup.h"

namespace {

// A process started with a standard stream closed (">&-", as cron and
// daemons may) would hand that descriptor to the first file it opens, and
// messages meant for the stream would be written into that file. Each closed
// one is held by /dev/null before anything is opened.
void hold_closed_standard_streams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    // Lower descriptors are all open by now, so null is fd.
    if (null == fd) continue;
    // Going on would write messages into data files.
    const int why = errno;
    if (fd < STDERR_FILENO)
      std::fprintf(stderr, "Cannot open /dev/null for closed descriptor %d: %s\n", fd,
                   std::strerror(why));
    std::_Exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  hold_closed_standard_streams();
  return vemra_main(argc, argv);
}

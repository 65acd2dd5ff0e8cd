// Runs the program as the unprivileged user nobody (group nogroup), for
// tests of what an ordinary user may and may not write.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/vemra_run.h"

namespace vemra_test {

// Why the tests cannot run as nobody here ("" when they can).
inline std::string cannot_run_as_nobody() {
  if (geteuid() != 0) return "not root: cannot switch to the user nobody";
  if (!getpwnam("nobody") || !getgrnam("nogroup")) return "no user nobody or group nogroup";
  return "";
}

// run_vemra as nobody in dir (which nobody must be able to write), with a
// file-size limit in bytes when fsize_limit is not 0.
inline RunResult run_batch_as_nobody(const std::string& input, const std::string& dir,
                                     rlim_t fsize_limit = 0, unsigned seconds = 20) {
  RunResult r;
  pid_t pid = fork();
  if (pid == 0) {
    const passwd* pw = getpwnam("nobody");
    const group* gr = getgrnam("nogroup");
    if (!pw || !gr || setgroups(0, nullptr) != 0 || setgid(gr->gr_gid) != 0 ||
        setuid(pw->pw_uid) != 0)
      _exit(125);
    if (fsize_limit) {
      rlimit lim{fsize_limit, fsize_limit};
      if (setrlimit(RLIMIT_FSIZE, &lim) != 0) _exit(124);
    }
    RunResult inner = run_vemra({"-b", "-l"}, input, dir, {}, seconds);
    _exit(inner.status & 0xff);
  }
  int st = 0;
  waitpid(pid, &st, 0);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  r.out = read_file(dir + "/.stdout");
  r.err = read_file(dir + "/.stderr");
  return r;
}

}  // namespace vemra_test

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
// file-size limit in bytes when fsize_limit is not 0. The program is the
// child itself, which takes nobody's identity and limits before its exec.
inline RunResult run_batch_as_nobody(const std::string& input, const std::string& dir,
                                     rlim_t fsize_limit = 0, unsigned seconds = 20) {
  const passwd* pw = getpwnam("nobody");
  const group* gr = getgrnam("nogroup");
  if (!pw || !gr) return RunResult{};
  child_setup setup;
  setup.as_user = true;
  setup.uid = pw->pw_uid;
  setup.gid = gr->gr_gid;
  setup.fsize_bytes = fsize_limit;
  setup.seconds = seconds;
  return run_vemra_with({"-b", "-l"}, input, dir, {}, setup);
}

}  // namespace vemra_test

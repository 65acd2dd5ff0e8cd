// Session state defaults and the per-frame clean-up.
#include "base/session.h"

#include "base/mfcmn.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {
session_state the_session;
}

session_state* gcmn = &the_session;

session_options::session_options() {
  mpdset[0] = "lowres";
  std::fill(std::begin(map_colour), std::end(map_colour), -9);
  map_colour[0] = map_colour[1] = map_colour[2] = -1;
  std::fill(std::begin(map_style), std::end(map_style), 1);
  std::fill(std::begin(map_thick), std::end(map_thick), 3);
}

void kainit() {
  session_state* s = gcmn;
  static_cast<session_options&>(*s) = session_options{};
  static_cast<plot_options&>(*s) = plot_options{};
  static_cast<frame_record&>(*s) = frame_record{};
  static_cast<lats_settings&>(*s) = lats_settings{};
  s->real_page_width = s->page_width;
  s->real_page_height = s->page_height;
  s->plot_x_low = 0;
  s->plot_x_high = s->page_width;
  s->plot_y_low = 0;
  s->plot_y_high = s->page_height;
  mfcmn_init();
}

void kacln(session_state* pcm, int full) {
  static_cast<frame_record&>(*pcm) = frame_record{};
  for (auto& c : pcm->last_plot_scaling.conv) c = nullptr;
  if (pcm->ylpos_set == 0) pcm->ylpos_work = 0;
  if (full) static_cast<plot_options&>(*pcm) = plot_options{};
  // A value axis kept from a plot belongs to its frame; one the user set
  // stays until the options are reset.
  if (pcm->vrange_set != -1) {
    pcm->vrange_set = 0;
    for (float& v : pcm->vrange) v = 0;
  }
}

int kaqsig() { return gcmn->interrupt ? 1 : 0; }

namespace {

// The shell's signal state while it runs: the session ignores SIGINT and
// SIGQUIT, so that a Ctrl-C reaches only the shell, which gets them back at
// their defaults, and keeps SIGCHLD for the wait.
class shell_signals {
 public:
  shell_signals() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGINT, &ignore, &interrupt_);
    ::sigaction(SIGQUIT, &ignore, &quit_);
    sigset_t child;
    sigemptyset(&child);
    sigaddset(&child, SIGCHLD);
    ::sigprocmask(SIG_BLOCK, &child, &mask_);
  }
  ~shell_signals() {
    ::sigaction(SIGINT, &interrupt_, nullptr);
    ::sigaction(SIGQUIT, &quit_, nullptr);
    ::sigprocmask(SIG_SETMASK, &mask_, nullptr);
  }
  shell_signals(const shell_signals&) = delete;
  shell_signals& operator=(const shell_signals&) = delete;

  // What the child starts with: the mask from before, and defaults for the
  // two signals the session was not itself ignoring.
  void child_attributes(posix_spawnattr_t* attr) const {
    sigset_t defaults;
    sigemptyset(&defaults);
    if (interrupt_.sa_handler != SIG_IGN) sigaddset(&defaults, SIGINT);
    if (quit_.sa_handler != SIG_IGN) sigaddset(&defaults, SIGQUIT);
    posix_spawnattr_setsigdefault(attr, &defaults);
    posix_spawnattr_setsigmask(attr, &mask_);
    posix_spawnattr_setflags(attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  }

 private:
  struct sigaction interrupt_ {};
  struct sigaction quit_ {};
  sigset_t mask_{};
};

int run_shell(const std::string& command) {
  shell_signals signals;
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  signals.child_attributes(&attr);
  // The shell has the session's standard streams and nothing more: data
  // files read, outputs still being written, the display's connection and
  // held locks are not its to keep open or write.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  char sh[] = "sh", dash_c[] = "-c", end[] = "--";
  std::string line = command;
  char* argv[] = {sh, dash_c, end, line.data(), nullptr};
  pid_t pid = -1;
  const int failed = ::posix_spawn(&pid, "/bin/sh", &actions, &attr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  // A shell that could not start reads as one that found no command.
  if (failed) return W_EXITCODE(127, 0);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return status;
}

}  // namespace

int kashell(const std::string& command) {
  const int status = run_shell(command);
  if (status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) std::raise(SIGINT);
  return status;
}

void kasetlp(session_state* pcm, int k, dimension_op op, const float* scaling, size_t nwords) {
  if (k < 0 || k > 3) return;
  auto& lp = pcm->last_plot_scaling;
  lp.conv[k] = op;
  if (scaling && nwords > 0)
    lp.scaling[k].assign(scaling, scaling + nwords);
  else
    lp.scaling[k].clear();
}

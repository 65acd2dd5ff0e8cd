// Helpers for end-to-end tests that look for text in what the program
// printed, or drive a running session through a pipe.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/vemra_run.h"

namespace vemra_test {

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

inline size_t count_of(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
  return n;
}

// The first of parts that text does not hold in this order, or "" when it
// holds them all.
inline std::string first_missing(const std::string& text,
                                 std::initializer_list<std::string> parts) {
  size_t at = 0;
  for (const std::string& part : parts) {
    size_t p = text.find(part, at);
    if (p == std::string::npos) return part;
    at = p + part.size();
  }
  return "";
}

// A field of /proc/PID/FILE ("rchar" of io in bytes, "VmHWM" of status in
// kB); -1 when there is none.
inline long proc_field(pid_t pid, const std::string& file, const std::string& name) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
  std::string key;
  while (in >> key) {
    long v = -1;
    if (key == name + ":") return (in >> v) ? v : -1;
    std::getline(in, key);
  }
  return -1;
}

// Starts vemra (-b -l unless other arguments are given, in the display named
// when one is) with a pipe on standard input and its output in a file. With
// own_group it leads a process group of its own, so that a signal can be
// sent to it and the programs it starts at once, as a terminal sends Ctrl-C.
// With terminal its output goes to a terminal first, as at a user's screen,
// so the program writes each line as it ends; what comes out is copied into
// the file.
struct LiveSession {
  pid_t pid = -1;
  int in = -1;
  std::string out_name;

  LiveSession(const TempDir& dir, const std::string& name,
              std::vector<std::string> args = {"-b", "-l"}, const std::string& display = "",
              bool own_group = false, bool terminal = false) {
    out_name = dir.file(name);
    // Emptied before the program starts: a test that reuses the name must
    // not find the last session's output there while this one is slow to
    // start.
    const int out = open(out_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) return;
    int fds[2];
    if (pipe(fds) != 0) {
      close(out);
      return;
    }
    int screen = -1;
    std::string screen_name;
    if (terminal) {
      screen = posix_openpt(O_RDWR | O_NOCTTY);
      if (screen < 0 || grantpt(screen) != 0 || unlockpt(screen) != 0) {
        close(out);
        return;
      }
      screen_name = ptsname(screen);
    }
    const prepared_exec start(dir.path(), std::move(args),
                              display.empty() ? std::vector<std::string>{}
                                              : std::vector<std::string>{"DISPLAY=" + display});
    pid = fork();
    if (pid == 0) {
      if (own_group) setpgid(0, 0);
      dup2(fds[0], 0);
      close(fds[1]);
      int to = out;
      if (terminal) {
        close(screen);
        to = open(screen_name.c_str(), O_RDWR | O_NOCTTY);
        termios raw;
        tcgetattr(to, &raw);
        cfmakeraw(&raw);  // lines end in "\n" alone
        tcsetattr(to, TCSANOW, &raw);
      }
      dup2(to, 1);
      dup2(to, 2);
      start.run();
    }
    if (own_group && pid > 0) setpgid(pid, pid);
    close(fds[0]);
    in = fds[1];
    if (terminal) {
      // Ends when the program's end closes the terminal.
      copier = std::thread([screen, out] {
        char buf[4096];
        for (ssize_t n; (n = read(screen, buf, sizeof buf)) > 0;)
          if (write(out, buf, size_t(n)) != n) break;
        close(out);
        close(screen);
      });
    } else {
      close(out);
    }
  }
  ~LiveSession() {
    if (in >= 0) close(in);
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (copier.joinable()) copier.join();
  }
  std::string output() const { return read_file(out_name); }
  // Waits until the output holds text n times (up to `seconds`, long enough
  // for a sanitized build on a loaded machine).
  bool wait_for(const std::string& text, size_t n = 1, int seconds = 30) {
    for (int i = 0; i < seconds * 100; ++i) {
      if (count_of(output(), text) >= n) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  bool send(const std::string& s) {
    return write(in, s.data(), s.size()) == static_cast<ssize_t>(s.size());
  }
  void close_input() {
    if (in >= 0) close(in);
    in = -1;
  }
  // Exit status, or 128 + signal (-1 if it does not end within 30 s).
  int finish() {
    for (int i = 0; i < 3000; ++i) {
      int st = 0;
      pid_t w = waitpid(pid, &st, WNOHANG);
      if (w == pid) {
        pid = -1;
        if (copier.joinable()) copier.join();
        if (WIFEXITED(st)) return WEXITSTATUS(st);
        return 128 + WTERMSIG(st);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

 private:
  std::thread copier;  // terminal to file
};

}  // namespace vemra_test

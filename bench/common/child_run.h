// Runs a program as a child process with its output thrown away and reports
// its wall time and peak resident memory: side-by-side runs of vemra and a
// peer tool on the same data.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

struct child_run {
  double seconds = -1;    // wall time, -1 when it failed
  double peak_mib = 0;    // its largest resident size
  double system_s = 0;    // time spent in the kernel
  long minor_faults = 0;  // pages it touched for the first time
};

// out: a file that takes what the program prints (thrown away when empty).
inline child_run run_child(const std::vector<std::string>& argv, const std::string& out = "") {
  child_run r;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    const int sink = out.empty() ? null : open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(null, 0);
    dup2(sink < 0 ? null : sink, 1);
    dup2(null, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage use{};
  if (pid < 0 || wait4(pid, &status, 0, &use) != pid) return r;
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) r.seconds = took.count();
  r.peak_mib = use.ru_maxrss / 1024.0;
  r.system_s = double(use.ru_stime.tv_sec) + use.ru_stime.tv_usec / 1e6;
  r.minor_faults = use.ru_minflt;
  return r;
}

inline double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

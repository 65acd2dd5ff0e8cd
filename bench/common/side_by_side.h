// Whole programs timed side by side: the program and its peer (or a plain
// copy of the bytes) run in turn on the same data, pair after pair, and the
// median of the pairs' ratios is taken, so that a machine whose speed drifts
// during the run still gives a fair ratio. Peak memories come from the
// system's accounting of each finished child.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace side_by_side {

struct child_run {
  double seconds = -1;  // wall time, -1 when it failed
  double peak_mib = 0;  // its largest resident size
};

// Runs argv with standard input and error on /dev/null and its output into
// /dev/null, and reports its time and peak memory.
inline child_run run_child(const std::vector<std::string>& argv) {
  child_run r;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
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
  return r;
}

inline double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct pairs {
  bool ok = false;
  double a_s = 0, b_s = 0;  // median seconds of each
  double ratio = 0;         // median of the pairs' a / b
  double a_peak = 0, b_peak = 0;
};

// One unmeasured run of each (it fills the page cache), then n pairs a, b.
inline pairs interleaved(const std::vector<std::string>& a, const std::vector<std::string>& b,
                         int n) {
  pairs p;
  if (run_child(a).seconds < 0 || run_child(b).seconds < 0) return p;
  std::vector<double> as, bs, rs;
  for (int i = 0; i < n; i++) {
    const child_run x = run_child(a), y = run_child(b);
    if (x.seconds <= 0 || y.seconds <= 0) return p;
    as.push_back(x.seconds);
    bs.push_back(y.seconds);
    rs.push_back(x.seconds / y.seconds);
    p.a_peak = std::max(p.a_peak, x.peak_mib);
    p.b_peak = std::max(p.b_peak, y.peak_mib);
  }
  p.a_s = median(as);
  p.b_s = median(bs);
  p.ratio = median(rs);
  p.ok = true;
  return p;
}

// The machine's load over the last minute, to print beside the figures.
inline double load_average() {
  double l[1] = {0};
  return getloadavg(l, 1) == 1 ? l[0] : -1;
}

}  // namespace side_by_side

// Whole programs timed side by side: the program and its peer (or a plain
// copy of the bytes) run in turn on the same data, pair after pair, and the
// median of the pairs' ratios is taken, so that a machine whose speed drifts
// during the run still gives a fair ratio. Peak memories come from the
// system's accounting of each finished child.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "child_run.h"

namespace side_by_side {

struct pairs {
  bool ok = false;
  double a_s = 0, b_s = 0;  // median seconds of each
  double ratio = 0;         // median of the pairs' a / b
  double a_peak = 0, b_peak = 0;
  double a_sys = 0, b_sys = 0;        // median kernel seconds of each
  double a_faults = 0, b_faults = 0;  // median minor page faults of each
  std::vector<double> as, bs, rs, asys, bsys, af, bf;

  // Takes one pair; false when either run failed.
  bool add(const child_run& x, const child_run& y) {
    if (x.seconds <= 0 || y.seconds <= 0) return false;
    as.push_back(x.seconds);
    bs.push_back(y.seconds);
    rs.push_back(x.seconds / y.seconds);
    asys.push_back(x.system_s);
    bsys.push_back(y.system_s);
    af.push_back(double(x.minor_faults));
    bf.push_back(double(y.minor_faults));
    a_sys = median(asys);
    b_sys = median(bsys);
    a_faults = median(af);
    b_faults = median(bf);
    a_peak = std::max(a_peak, x.peak_mib);
    b_peak = std::max(b_peak, y.peak_mib);
    a_s = median(as);
    b_s = median(bs);
    ratio = median(rs);
    ok = true;
    return true;
  }
};

// One unmeasured run of each (it fills the page cache), then n pairs a, b.
inline pairs interleaved(const std::vector<std::string>& a, const std::vector<std::string>& b,
                         int n) {
  pairs p;
  if (run_child(a).seconds < 0 || run_child(b).seconds < 0) return p;
  for (int i = 0; i < n; i++) {
    if (!p.add(run_child(a), run_child(b))) return pairs{};
  }
  return p;
}

// Runs one pair a, b for each turn of a benchmark's loop into p; false
// (after telling the benchmark) when a run failed.
template <class State>
bool measure(State& state, pairs& p, const std::vector<std::string>& a,
             const std::vector<std::string>& b) {
  for (auto _ : state) {
    if (!p.add(run_child(a), run_child(b))) {
      state.SkipWithError("a command failed");
      return false;
    }
  }
  return true;
}

// The machine's load over the last minute, to print beside the figures.
inline double load_average() {
  double l[1] = {0};
  return getloadavg(l, 1) == 1 ? l[0] : -1;
}

}  // namespace side_by_side

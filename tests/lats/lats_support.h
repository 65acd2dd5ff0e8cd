// Helpers for the writer tests: errors never end the test process, files go
// to a temporary directory, grids get names of their own (grids are
// process-wide and their names must be new).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "data/test_gridread_support.h"
#include "lats/lats.h"
#include "support/stdout_capture.h"
#include "support/vemra_run.h"

namespace latstest {

struct Writer : ::testing::Test {
  vemra_test::TempDir dir;
  void SetUp() override {
    lats_erropt(2);  // verbose, never fatal: the bridge's setting
    lats_qcopt(1);
  }
  std::string path(const std::string& name) const { return dir.file(name); }
};

inline std::string grid_name() {
  static int n = 0;
  return "g" + std::to_string(++n);
}

inline std::vector<double> ramp(double first, double step, int n) {
  std::vector<double> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = first + step * i;
  return v;
}

inline int grid(const std::vector<double>& lons, const std::vector<double>& lats,
                int type = LATS_LINEAR) {
  return lats_grid(grid_name().c_str(), type, static_cast<int>(lons.size()), lons.data(),
                   static_cast<int>(lats.size()), lats.data());
}

using grtest::have;
using grtest::shell;

// What a call prints on standard error.
template <class F>
std::string stderr_of(F&& f) {
  StdoutCapture cap(2);
  f();
  return cap.text();
}

// Calls f, which must return want and print text on standard error.
template <class F>
void expect_stderr(int want, const std::string& text, F&& f) {
  std::string err = stderr_of([&] { EXPECT_EQ(f(), want) << text; });
  EXPECT_NE(err.find(text), std::string::npos) << err;
}

}  // namespace latstest

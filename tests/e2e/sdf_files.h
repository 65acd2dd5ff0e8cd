// netCDF test files made at test time from the CDL kept in tests/sdf/cdl
// (ncgen) or by the peer tools, and the values ncdump prints for them.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/vemra_run.h"

namespace sdffiles {

inline std::string cdl(const std::string& name) {
  return std::string(VEMRA_SOURCE_DIR) + "/tests/sdf/cdl/" + name + ".cdl";
}

// Runs a shell command; true when it exited 0.
inline bool sh(const std::string& cmd) {
  return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0;
}

// Writes dir/out from the CDL file name; kind "" classic, "nc4" netCDF-4.
inline std::string make_nc(const vemra_test::TempDir& dir, const std::string& name,
                           const std::string& out, const std::string& kind = "") {
  std::string path = dir.file(out);
  std::string k = kind.empty() ? "" : " -k " + kind;
  EXPECT_TRUE(sh("ncgen" + k + " -o " + path + " " + cdl(name))) << name;
  return path;
}

// The numbers of `var = ... ;` in ncdump's data section; "_" is NaN.
inline std::vector<double> ncdump_values(const std::string& file, const std::string& var) {
  std::string tmp = file + ".dump";
  EXPECT_EQ(std::system(("ncdump -v " + var + " " + file + " > " + tmp).c_str()), 0);
  std::string text = vemra_test::read_file(tmp);
  size_t p = text.find("data:");
  p = text.find(" " + var + " =", p);
  std::vector<double> v;
  if (p == std::string::npos) return v;
  size_t e = text.find(';', p);
  std::string body = text.substr(p + var.size() + 3, e - p - var.size() - 3);
  for (char& c : body)
    if (c == ',') c = ' ';
  std::istringstream in(body);
  std::string w;
  while (in >> w) v.push_back(w == "_" ? std::nan("") : std::atof(w.c_str()));
  return v;
}

// The values of the first "Printing Grid" block after the command's echo.
inline std::vector<double> printed_values(const std::string& out, const std::string& cmd) {
  size_t p = out.find("ka-> " + cmd + "\n");
  std::vector<double> v;
  if (p == std::string::npos) return v;
  p = out.find("Printing Grid", p);
  if (p == std::string::npos) return v;
  p = out.find('\n', p) + 1;
  size_t e = out.find("ka-> ", p);
  std::istringstream in(out.substr(p, e - p));
  double x;
  while (in >> x) v.push_back(x);
  return v;
}

}  // namespace sdffiles

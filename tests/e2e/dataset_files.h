// Small data sets written by the end-to-end tests of "open", "set" and
// "query", and a way to pick one command's answer out of a session.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/vemra_run.h"

namespace dsfiles {

// The text the program printed for the command line `cmd` (between its echo
// after the prompt and the next prompt).
inline std::string answer(const std::string& out, const std::string& cmd) {
  std::string key = "ka-> " + cmd + "\n";
  size_t p = out.find(key);
  if (p == std::string::npos) return "<command not found>";
  p += key.size();
  size_t e = out.find("ka-> ", p);
  return out.substr(p, e == std::string::npos ? std::string::npos : e - p);
}

// "d.ctl" and "d.dat": lon 0..30 by 10, lat -10..10 by 10, 6-hourly times
// from 00Z 1 Jan 2000, "a" on `levels` and "b" at the surface, each point's
// value given by a(x, y, z, t) and b(x, y, t) of its 1-based grid indices.
inline void write_ab_dataset(const vemra_test::TempDir& dir, const std::string& title,
                             const std::vector<int>& levels, int times,
                             float (*a)(int, int, int, int), float (*b)(int, int, int)) {
  const int nx = 4, ny = 3, nz = static_cast<int>(levels.size());
  std::string zdef = "zdef " + std::to_string(nz) + " levels";
  for (int l : levels) zdef += " " + std::to_string(l);
  vemra_test::write_file(dir.file("d.ctl"),
                         "dset ^d.dat\ntitle " + title +
                             "\nundef -9.99e33\nxdef 4 linear 0 10\nydef 3 linear -10 10\n" + zdef +
                             "\ntdef " + std::to_string(times) +
                             " linear 00z01jan2000 6hr\nvars 2\na " + std::to_string(nz) +
                             " 0 A\nb 0 0 B\nendvars\n");
  std::vector<float> v;
  for (int t = 1; t <= times; t++) {
    for (int z = 1; z <= nz; z++)
      for (int y = 1; y <= ny; y++)
        for (int x = 1; x <= nx; x++) v.push_back(a(x, y, z, t));
    for (int y = 1; y <= ny; y++)
      for (int x = 1; x <= nx; x++) v.push_back(b(x, y, t));
  }
  vemra_test::write_file(dir.file("d.dat"),
                         std::string(reinterpret_cast<const char*>(v.data()), v.size() * 4));
}

// One command line and what it must print; "-" leaves the answer unchecked
// (a line that only sets the scene).
struct step {
  std::string cmd, want;
};

// Runs `before` and then the steps in one batch session in dir and checks
// each step's answer, found in order.
inline void expect_steps(const vemra_test::TempDir& dir, const std::string& before,
                         const std::vector<step>& steps) {
  std::string input = before;
  for (const step& s : steps) input += s.cmd + "\n";
  std::string out = vemra_test::run_batch(input, dir.path()).out;
  size_t at = 0;
  for (const step& s : steps) {
    size_t p = out.find("ka-> " + s.cmd + "\n", at);
    if (p == std::string::npos) {
      ADD_FAILURE() << "no answer to " << s.cmd;
      return;
    }
    at = p + 1;
    if (s.want != "-") {
      EXPECT_EQ(answer(out.substr(p), s.cmd), s.want) << s.cmd;
    }
  }
}

// A grid of nx x ny x nz points and nt times from lon 0 by dx, lat -30 by 30
// (or the levels given), 6-hourly from 00Z 1 Jan 1990; one variable with
// levels and one without. The data file gets the right size.
inline void write_grid(const vemra_test::TempDir& dir, const std::string& name, int nx, float dx,
                       int ny, const std::string& zdef, int nz, int nt,
                       const std::string& extra = "") {
  std::string ctl = "dset ^" + name + ".dat\ntitle Grid " + name + "\nundef -9.99e33\n" + "xdef " +
                    std::to_string(nx) + " linear 0 " + std::to_string(dx) + "\n" + "ydef " +
                    std::to_string(ny) + " linear -30 30\n" + zdef + "\n" + "tdef " +
                    std::to_string(nt) + " linear 00z01jan1990 6hr\n" + extra + "vars 2\nu " +
                    std::to_string(nz) +
                    " 33,100 U Wind\nps 0 1 Surface Pressure\n"
                    "endvars\n";
  vemra_test::write_file(dir.file(name + ".ctl"), ctl);
  vemra_test::write_file(dir.file(name + ".dat"),
                         std::string(size_t(4) * nx * ny * (nz + 1) * nt, '\0'));
}

inline void put_be(std::string& s, uint32_t v) {
  for (int sh = 24; sh >= 0; sh -= 8) s += static_cast<char>((v >> sh) & 0xff);
}

// A station data set of nt times with its map (version 2) and an empty data
// file.
inline void write_station(const vemra_test::TempDir& dir, const std::string& name, int nt) {
  std::string map = "Vemra_stnmapV002";
  put_be(map, nt);
  put_be(map, 10);
  for (int i = 0; i < nt; i++) put_be(map, 0);
  for (int i = 0; i < nt; i++) put_be(map, 0);
  vemra_test::write_file(dir.file(name + ".map"), map);
  vemra_test::write_file(dir.file(name + ".dat"), "");
  vemra_test::write_file(dir.file(name + ".ctl"),
                         "dset ^" + name + ".dat\ndtype station\nstnmap ^" + name +
                             ".map\ntitle Stations\nundef -999\ntdef " + std::to_string(nt) +
                             " linear 12z1jan2000 12hr\nvars 2\nps 0 0 Pressure\nt 1 0 Temp\n"
                             "endvars\n");
}

}  // namespace dsfiles

// Binary grid files whose variables are stored in level-interleaved groups
// or in blocks of all their times: a small program here lays the file out
// from the layout's own description (a group's members alternate level by
// level, each grid once a time; a time block holds one variable's times one
// after another), and every variable, level and time is read back through
// "open" and "display".
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "support/vemra_run.h"

using namespace vemra_test;

namespace {

constexpr int kNx = 4, kNy = 3, kNt = 3;

// One entry of a time block: a variable stored level after level, or a
// group whose members alternate at every level.
struct block {
  std::vector<std::string> names;  // one name: a plain variable
  int levels;                      // 0: no vertical dimension
};

// The value of variable number k (1-based, in the order of the blocks) at
// level z, time t and point p (0-based, x fastest).
float value_at(int k, int z, int t, int p) { return float(1000 * k + 100 * z + 10 * t) + 0.5f * p; }

struct layout {
  std::string name;
  std::vector<block> blocks;
  bool sequential;
  // Every variable holds all its times in one block (its levels within
  // each time), the blocks one after another; plain variables only.
  bool time_blocks = false;
};

// The descriptor and the data file of a layout: lon 0.., lat -10.., three
// levels, 6-hourly times.
void write_layout(const TempDir& dir, const layout& l) {
  std::string vars;
  int count = 0;
  for (const block& b : l.blocks)
    for (size_t m = 0; m < b.names.size(); m++, count++) {
      std::string units = l.time_blocks         ? "-1,20"
                          : b.names.size() == 1 ? "0"
                          : m == 0              ? "-1,10,1"
                                                : "-1,10,2";
      vars +=
          b.names[m] + " " + std::to_string(b.levels) + " " + units + " var " + b.names[m] + "\n";
    }
  write_file(dir.file("g.ctl"), "dset ^g.dat\nundef -9.99e33\n" +
                                    std::string(l.sequential ? "options sequential\n" : "") +
                                    "xdef 4 linear 0 10\nydef 3 linear -10 10\n"
                                    "zdef 3 levels 1000 850 500\n"
                                    "tdef 3 linear 00z01jan2000 6hr\nvars " +
                                    std::to_string(count) + "\n" + vars + "endvars\n");
  std::string data;
  auto grid = [&](int k, int z, int t) {
    const int32_t marker = 4 * kNx * kNy;
    if (l.sequential) data.append(reinterpret_cast<const char*>(&marker), 4);
    for (int p = 0; p < kNx * kNy; p++) {
      float v = value_at(k, z, t, p);
      data.append(reinterpret_cast<const char*>(&v), 4);
    }
    if (l.sequential) data.append(reinterpret_cast<const char*>(&marker), 4);
  };
  if (l.time_blocks) {
    for (size_t k = 0; k < l.blocks.size(); k++)
      for (int t = 1; t <= kNt; t++)
        for (int z = 1; z <= (l.blocks[k].levels ? l.blocks[k].levels : 1); z++)
          grid(int(k) + 1, z, t);
    write_file(dir.file("g.dat"), data);
    return;
  }
  for (int t = 1; t <= kNt; t++) {
    int k0 = 1;
    for (const block& b : l.blocks) {
      const int nz = b.levels ? b.levels : 1;
      for (int z = 1; z <= nz; z++)
        for (size_t m = 0; m < b.names.size(); m++) grid(k0 + int(m), z, t);
      // A plain variable's levels follow one another: the loop above with
      // one member lays them out so.
      k0 += int(b.names.size());
    }
  }
  write_file(dir.file("g.dat"), data);
}

std::string printed(int k, int z, int t) {
  std::string s = "Printing Grid -- 12 Values -- Undef = -9.99e+33\n";
  for (int p = 0; p < kNx * kNy; p++) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g ", value_at(k, z, t, p));
    s += buf;
    if (p % 8 == 7 || p == kNx * kNy - 1) s += "\n";
  }
  return s;
}

}  // namespace

TEST(GridLayouts, LevelInterleavedGroupsReadEveryVariableLevelAndTime) {
  const std::vector<layout> layouts = {
      {"one group of two", {{{"u", "v"}, 2}}, false},
      {"groups among plain variables",
       {{{"ps"}, 0}, {{"u", "v", "w"}, 2}, {{"q"}, 3}, {{"a", "b"}, 3}},
       false},
      {"the same, sequential",
       {{{"ps"}, 0}, {{"u", "v", "w"}, 2}, {{"q"}, 3}, {{"a", "b"}, 3}},
       true},
      // Surface variables between and after ones with levels: each time of
      // each lies one grid (levels grids) further on in its own block.
      {"time blocks", {{{"ps"}, 0}, {{"q"}, 3}, {{"ts"}, 0}, {{"u"}, 2}, {{"pr"}, 0}}, false, true},
  };
  for (const layout& l : layouts) {
    SCOPED_TRACE(l.name);
    TempDir dir;
    write_layout(dir, l);
    std::vector<dsfiles::step> steps;
    int k = 1;
    for (const block& b : l.blocks)
      for (const std::string& name : b.names) {
        for (int t = 1; t <= kNt; t++)
          for (int z = 1; z <= (b.levels ? b.levels : 1); z++) {
            steps.push_back({"set z " + std::to_string(z), "-"});
            steps.push_back({"set t " + std::to_string(t), "-"});
            steps.push_back({"d " + name, printed(k, z, t)});
          }
        k++;
      }
    dsfiles::expect_steps(dir, "open g.ctl\nset x 1 4\nset y 1 3\nset gxout print\n", steps);
  }
}

// Helpers for the grid reading tests: data sets written by the test itself,
// opened through the descriptor parser, and grid requests built by hand.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/mfcmn.h"
#include "data/descriptor.h"
#include "data/filerec.h"
#include "data/gridread.h"
#include "data/result.h"
#include "support/vemra_run.h"
#include "support/stdout_capture.h"

namespace grtest {

// The value the test stores at a grid point: exact in float for the small
// sizes used here, and different at every point.
inline float f(int x, int y, int z = 1, int t = 1) {
  return static_cast<float>(t * 100000 + z * 10000 + y * 100 + x);
}

// Appends the host representation of a 4-byte value, optionally reversed.
template <class T>
inline void put_host(std::string& s, T v, bool reversed = false) {
  static_assert(sizeof(T) == 4);
  char b[4];
  std::memcpy(b, &v, 4);
  if (reversed) {
    std::swap(b[0], b[3]);
    std::swap(b[1], b[2]);
  }
  s.append(b, 4);
}
inline void put_f32(std::string& s, float v, bool reversed = false) { put_host(s, v, reversed); }

struct record_deleter {
  void operator()(file_descriptor* p) const {
    if (p->data_stream) std::fclose(p->data_stream);
    frepfi(p, 0);
  }
};
using record = std::unique_ptr<file_descriptor, record_deleter>;

// Parses the descriptor at path and opens its data file (templated data
// sets open theirs as time moves). What the parse printed goes to out when
// given; else the parse must succeed.
inline record open_file(const std::string& path, std::string* out = nullptr) {
  mfcmn.calendar_365 = -999;
  record r(getpfi());
  StdoutCapture cap;
  int rc = kaddes(path.c_str(), r.get(), 1);
  std::string text = cap.text();
  if (out)
    *out = text;
  else
    EXPECT_EQ(rc, 0) << text;
  if (rc != 0) return nullptr;
  if (!r->template_flag) {
    r->data_stream = std::fopen(r->data_file_name, "rb");
    EXPECT_NE(r->data_stream, nullptr) << r->data_file_name;
  }
  return r;
}

// The same for the descriptor text, written as d.ctl in dir.
inline record open_text(const vemra_test::TempDir& dir, const std::string& ctl) {
  vemra_test::write_file(dir.file("d.ctl"), ctl);
  return open_file(dir.file("d.ctl"));
}

struct grid_deleter {
  void operator()(grid_field* g) const { kagfre(g); }
};
using grid_ptr = std::unique_ptr<grid_field, grid_deleter>;

struct read_result {
  int rc = 0;
  std::string out;
  grid_ptr grid;
  float at(int i, int j = 0) const { return grid->values[j * grid->isiz + i]; }
  // The request record of the read, for the row readers below it.
  read_request request() const {
    read_request rq;
    rq.grid = grid.get();
    rq.var = grid->variable;
    rq.file = grid->file;
    return rq;
  }
};

// Reads variable `var` of the data set over the index ranges lo..hi with the
// varying dimensions idim and jdim.
inline read_result read(file_descriptor* pfi, int var, int idim, int jdim, std::array<int, 4> lo,
                        std::array<int, 4> hi) {
  read_result r;
  auto* g = static_cast<grid_field*>(std::calloc(1, sizeof(grid_field)));
  g->file = pfi;
  g->variable = &pfi->variables[var];
  g->undef = pfi->undef;
  g->idim = idim;
  g->jdim = jdim;
  for (int d = 0; d < 4; d++) {
    g->dim_min[d] = lo[d];
    g->dim_max[d] = hi[d];
  }
  r.grid.reset(g);
  StdoutCapture cap2;
  r.rc = kaggrd(g);
  r.out = cap2.text();
  return r;
}

// Checks the sizes and every value against want(i, j) (0-based), reporting
// the first difference only.
template <class F>
void expect_grid(const read_result& r, int isiz, int jsiz, F want, const std::string& what = "") {
  ASSERT_EQ(r.grid->isiz, isiz) << what;
  ASSERT_EQ(r.grid->jsiz, jsiz) << what;
  for (int j = 0; j < jsiz; j++)
    for (int i = 0; i < isiz; i++)
      if (r.at(i, j) != want(i, j)) {
        ADD_FAILURE() << what << " at " << i << "," << j << ": " << r.at(i, j) << " want "
                      << want(i, j);
        return;
      }
}

inline bool contains(const std::string& hay, const std::string& needle) {
  return hay.find(needle) != std::string::npos;
}

// Peer tools: whether one is installed, and a command's standard output
// when run in dir ("" when it fails).
inline bool have(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}
inline std::string shell(const vemra_test::TempDir& d, const std::string& cmd) {
  std::string full = "cd " + d.path() + " && " + cmd + " > " + d.file("shell.out") + " 2>/dev/null";
  return std::system(full.c_str()) == 0 ? vemra_test::read_file(d.file("shell.out")) : "";
}

// The points grib_get_data prints (with its arguments), in its order.
struct peer_point {
  double lat, lon, v;
};
inline std::vector<peer_point> peer_points(const vemra_test::TempDir& d, const std::string& args) {
  std::istringstream in(shell(d, "grib_get_data " + args));
  std::string header;
  std::getline(in, header);
  std::vector<peer_point> out;
  for (peer_point p; in >> p.lat >> p.lon >> p.v;) out.push_back(p);
  return out;
}

}  // namespace grtest

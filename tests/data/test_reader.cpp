// Readers plugged in through the reader table: a test reader serves rows,
// a block or station requests, and the grid reader walks, wraps and checks
// requests around it without knowing its kind.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/alloc.h"
#include "data/reader.h"
#include "test_gridread_support.h"

namespace {

using grtest::f;

// What the test readers saw.
struct seen {
  int starts = 0, rows = 0, points = 0, blocks = 0, stations = 0;
} calls;

void count_start(read_request&) { calls.starts++; }

// Every value straight from the test's formula.
int formula_row(read_request& rq, int x, int y, int z, int t, int tfile, int n, float* values) {
  EXPECT_EQ(t, tfile);  // not templated
  EXPECT_NE(rq.grid, nullptr);
  (n == 1 ? calls.points : calls.rows)++;
  for (int k = 0; k < n; k++) values[k] = f(x + k, y, z, t);
  return 0;
}

const reader formula_reader = {
    "Formula", count_start, nullptr, nullptr, formula_row, nullptr, nullptr, nullptr,
    nullptr,   nullptr,     false,   true,    nullptr,     false,   nullptr,
};

// A whole block at once: the value is its position in the block.
int position_block(read_request& rq, float* values) {
  calls.blocks++;
  const int64_t n = int64_t(rq.grid->isiz) * rq.grid->jsiz;
  for (int64_t i = 0; i < n; i++) values[i] = float(i) + 0.5f;
  return 0;
}

int no_reports(read_request& rq, station_set* set) {
  calls.stations++;
  EXPECT_EQ(rq.file, set->file);
  set->report_count = 0;
  set->first_report = nullptr;
  return 0;
}

const reader block_reader = {
    "Block", nullptr, nullptr, position_block, nullptr, nullptr, nullptr, no_reports,
    nullptr, nullptr, false,   false,          nullptr, false,   nullptr,
};

struct plugged {
  grtest::record file;
  explicit plugged(const reader* r) : file(getpfi()) {
    file_descriptor* p = file.get();
    p->x_size = 4;
    p->y_size = 3;
    p->z_size = 2;
    p->t_size = 2;
    p->undef = -999;
    p->x_wraps = 1;
    p->data_buffer = static_cast<float*>(kamalloc(sizeof(float) * 4));
    p->variable_count = 1;
    p->variables = static_cast<variable_descriptor*>(kacalloc(1, sizeof(variable_descriptor)));
    p->variables[0].levels = 2;
    p->reader = r;
  }
};

}  // namespace

// The grid reader walks a request over a reader it knows only by its
// entries: rows come round the circle of a wrapping file, rows outside
// the file are undefined, a fixed x reads point by point, and an
// interpolating reader gets the notice once a command.
TEST(ReaderTable, RowReaderPluggedInServesTheWalk) {
  plugged d(&formula_reader);
  calls = {};
  kaiomg();
  // x -1..6 over 4 columns, y 0..4 of 3 rows, at z 2, t 1.
  grtest::read_result r = grtest::read(d.file.get(), 0, 0, 1, {-1, 0, 2, 1}, {6, 4, 2, 1});
  ASSERT_EQ(r.rc, 0) << r.out;
  grtest::expect_grid(r, 8, 5, [](int i, int j) {
    const int x = ((i - 2) % 4 + 4) % 4 + 1, y = j;
    return y < 1 || y > 3 ? -999.0f : f(x, y, 2, 1);
  });
  EXPECT_EQ(calls.starts, 1);
  EXPECT_EQ(calls.rows, 3);  // one whole row per row inside the file
  EXPECT_NE(r.out.find("Automatic Grid Interpolation"), std::string::npos) << r.out;

  // y and z vary at x 7 (column 3 of the circle): one point at a time.
  grtest::read_result p = grtest::read(d.file.get(), 0, 1, 2, {7, 1, 1, 2}, {7, 3, 2, 2});
  ASSERT_EQ(p.rc, 0) << p.out;
  grtest::expect_grid(p, 3, 2, [](int i, int j) { return f(3, i + 1, j + 1, 2); });
  EXPECT_EQ(calls.points, 6);
  EXPECT_EQ(calls.starts, 2);
  // Once a command: the second request of the command says nothing more.
  EXPECT_EQ(p.out.find("Automatic Grid Interpolation"), std::string::npos) << p.out;

  // A time beyond the file never reaches the reader.
  grtest::read_result o = grtest::read(d.file.get(), 0, 0, 1, {1, 1, 1, 3}, {4, 3, 1, 3});
  EXPECT_EQ(o.rc, -1);
  EXPECT_EQ(calls.points + calls.rows, 9);
}

// A block reader takes the checked request whole; registered for the
// netCDF kind it replaces the refusal that kind gives before its layer is
// installed, and it serves station requests through the same table.
TEST(ReaderTable, RegisteredReaderTakesItsKind) {
  calls = {};
  plugged d(find_reader(data_kind::netcdf));
  grtest::read_result before = grtest::read(d.file.get(), 0, 0, 1, {1, 1, 1, 1}, {4, 3, 1, 1});
  EXPECT_EQ(before.rc, 1);
  EXPECT_NE(before.out.find("Self-describing files can't be read yet"), std::string::npos)
      << before.out;

  register_reader(data_kind::netcdf, &block_reader);
  plugged e(find_reader(data_kind::netcdf));
  grtest::read_result r = grtest::read(e.file.get(), 0, 0, 3, {2, 1, 1, 1}, {4, 1, 1, 2});
  ASSERT_EQ(r.rc, 0) << r.out;
  grtest::expect_grid(r, 3, 2, [](int i, int j) { return float(j * 3 + i) + 0.5f; });
  EXPECT_EQ(calls.blocks, 1);
  // A fixed level outside the variable is caught before the block reader.
  grtest::read_result z = grtest::read(e.file.get(), 0, 0, 1, {1, 1, 3, 1}, {4, 3, 3, 1});
  EXPECT_EQ(z.rc, -1);
  EXPECT_EQ(calls.blocks, 1);

  station_set set{};
  set.file = e.file.get();
  EXPECT_EQ(kagstn(&set), 0);
  EXPECT_EQ(calls.stations, 1);
  register_reader(data_kind::netcdf, nullptr);
  EXPECT_NE(find_reader(data_kind::netcdf), &block_reader);

  // A reader without station entries refuses station requests by name.
  plugged g(&formula_reader);
  set.file = g.file.get();
  StdoutCapture cap;
  EXPECT_EQ(kagstn(&set), 1);
  EXPECT_NE(cap.text().find("Formula data sets hold no station data"), std::string::npos);
}

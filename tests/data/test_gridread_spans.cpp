// Requests whose x range wraps, runs past the file's edges or lies partly
// inside it, over rows, levels and times of every stored layout: each grid
// is checked against the values the test stored and against the same rows
// read one at a time through the row reader.
#include <vector>

#include "test_gridread_support.h"

using namespace grtest;
using vemra_test::TempDir;
using vemra_test::write_file;

namespace {

constexpr int kNx = 8, kNy = 5, kNz = 3, kNt = 6;

struct layout {
  const char* name;
  const char* options;  // descriptor lines
  int form = 0;         // data form of the units field (0 float)
  bool big = false, yrev = false, zrev = false, seq = false, headers = false, templ = false;
};

int code(int x, int y, int z, int t) { return x + 10 * y + 60 * z + 200 * t; }

// The stored integer of a point and what it reads as.
int64_t stored_int(int form, int g) {
  return form == 1    ? g % 256
         : form == 2  ? g * 45
         : form == -2 ? g * 20 - 15000
                      : int64_t(g) * 1000003 - 700000000;
}

float want(const layout& l, int x, int y, int z, int t) {
  if (l.templ && (t == 3 || t == 4)) return -999.0f;  // the missing day
  if (l.form != 0) return float(stored_int(l.form, code(x, y, z, t)));
  if (x == 3 && y == 2) return -999.0f;  // stored undefined
  return f(x, y, z, t);
}

void put(std::string& s, const layout& l, int x, int y, int z, int t) {
  if (l.form == 0) return put_f32(s, x == 3 && y == 2 ? -999.0f : f(x, y, z, t), l.big);
  const int64_t v = stored_int(l.form, code(x, y, z, t));
  const int size = l.form == 1 ? 1 : l.form == 4 ? 4 : 2;
  for (int b = 0; b < size; b++) {
    const int shift = 8 * (l.big ? size - 1 - b : b);
    s.push_back(char((uint64_t(v) >> shift) & 0xFF));
  }
}

std::string time_bytes(const layout& l, int t) {
  std::string s;
  if (l.headers) s.append(24, 'h');  // header and time header
  for (int k = 1; k <= kNz; k++) {
    const int z = l.zrev ? kNz + 1 - k : k;
    std::string g;
    for (int r = 1; r <= kNy; r++)
      for (int x = 1; x <= kNx; x++) put(g, l, x, l.yrev ? kNy + 1 - r : r, z, t);
    const int32_t len = int32_t(g.size());
    if (l.headers) s.append(4, 'g');
    if (l.seq) s.append(reinterpret_cast<const char*>(&len), 4);
    s += g;
    if (l.seq) s.append(reinterpret_cast<const char*>(&len), 4);
  }
  if (l.headers) s.append(8, 't');
  return s;
}

std::string units(int form) {
  return form == 0 ? "99" : form == -2 ? "-1,40,2,-1" : "-1,40," + std::to_string(form);
}

record write_layout(const TempDir& dir, const layout& l, bool wraps) {
  if (l.templ) {
    for (int day : {1, 3})
      write_file(dir.file("s_0" + std::to_string(day) + ".dat"),
                 time_bytes(l, 2 * day - 1) + time_bytes(l, 2 * day));
  } else {
    std::string s(l.headers ? 12 : 0, 'f');
    for (int t = 1; t <= kNt; t++) s += time_bytes(l, t);
    write_file(dir.file("s.dat"), s);
  }
  return open_text(dir, std::string(l.templ ? "dset ^s_%d2.dat\n" : "dset ^s.dat\n") +
                            "undef -999\n" + l.options + "xdef 8 linear 0 " +
                            (wraps ? "45" : "10") +
                            "\nydef 5 linear 0 1\nzdef 3 levels 1000 850 700\n"
                            "tdef 6 linear 00z1jan2000 12hr\nvars 1\nu 3 " +
                            units(l.form) + " u\nendvars\n");
}

struct request {
  int jdim;
  std::array<int, 4> lo, hi;
};

// Reads the request and checks it both ways.
void check(file_descriptor* p, const layout& l, bool wraps, const request& q) {
  const std::string what = std::string(l.name) + (wraps ? " wrapping" : " bounded") + " jdim " +
                           std::to_string(q.jdim) + " x " + std::to_string(q.lo[0]) + ".." +
                           std::to_string(q.hi[0]);
  const int od = q.jdim < 0 ? 1 : q.jdim;
  const int size[4] = {kNx, kNy, kNz, kNt};
  read_result r = read(p, 0, 0, q.jdim, q.lo, q.hi);
  const int isiz = q.hi[0] - q.lo[0] + 1, jsiz = q.hi[od] - q.lo[od] + 1;
  bool any = false;
  expect_grid(
      r, isiz, jsiz,
      [&](int i, int j) {
        int at[4] = {q.lo[0] + i, q.lo[1], q.lo[2], q.lo[3]};
        at[od] += j;
        if (wraps) at[0] = ((at[0] - 1) % kNx + kNx) % kNx + 1;
        for (int d = 0; d < 4; d++)
          if (at[d] < 1 || at[d] > size[d]) return -999.0f;
        any = true;
        return want(l, at[0], at[1], at[2], at[3]);
      },
      what);
  EXPECT_EQ(r.rc, any ? 0 : -1) << what;

  // The row reader, one row at a time over the same request.
  std::vector<float> row(static_cast<size_t>(isiz));
  for (int j = 0; j < jsiz; j++) {
    int idx[4] = {q.lo[0], q.lo[1], q.lo[2], q.lo[3]};
    idx[od] += j;
    if (idx[od] < 1 || idx[od] > size[od]) continue;
    testing::internal::CaptureStdout();
    read_request rq = r.request();
    const int rc = kagrow(rq, row.data(), idx);
    testing::internal::GetCapturedStdout();
    EXPECT_LE(rc, 0) << what;
    EXPECT_EQ(std::memcmp(row.data(), r.grid->values + size_t(j) * isiz, row.size() * 4), 0)
        << what << " row " << j;
  }
}

}  // namespace

TEST(GridReadSpans, WrappedPartialAndReversedRequestsOfEveryLayout) {
  const std::string headers =
      "fileheader 12\nheaderbytes 16\ntheader 8\nxyheader 4\ntrailerbytes 8\n";
  layout layouts[] = {
      {"plain", ""},
      {"reversed big-endian", "options big_endian yrev zrev\n", 0, true, true, true},
      {"sequential", "options sequential\n", 0, false, false, false, true},
      {"headers", headers.c_str(), 0, false, false, false, false, true},
      {"templated", "options template yrev\n", 0, false, true, false, false, false, true},
      {"bytes", "", 1},
      {"signed swapped", "options byteswapped\n", -2, true},
      {"signed", "", -2},
      {"unsigned big-endian", "options big_endian zrev\n", 2, true, false, true},
      {"int", "", 4},
      {"int big-endian", "options big_endian\n", 4, true},
  };
  const request requests[] = {
      {1, {-3, 1, 2, 5}, {13, 5, 2, 5}},    // wraps at both ends
      {1, {1, 0, 1, 2}, {9, 6, 1, 2}},      // the wrap column, rows past both edges
      {1, {10, 2, 3, 6}, {12, 4, 3, 6}},    // wholly past the east edge
      {1, {3, 1, 1, 1}, {5, 5, 1, 1}},      // part of every row
      {1, {1, 1, 1, 3}, {8, 5, 1, 3}},      // whole rows
      {2, {-1, 3, 0, 1}, {9, 3, 4, 1}},     // levels, past both ends
      {3, {0, 2, 3, 0}, {8, 2, 3, 7}},      // times, across files
      {-1, {-20, 4, 2, 6}, {30, 4, 2, 6}},  // one row, far past both edges
  };
  for (const layout& l : layouts)
    for (bool wraps : {true, false}) {
      TempDir dir;
      record p = write_layout(dir, l, wraps);
      ASSERT_TRUE(p) << l.name;
      ASSERT_EQ(p->x_wraps, wraps ? 1 : 0);
      for (const request& q : requests) check(p.get(), l, wraps, q);
    }
}

TEST(GridReadSpans, LongRowsOfNarrowElements) {
  // 20,000 points a row wrap round the globe; rows are read past the
  // stream's buffer whether whole or row by row.
  const int nx = 20000;
  TempDir dir;
  std::string s;
  for (int y = 1; y <= 2; y++)
    for (int x = 1; x <= nx; x++) s.push_back(char((x * 7 + y) % 256));
  s.append(2 * nx, '\0');  // offsets count in each variable's own element size
  for (int y = 1; y <= 2; y++)
    for (int x = 1; x <= nx; x++) {
      const int16_t v = int16_t(x - 10000 - y);
      s.push_back(char(uint16_t(v) >> 8));
      s.push_back(char(v & 0xFF));
    }
  write_file(dir.file("s.dat"), s);
  record p = open_text(dir,
                       "dset ^s.dat\nundef -9.99e33\noptions big_endian\n"
                       "xdef 20000 linear 0 0.018\nydef 2 linear 0 1\nzdef 1 levels 1\n"
                       "tdef 1 linear 00z1jan2000 1dy\nvars 2\nb 0 -1,40,1 b\n"
                       "i 0 -1,40,2,-1 i\nendvars\n");
  ASSERT_TRUE(p);
  ASSERT_EQ(p->x_wraps, 1);
  auto x_of = [&](int i) { return ((i - 2) % nx + nx) % nx + 1; };  // from x = -1
  read_result b = read(p.get(), 0, 0, 1, {-1, 1, 1, 1}, {nx + 2, 2, 1, 1});
  expect_grid(b, nx + 4, 2, [&](int i, int j) { return float((x_of(i) * 7 + j + 1) % 256); });
  read_result v = read(p.get(), 1, 0, 1, {-1, 1, 1, 1}, {nx + 2, 2, 1, 1});
  expect_grid(v, nx + 4, 2, [&](int i, int j) { return float(x_of(i) - 10000 - (j + 1)); });
  std::vector<float> row(nx + 4);
  int idx[4] = {-1, 2, 1, 1};
  read_request rq = v.request();
  ASSERT_EQ(kagrow(rq, row.data(), idx), 0);
  EXPECT_EQ(std::memcmp(row.data(), v.grid->values + nx + 4, row.size() * 4), 0);
}

TEST(GridReadSpans, ShortFileReportsTheRowItStopsAt) {
  layout plain{"plain", ""};
  TempDir dir;
  record p = write_layout(dir, plain, true);
  ASSERT_TRUE(p);
  std::string s = vemra_test::read_file(dir.file("s.dat"));
  s.resize(s.size() - 8);
  write_file(dir.file("s.dat"), s);
  // The last grid (t 6, z 3) starts at element (5 * 3 + 2) * 40 = 680; its
  // fifth row, at 712, is short. Whole rows are one read of 40 elements.
  read_result wrapped = read(p.get(), 0, 0, 1, {0, 1, 3, 6}, {9, 5, 3, 6});
  EXPECT_EQ(wrapped.rc, 1);
  EXPECT_TRUE(contains(wrapped.out,
                       "Low Level I/O Error:  Read error on data file \n"
                       "  Data file name = " +
                           dir.file("s.dat") +
                           " \n"
                           "  Error reading 8 bytes at location 712 \n"))
      << wrapped.out;
  read_result whole = read(p.get(), 0, 0, 1, {1, 1, 3, 6}, {8, 5, 3, 6});
  EXPECT_EQ(whole.rc, 1);
  EXPECT_TRUE(contains(whole.out, "  Error reading 40 bytes at location 680 \n")) << whole.out;
  // The rows before it are sound.
  expect_grid(read(p.get(), 0, 0, 1, {0, 1, 3, 6}, {9, 4, 3, 6}), 10, 4, [](int i, int j) {
    return want(layout{"", ""}, (i + 7) % 8 + 1, j + 1, 3, 6);
  });
}

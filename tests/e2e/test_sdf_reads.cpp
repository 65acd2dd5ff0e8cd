// Reads of netCDF variables through "sdfopen" in every storage the reader
// treats on its own (classic files; netCDF-4 in chunks of whole rows, in
// small chunks, compressed, contiguous), rows stored either way up: boxes of
// several rows, sections over time, one-point series and time means, with
// packed and missing values. Every value is checked against the values the
// test wrote.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "sdf_files.h"
#include "support/live_session.h"

using namespace vemra_test;

namespace {

struct layout {
  int nt, ny, nx;
  bool descending;    // latitudes stored north to south
  std::string kind;   // "" classic, else the ncgen kind
  std::string extra;  // special attributes of f, g and p (netCDF-4 storage)
  int t0 = 0;         // the file's first time is time t0 + 1 of the values
};

constexpr float kFill = -999, kShortMiss = -32000;
constexpr double kDoubleMiss = 1e20;

// The values, by grid index (1-based, y from the south) and time t (1-based).
// f has two levels; missing points are spread through each variable.
double f_at(int t, int z, int y, int x) {
  if ((t + z + y * 3 + x) % 11 == 0) return std::nan("");
  return t * 1000 + z * 500 + y * 2 + x * 0.25;
}
int p_stored(int t, int y, int x) {
  if ((t + y * 5 + x) % 13 == 0) return int(kShortMiss);
  return (t * 37 + y * 13 + x * 7) % 20000 - 10000;
}
double p_at(int t, int y, int x) {
  const int s = p_stored(t, y, x);
  return s == int(kShortMiss) ? std::nan("") : s * 0.5 + 100;
}
double d_at(int t, int y, int x) {
  if ((t * 3 + y + x * 2) % 17 == 0) return std::nan("");
  return t * 0.125 + y * 10 + x * 1e-3;
}

std::string number(double v) {
  char b[40];
  std::snprintf(b, sizeof b, "%.17g", v);
  return b;
}

// The file's CDL: its rows in stored order.
std::string cdl(const layout& l) {
  std::string s = "netcdf r {\ndimensions:\n time = " + std::to_string(l.nt) +
                  " ;\n lev = 2 ;\n lat = " + std::to_string(l.ny) +
                  " ;\n lon = " + std::to_string(l.nx) +
                  " ;\nvariables:\n"
                  " double time(time) ;\n  time:units = \"hours since 2000-01-01 00:00:00\" ;\n"
                  " float lev(lev) ;\n  lev:units = \"hPa\" ;\n"
                  " float lat(lat) ;\n  lat:units = \"degrees_north\" ;\n"
                  " float lon(lon) ;\n  lon:units = \"degrees_east\" ;\n"
                  " float f(time, lev, lat, lon) ;\n  f:_FillValue = -999.f ;\n"
                  " short p(time, lat, lon) ;\n  p:scale_factor = 0.5f ;\n"
                  "  p:add_offset = 100.f ;\n  p:missing_value = -32000s ;\n"
                  " double g(time, lat, lon) ;\n  g:missing_value = 1.e20 ;\n" +
                  l.extra + "data:\n time = ";
  auto list = [&](int n, auto value) {
    for (int i = 0; i < n; i++) s += (i ? ", " : "") + value(i);
    s += " ;\n";
  };
  auto grid_y = [&](int row) { return l.descending ? l.ny - row : row + 1; };
  list(l.nt, [&](int i) { return std::to_string(6 * (l.t0 + i)); });
  s += " lev = 1000, 850 ;\n lat = ";
  list(l.ny, [&](int j) { return std::to_string(-2 * (l.ny - 1) + 4 * (grid_y(j) - 1)); });
  s += " lon = ";
  list(l.nx, [&](int i) { return number(360.0 / l.nx * i); });
  auto cell = [&](int i, int per_t, auto value) {
    const int t = l.t0 + i / per_t + 1, rest = i % per_t;
    const int row = rest / l.nx, x = rest % l.nx + 1;
    return value(t, row, x);
  };
  const int plane = l.ny * l.nx;
  s += " f = ";
  list(l.nt * 2 * plane, [&](int i) {
    const int z = i / plane % 2 + 1;
    return cell(i, 2 * plane, [&](int t, int row, int x) {
      double v = f_at(t, z, grid_y(row % l.ny), x);
      return std::isnan(v) ? std::string("-999") : number(v);
    });
  });
  s += " p = ";
  list(l.nt * plane, [&](int i) {
    return cell(i, plane,
                [&](int t, int row, int x) { return std::to_string(p_stored(t, grid_y(row), x)); });
  });
  s += " g = ";
  list(l.nt * plane, [&](int i) {
    return cell(i, plane, [&](int t, int row, int x) {
      double v = d_at(t, grid_y(row), x);
      return std::isnan(v) ? std::string("1e20") : number(v);
    });
  });
  return s + "}\n";
}

std::string make_file(const TempDir& dir, const std::string& name, const layout& l) {
  const std::string c = dir.file(name + ".cdl"), nc = dir.file(name);
  write_file(c, cdl(l));
  const std::string k = l.kind.empty() ? "" : " -k " + l.kind;
  EXPECT_TRUE(sdffiles::sh("ncgen" + k + " -o " + nc + " " + c)) << name;
  return nc;
}

std::vector<float> floats_of(const std::string& path) {
  const std::string bytes = read_file(path);
  std::vector<float> v(bytes.size() / 4);
  if (!v.empty()) std::memcpy(v.data(), bytes.data(), v.size() * 4);
  return v;
}

// One read: the commands that set it up and display it, and its values in
// the order written.
struct read_case {
  std::string name, commands;
  std::vector<double> want;  // NaN where undefined
  float undef;
};

void expect_values(const std::string& what, const std::vector<float>& got,
                   const std::vector<double>& want, float undef) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < want.size(); i++) {
    if (std::isnan(want[i]))
      EXPECT_EQ(got[i], undef) << what << " at " << i;
    else
      EXPECT_EQ(got[i], float(want[i])) << what << " at " << i;
  }
}

// Runs the cases on the file, one fwrite output each, and checks them.
void check_reads(const TempDir& dir, const std::string& file, const std::vector<read_case>& cases,
                 const std::string& what) {
  std::string in = "sdfopen " + file + "\nset gxout fwrite\n";
  for (const read_case& c : cases)
    in += "set fwrite -le " + c.name + ".bin\n" + c.commands + "disable fwrite\n";
  run_batch(in, dir.path());
  for (const read_case& c : cases)
    expect_values(what + " " + c.name, floats_of(dir.file(c.name + ".bin")), c.want, c.undef);
}

// Reads that go through whole rows, several times at once, one point a time,
// and time means, for a file of the layout.
std::vector<read_case> cases_for(const layout& l) {
  std::vector<read_case> cs;
  const int x0 = 3, x1 = l.nx / 2, y0 = 2, y1 = l.ny - 3, tm = l.nt / 2 + 1;
  auto span = [](int a, int b) { return " " + std::to_string(a) + " " + std::to_string(b); };
  std::string box = "set x" + span(x0, x1) + "\nset y" + span(y0, y1) + "\n";
  // A box of several rows at one time, each variable; f at its second level.
  read_case c{"fbox", box + "set z 2\nset t " + std::to_string(tm) + "\nd f\nset z 1\n", {}, kFill};
  for (int y = y0; y <= y1; y++)
    for (int x = x0; x <= x1; x++) c.want.push_back(f_at(tm, 2, y, x));
  cs.push_back(c);
  c = {"pbox", box + "set t " + std::to_string(tm) + "\nd p\n", {}, kShortMiss};
  for (int y = y0; y <= y1; y++)
    for (int x = x0; x <= x1; x++) c.want.push_back(p_at(tm, y, x));
  cs.push_back(c);
  // Sections of latitude and time at one longitude: every time at once
  // (for the larger classic file, more than one read's worth of doubles).
  const std::string section =
      "set x 7\nset y 1 " + std::to_string(l.ny) + "\nset t 1 " + std::to_string(l.nt) + "\n";
  c = {"gsection", section + "d g\n", {}, float(kDoubleMiss)};
  for (int t = 1; t <= l.nt; t++)
    for (int y = 1; y <= l.ny; y++) c.want.push_back(d_at(t, y, 7));
  cs.push_back(c);
  c = {"psection", section + "d p\n", {}, kShortMiss};
  for (int t = 1; t <= l.nt; t++)
    for (int y = 1; y <= l.ny; y++) c.want.push_back(p_at(t, y, 7));
  cs.push_back(c);
  // One point over every time, in one read and as a mean of one-point reads.
  const std::string point = "set x 5\nset y 4\n";
  c = {"fseries", point + "set t 1 " + std::to_string(l.nt) + "\nd f\n", {}, kFill};
  for (int t = 1; t <= l.nt; t++) c.want.push_back(f_at(t, 1, 4, 5));
  cs.push_back(c);
  auto mean = [&](auto value) {
    double sum = 0;
    int n = 0;
    for (int t = 1; t <= l.nt; t++) {
      const double v = value(t);
      if (!std::isnan(v)) sum += double(float(v)), n++;
    }
    return n ? sum / n : std::nan("");
  };
  c = {"pmean", point + "set t 1\nd ave(p, t=1, t=" + std::to_string(l.nt) + ")\n", {}, kShortMiss};
  c.want.push_back(mean([](int t) { return p_at(t, 4, 5); }));
  cs.push_back(c);
  // The mean over time of a box, grid by grid.
  c = {"gmean",
       box + "set t 1\nd ave(g, t=1, t=" + std::to_string(l.nt) + ")\n",
       {},
       float(kDoubleMiss)};
  for (int y = y0; y <= y1; y++)
    for (int x = x0; x <= x1; x++) c.want.push_back(mean([&](int t) { return d_at(t, y, x); }));
  cs.push_back(c);
  return cs;
}

}  // namespace

// A classic file large enough that a section of every time of the double
// variable is read in more than one go, rows stored both ways up.
TEST(SdfReads, ClassicBoxesSectionsSeriesAndMeans) {
  for (bool descending : {false, true}) {
    TempDir dir;
    const layout l{12, 40, 300, descending, "", ""};
    const std::string f = make_file(dir, "r.nc", l);
    check_reads(dir, f, cases_for(l), descending ? "classic, north to south" : "classic");
  }
}

// netCDF-4 storages: chunks of whole rows (read past the chunk cache),
// small chunks and compressed chunks (read through it), and contiguous
// storage.
TEST(SdfReads, NetCdf4StoragesGiveTheSameValues) {
  auto chunks = [](const std::string& f, const std::string& g) {
    return "  f:_ChunkSizes = " + f + " ;\n  p:_ChunkSizes = " + g + " ;\n  g:_ChunkSizes = " + g +
           " ;\n";
  };
  const struct {
    const char* what;
    bool descending;
    std::string extra;
  } storages[] = {
      {"whole-row chunks", false, chunks("1, 2, 14, 36", "1, 14, 36")},
      {"whole-row chunks of several times", true, chunks("3, 1, 14, 36", "4, 14, 36")},
      {"small chunks", true, chunks("1, 1, 4, 5", "2, 3, 8")},
      {"compressed", false,
       chunks("1, 2, 14, 36", "1, 14, 36") +
           "  f:_DeflateLevel = 1 ;\n  p:_DeflateLevel = 1 ;\n  p:_Shuffle = \"true\" ;\n"
           "  g:_Fletcher32 = \"true\" ;\n"},
      {"contiguous", true,
       "  f:_Storage = \"contiguous\" ;\n  p:_Storage = \"contiguous\" ;\n"
       "  g:_Storage = \"contiguous\" ;\n"},
  };
  for (const auto& s : storages) {
    TempDir dir;
    const layout l{7, 14, 36, s.descending, "nc4", s.extra};
    const std::string f = make_file(dir, "r4.nc", l);
    check_reads(dir, f, cases_for(l), s.what);
  }
}

// A series of daily files, rows stored north to south: sections, one-point
// series and means that run across the ends of the files hold each file's
// values.
TEST(SdfReads, SectionsAcrossTheFilesOfASeries) {
  TempDir dir;
  const int per_file = 4, files = 3;
  for (int k = 0; k < files; k++)
    make_file(dir, "s0" + std::to_string(k + 1) + ".nc",
              {per_file, 10, 24, true, "", "", k * per_file});
  const layout whole{per_file * files, 10, 24, true, "", "", 0};
  check_reads(dir, dir.file("s01.nc") + " s%d2.nc " + std::to_string(whole.nt), cases_for(whole),
              "series");
}

// A file of a series that is not on the first file's grid (stored the other
// way up, or with other points) is not read by the first file's coordinates:
// its times are undefined, with a message naming it, and the other files
// keep their values.
TEST(SdfReads, AFileOfASeriesOnAnotherGridIsNotMisread) {
  TempDir dir;
  const int per_file = 4;  // a day of six-hourly times: the template names days
  make_file(dir, "s01.nc", {per_file, 6, 8, true, "", "", 0});
  make_file(dir, "s02.nc", {per_file, 6, 8, false, "", "", per_file});
  make_file(dir, "s03.nc", {per_file, 6, 8, true, "", "", 2 * per_file});
  make_file(dir, "s04.nc", {per_file, 7, 8, true, "", "", 3 * per_file});
  const std::string column = "set x 3\nset y 1 6\nset t 1 " + std::to_string(4 * per_file) + "\n";
  RunResult r = run_batch(
      "sdfopen " + dir.file("s01.nc") + " s%d2.nc " + std::to_string(4 * per_file) +
          "\nset gxout fwrite\nset fwrite -le col.bin\n" + column + "d f\ndisable fwrite\n",
      dir.path());
  EXPECT_TRUE(
      contains(r.out, "s02.nc is not on the grid of the first file (Y value 1 is -10, not 10)"))
      << r.out;
  EXPECT_TRUE(
      contains(r.out, "s04.nc is not on the grid of the first file (Y has 7 points, not 6)"))
      << r.out;
  std::vector<double> want;
  for (int t = 1; t <= 4 * per_file; t++)
    for (int y = 1; y <= 6; y++) {
      const int file = (t - 1) / per_file + 1;
      want.push_back(file == 2 || file == 4 ? std::nan("") : f_at(t, 1, y, 3));
    }
  expect_values("series", floats_of(dir.file("col.bin")), want, kFill);
}

// A variable read along a dimension it lacks is refused with a message
// naming the variable and the dimension (across the longitude wrap too);
// with that dimension fixed it reads as ncdump shows it.
TEST(SdfReads, AVariableLackingAVaryingDimensionIsNamed) {
  TempDir dir;
  write_file(dir.file("m.cdl"),
             "netcdf m {\ndimensions:\n time = 2 ;\n lev = 3 ;\n lat = 4 ;\n lon = 8 ;\n"
             "variables:\n double time(time) ;\n  time:units = \"hours since 2000-01-01\" ;\n"
             " float lev(lev) ;\n  lev:units = \"hPa\" ;\n"
             " float lat(lat) ;\n  lat:units = \"degrees_north\" ;\n"
             " float lon(lon) ;\n  lon:units = \"degrees_east\" ;\n"
             " float CHI(time, lon) ;\n float PSI(time, lat) ;\n float SFC(lat, lon) ;\n"
             "data:\n time = 0, 6 ;\n lev = 1000, 850, 500 ;\n lat = -60, -20, 20, 60 ;\n"
             " lon = 0, 45, 90, 135, 180, 225, 270, 315 ;\n"
             " CHI = 1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13, 14, 15, 16, 17, 18 ;\n"
             " PSI = 21, 22, 23, 24, 25, 26, 27, 28 ;\n"
             " SFC = 31, 32, 33, 34, 35, 36, 37, 38, 41, 42, 43, 44, 45, 46, 47, 48,\n"
             "  51, 52, 53, 54, 55, 56, 57, 58, 61, 62, 63, 64, 65, 66, 67, 68 ;\n}\n");
  ASSERT_TRUE(sdffiles::sh("ncgen -o " + dir.file("m.nc") + " " + dir.file("m.cdl")));
  const std::vector<double> chi = sdffiles::ncdump_values(dir.file("m.nc"), "CHI");
  const std::vector<double> psi = sdffiles::ncdump_values(dir.file("m.nc"), "PSI");
  ASSERT_EQ(chi.size(), 16u);
  ASSERT_EQ(psi.size(), 8u);
  auto lacks = [](const std::string& var, const std::string& dim) {
    return "SDF:  Variable " + var + " has no " + dim + " dimension, but the " + dim +
           " varies; read it with one " + dim + ".\n";
  };
  struct c {
    std::string what, setup, var, want;
    std::vector<double> values;  // when the read succeeds
  };
  const c cases[] = {
      {"no latitude, round the globe",
       "set lon 0 360\nset lat -90 90\n",
       "chi",
       lacks("CHI", "latitude"),
       {}},
      {"no latitude, a regional box",
       "set lon 0 90\nset lat -90 90\n",
       "chi",
       lacks("CHI", "latitude"),
       {}},
      {"no latitude, one latitude",
       "set lon 0 90\nset lat 20\nset t 2\n",
       "chi",
       "",
       {chi[8], chi[9], chi[10]}},
      {"no longitude", "set lon 0 90\nset lat -90 90\n", "psi", lacks("PSI", "longitude"), {}},
      {"no longitude, round the globe",
       "set lon -180 180\nset lat 20\nset t 1 2\n",
       "psi",
       lacks("PSI", "longitude"),
       {}},
      {"no longitude, one longitude",
       "set lon 45\nset y 1 4\nset t 2\n",
       "psi",
       "",
       {psi[4], psi[5], psi[6], psi[7]}},
      {"no time", "set lon 0 90\nset lat 20\nset t 1 2\n", "sfc", lacks("SFC", "time"), {}},
      {"no level",
       "set lon 0 90\nset lat 20\nset lev 1000 500\n",
       "sfc",
       "  but the requested variable has no Z dimension\n",
       {}},
  };
  for (const c& k : cases) {
    RunResult r =
        run_batch("sdfopen m.nc\nset gxout print\n" + k.setup + "d " + k.var + "\n", dir.path());
    const std::string got = dsfiles::answer(r.out, "d " + k.var);
    EXPECT_FALSE(contains(got, "Failure reading SDF data")) << k.what << "\n" << got;
    if (k.want.empty()) {
      EXPECT_EQ(sdffiles::printed_values(r.out, "d " + k.var), k.values) << k.what << "\n" << got;
    } else {
      EXPECT_TRUE(contains(got, k.want)) << k.what << "\n" << got;
    }
  }
}

// The buffer a read of a variable leaves goes back when another variable is
// read, and before a grid is refused for want of room: under an
// address-space limit with room for one double field and its grid (103
// MB), a float grid of 98 MB of a second file reads after it, and a point
// of another variable leaves the session where it was before the fields.
TEST(SdfReads, ReadBuffersGoBackForOtherVariablesAndBeforeARefusal) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer maps more than any process limit";
#else
  TempDir dir;
  // 4096 by 2100 doubles, 69 MB each; 6144 by 4000 floats, 98 MB.
  ASSERT_TRUE(sdffiles::sh("cd " + dir.path() +
                           " && cdo -s -f nc -b F64 merge -setname,a -const,1,r4096x2100 "
                           "-setname,b -const,3,r4096x2100 f.nc && cdo -s -f nc -b F32 "
                           "-setname,c -const,2,r6144x4000 c.nc"));
  LiveSession s(dir, "s.out");
  ASSERT_GT(s.pid, 0);
  ASSERT_TRUE(s.send("sdfopen f.nc\nsdfopen c.nc\nset gxout stat\n"));
  ASSERT_TRUE(s.wait_for("ka-> ", 4)) << s.output();
  const long used_kb = proc_field(s.pid, "status", "VmSize");
  ASSERT_GT(used_kb, 0);
  const rlimit cap{rlim_t(used_kb * 1024 + (140L << 20)), rlim_t(used_kb * 1024 + (140L << 20))};
  ASSERT_EQ(prlimit(s.pid, RLIMIT_AS, &cap, nullptr), 0);
  ASSERT_TRUE(
      s.send("d a\nset dfile 2\nset x 1 6144\nset y 1 4000\nd c\nset dfile 1\n"
             "set lon 0 360\nset lat -90 90\nd a\nset x 1\nset y 1\nd b\n"));
  ASSERT_TRUE(s.wait_for("ka-> ", 16)) << s.output();
  const long after_kb = proc_field(s.pid, "status", "VmSize");
  const std::string out = s.output();
  ASSERT_TRUE(s.send("quit\n"));
  EXPECT_EQ(s.finish(), 0);
  EXPECT_EQ(first_missing(out, {"ka-> d a\n", "Min, Max = 1 1\n", "ka-> d c\n",
                                "Sizes = 6144 4000 24576000\n", "Min, Max = 2 2\n", "ka-> d a\n",
                                "Min, Max = 1 1\n", "ka-> d b\n", "Min, Max = 3 3\n"}),
            "")
      << out;
  EXPECT_FALSE(contains(out, "memory")) << out;
  EXPECT_LT(after_kb - used_kb, 20L << 10) << out;
#endif
}

// GRIB edition 1 files written by the independent tools (cdo, and eccodes'
// grib_set to change bit maps, widths, scaling, time units and grid ids)
// are indexed and read; every value must equal what grib_get_data decodes,
// within the rounding of the packing.
#include <cmath>
#include <sstream>

#include "data/gribbuild.h"
#include "test_gridread_support.h"

namespace {

using vemra_test::TempDir;

using grtest::shell;

// Runs a peer tool that writes a file; true when it succeeded.
bool run_tool(const TempDir& d, const std::string& cmd) {
  return std::system(("cd " + d.path() + " && " + cmd + " >/dev/null 2>&1").c_str()) == 0;
}

// Packing step 2^E / 10^D of the message, from grib_get.
double step(const TempDir& d, const std::string& file) {
  std::istringstream in(shell(d, "grib_get -p binaryScaleFactor,decimalScaleFactor " + file));
  int e = 0, dd = 0;
  in >> e >> dd;
  return std::ldexp(1.0, e) / std::pow(10.0, dd);
}

// Indexes `file` with the descriptor, reads time t and compares every point.
void check(const TempDir& d, const std::string& file, const std::string& dtype, int t,
           int times = 1) {
  SCOPED_TRACE(file + " " + dtype);
  const std::string ctl = "dset ^" + file + "\nindex ^" + file + ".idx\ndtype grib" + dtype +
                          "\nundef 9.999e20\nxdef 36 linear 0 10\nydef 19 linear -90 10\n"
                          "zdef 1 levels 0\ntdef " +
                          std::to_string(times) +
                          " linear 00z1jan2000 6hr\nvars 1\nv 0 1,1,0 random\nendvars\n";
  vemra_test::write_file(d.file("d.ctl"), ctl);
  mfcmn.calendar_365 = -999;
  StdoutCapture cap;
  ASSERT_EQ(latsgribmap(d.file("d.ctl").c_str(), 0), 1) << cap.text();
  auto pfi = grtest::open_text(d, ctl);
  ASSERT_TRUE(pfi);
  auto peer = grtest::peer_points(d, "-m 9.999e20 " + file);
  ASSERT_EQ(peer.size(), 36u * 19u);
  const double s = step(d, file);
  for (int tt = 1; tt <= times; tt++) {
    auto g = grtest::read(pfi.get(), 0, 0, 1, {1, 1, 1, tt}, {36, 19, 1, tt});
    ASSERT_EQ(g.rc, 0) << g.out;
    for (size_t k = 0; k < peer.size(); k++) {
      const float ours = g.at(int(k % 36), int(k / 36));
      ASSERT_EQ(peer[k].lon, float(k % 36) * 10);
      ASSERT_EQ(peer[k].lat, float(k / 36) * 10 - 90);
      if (tt != t) {
        ASSERT_EQ(ours, pfi->undef) << "time " << tt;
      } else {
        ASSERT_NEAR(ours, peer[k].v, s * 1e-3 + std::fabs(peer[k].v) * 2e-7) << k;
      }
    }
  }
}

}  // namespace

TEST(GribPeer, FilesOfTheIndependentToolsReadAsItDecodesThem) {
  if (!grtest::have("cdo") || !grtest::have("grib_set") || !grtest::have("grib_get_data"))
    GTEST_SKIP() << "cdo or eccodes tools not installed";
  TempDir d;
  const std::string make = "cdo -s -f grb -b %B settaxis,2000-01-01,00:00,6hour -random,r36x19 ";
  for (const char* b : {"8", "12", "16", "24", "32"}) {
    std::string cmd = make;
    cmd.replace(cmd.find("%B"), 2, b);
    ASSERT_TRUE(run_tool(d, cmd + "b" + b + ".grb"));
    check(d, std::string("b") + b + ".grb", "", 1);
  }
  // Missing values through a bit map; a constant field of 0 bits per value.
  ASSERT_TRUE(run_tool(d,
                       "cdo -s -f grb -b 16 settaxis,2000-01-01,00:00,6hour -setrtomiss,0.2,0.4 "
                       "-random,r36x19 bm.grb"));
  check(d, "bm.grb", "", 1);
  ASSERT_TRUE(
      run_tool(d, "cdo -s -f grb settaxis,2000-01-01,00:00,6hour -const,273.15,r36x19 c.grb"));
  check(d, "c.grb", "", 1);
  // Decimal scaling (7 bits), a grid id with its data set type, and forecast
  // times of 2 x 3 hours and 1 x 6 hours that land on the second time.
  ASSERT_TRUE(run_tool(d, "grib_set -s changeDecimalPrecision=2 b16.grb dec.grb"));
  check(d, "dec.grb", "", 1);
  ASSERT_TRUE(run_tool(d, "grib_set -s gridDefinition=3 b16.grb g3.grb"));
  check(d, "g3.grb", " 3", 1);
  ASSERT_TRUE(run_tool(d, "grib_set -s unitOfTimeRange=10,P1=2 b16.grb u10.grb"));
  check(d, "u10.grb", "", 2, 2);
  ASSERT_TRUE(run_tool(d, "grib_set -s P1=1 b16.grb u11.grb"));
  check(d, "u11.grb", "", 2, 2);
}

namespace {

// The README's descriptor of a T42 field from elsewhere, as the README
// gives it.
std::string readme_t42() {
  const std::string readme = vemra_test::read_file(std::string(VEMRA_SOURCE_DIR) + "/README.md");
  const size_t from = readme.find("    dset ^t2.grb\n");
  const size_t to = readme.find("    endvars\n", from);
  if (from == std::string::npos || to == std::string::npos) return "";
  std::istringstream in(readme.substr(from, to + 12 - from));
  std::string text;
  for (std::string line; std::getline(in, line);) text += line.substr(4) + "\n";
  return text;
}

struct built_set {
  int rc;
  std::string out;
};
built_set build_set(const TempDir& d, const std::string& ctl) {
  vemra_test::write_file(d.file("t2.ctl"), ctl);
  std::remove(d.file("t2.gmp").c_str());
  mfcmn.calendar_365 = -999;
  StdoutCapture cap;
  const int rc = latsgribmap(d.file("t2.ctl").c_str(), 0);
  return {rc, cap.text()};
}

// The messages of an edition 1 file without their grid descriptions.
std::string without_grids(const std::string& grib) {
  auto get3 = [](const std::string& b, size_t at) {
    return size_t((unsigned char)b[at]) << 16 | size_t((unsigned char)b[at + 1]) << 8 |
           size_t((unsigned char)b[at + 2]);
  };
  std::string out;
  for (size_t at = 0, n = 0; at + 8 <= grib.size(); at += n) {
    std::string m = grib.substr(at, n = get3(grib, at + 4));
    m.erase(8 + get3(m, 8), get3(m, 8 + get3(m, 8)));
    m[15] = char(m[15] & 0x7f);  // the flag of a grid description
    for (int b = 0; b < 3; b++) m[4 + size_t(b)] = char(m.size() >> (16 - 8 * b));
    out += m;
  }
  return out;
}

std::string without(std::string text, const std::string& line) {
  const size_t at = text.find(line);
  return at == std::string::npos ? text : text.erase(at, line.size());
}

}  // namespace

// cdo stores a Gaussian field's rows from north to south: the README's
// descriptor says so with yrev and every latitude reads its own row; one
// that takes the rows the other way round, or the columns from elsewhere,
// builds no index and names the message and the fix.
TEST(GribPeer, RowsAreReadInTheOrderTheFileStoresThem) {
  if (!grtest::have("cdo")) GTEST_SKIP() << "cdo not installed";
  TempDir d;
  const std::string field =
      " -setltype,105 -setlevel,2 -setcode,11 -expr,'v=clat(const)' -const,1,t42grid ";
  ASSERT_TRUE(run_tool(d, "cdo -s -f grb -b 24 -settaxis,2000-01-01,00:00" + field + "a.grb"));
  ASSERT_TRUE(run_tool(d, "cdo -s -f grb -b 24 -settaxis,2000-01-01,06:00" + field + "b.grb"));
  ASSERT_TRUE(run_tool(d, "cdo -s mergetime a.grb b.grb t2.grb"));
  const std::string ctl = readme_t42();
  ASSERT_NE(ctl.find("options yrev\n"), std::string::npos) << ctl;
  built_set r = build_set(d, ctl);
  ASSERT_EQ(r.rc, 1) << r.out;
  auto pfi = grtest::open_text(d, ctl);
  ASSERT_TRUE(pfi);
  for (int t = 1; t <= 2; t++) {
    auto g = grtest::read(pfi.get(), 0, 0, 1, {1, 1, 1, t}, {128, 64, 1, t});
    ASSERT_EQ(g.rc, 0) << g.out;
    for (int j : {0, 1, 31, 32, 63}) {
      const double lat = pfi->grid_to_world[1](pfi->grid_to_world_scaling[1], float(j + 1));
      EXPECT_NEAR(g.at(5, j), lat, 1e-3) << "y " << j + 1;
    }
  }
  EXPECT_NEAR(pfi->grid_to_world[1](pfi->grid_to_world_scaling[1], 64.0f), 87.864, 1e-5);

  const std::string first =
      "gribmap:  Message 1 at byte 0 (parameter 11, level type 105, level 2, 00Z01JAN2000) "
      "does not fit the descriptor's grid:\n";
  struct row {
    const char* name;
    std::string file;  // cdo operators on t2.grb; empty: t2.grb itself
    std::string ctl;
    std::string fix;
  };
  const row table[] = {
      {"rows stored north to south, no yrev", "", without(ctl, "options yrev\n"),
       "  Its rows are stored north to south: add \"options yrev\" to the descriptor.\n"},
      {"rows stored south to north under yrev", "-invertlat", ctl,
       "  Its rows are stored south to north: take yrev out of the descriptor's options.\n"},
      {"columns from 180 west", "-sellonlatbox,-180,180,-90,90", ctl,
       "  Its first column lies at longitude -180: start the xdef there.\n"},
  };
  for (const row& c : table) {
    SCOPED_TRACE(c.name);
    if (!c.file.empty()) {
      ASSERT_TRUE(run_tool(d, "cdo -s " + c.file + " a.grb t2.grb"));
    } else {
      ASSERT_TRUE(run_tool(d, "cp a.grb t2.grb"));
    }
    r = build_set(d, c.ctl);
    EXPECT_EQ(r.rc, grib_rec_grid_place) << r.out;
    EXPECT_NE(r.out.find(first), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(c.fix), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("no GRIB index was written"), std::string::npos) << r.out;
    EXPECT_FALSE(vemra_test::file_exists(d.file("t2.gmp")));
  }
}

// Each message a variable wants is placed by its own grid description, or
// refused naming it: a descriptor whose grid starts, steps or lies
// elsewhere, columns stored east to west, a grid of another type, a native
// grid that the pdef puts elsewhere. A point within half a step of the
// descriptor's (the last one also within the drift of an increment rounded
// to millidegrees), longitudes whole turns apart, a rotated grid on its
// rotated axes, and messages on other grids beside the descriptor's, in
// either order, are indexed.
TEST(GribPeer, EveryWantedMessageIsPlacedByItsOwnGridDescription) {
  if (!grtest::have("cdo") || !grtest::have("grib_set")) GTEST_SKIP() << "cdo or grib_set missing";
  TempDir d;
  // Each point holds its own longitude.
  const std::string lons =
      "cdo -s -f grb -b 16 -setcode,11 -settaxis,2000-01-01,00:00 "
      "-expr,'v=clon(const)' -const,1,";
  ASSERT_TRUE(run_tool(d, lons + "r144x73 g.grb"));
  ASSERT_TRUE(run_tool(d, "cdo -s sellonlatbox,0,30,40,60 g.grb a.grb"));
  ASSERT_TRUE(run_tool(d, "cdo -s sellonlatbox,100,130,40,60 g.grb b.grb"));
  ASSERT_TRUE(run_tool(d, "cat a.grb b.grb > ab.grb && cat b.grb a.grb | tee ba.grb"));
  ASSERT_TRUE(run_tool(d, "cat g.grb a.grb > ga.grb && cat a.grb g.grb | tee ag.grb"));
  ASSERT_TRUE(run_tool(d, "grib_set -s swapScanningX=1 g.grb ew.grb"));
  ASSERT_TRUE(run_tool(d,
                       "grib_set -s gridType=rotated_ll,latitudeOfSouthernPoleInDegrees=-40,"
                       "longitudeOfSouthernPoleInDegrees=10 g.grb rot.grb"));
  // Re-encoded by cdo, a 1/3-degree grid's last latitude and a 1/16-degree
  // box's are recomputed from increments of 0.333 and 0.062 degrees.
  vemra_test::write_file(d.file("box16.txt"),
                         "gridtype=lonlat\nxsize=8\nysize=400\nxfirst=10\nxinc=0.0625\n"
                         "yfirst=30\nyinc=0.0625\n");
  ASSERT_TRUE(run_tool(d, lons + "r1080x540 t0.grb && cdo -s copy t0.grb third.grb"));
  ASSERT_TRUE(run_tool(d, lons + "box16.txt s0.grb && cdo -s copy s0.grb sixteenth.grb"));
  // Rows every 5 degrees from 87.5S, stored either way; columns 360/1280
  // degrees apart, a step of 0.281 in the grid description's millidegrees.
  ASSERT_TRUE(run_tool(d, lons + "r72x36 c.grb && cdo -s invertlat c.grb cn.grb"));
  ASSERT_TRUE(run_tool(d, lons + "r1280x4 f.grb"));
  // A polar stereographic grid of 41 x 41 points 200 km apart, oriented
  // along 80W, whose first point is 30N 125W: 45 degrees west of the
  // orientation and, on the earth of cdo's files (6367.47 km), 6860.0 km
  // or 24.25 points down and left of the pole, which lies at 25.25, 25.25.
  ASSERT_TRUE(run_tool(d,
                       "cdo -s -f grb -setcode,11 -settaxis,2000-01-01,00:00 -const,1,r41x41 "
                       "ll.grb && grib_set -s gridType=polar_stereographic ll.grb p0.grb && "
                       "grib_set -s orientationOfTheGridInDegrees=-80,DxInMetres=200000,"
                       "DyInMetres=200000,latitudeOfFirstGridPointInDegrees=30,"
                       "longitudeOfFirstGridPointInDegrees=-125 p0.grb ps.grb"));
  // The field on grid 6, on another polar grid 101 and on grid 105.
  ASSERT_TRUE(run_tool(d,
                       "grib_set -s gridDefinition=6 ps.grb p6.grb && cdo -s -f grb -setcode,11 "
                       "-settaxis,2000-01-01,00:00 -const,1,r31x31 l1.grb && grib_set -s "
                       "gridType=polar_stereographic,gridDefinition=101 l1.grb p101.grb && "
                       "grib_set -s gridDefinition=105 a.grb l105.grb && "
                       "cat p101.grb p6.grb l105.grb | tee three.grb"));
  const std::string global = "xdef 144 linear 0 2.5\nydef 73 linear -90 2.5\n";
  const std::string box = "xdef 13 linear 0 2.5\nydef 9 linear 40 2.5\n";
  const std::string polar =
      "pdef 41 41 nps 25.25 25.25 -80 200\nxdef 10 linear -130 5\n"
      "ydef 10 linear 30 5\n";
  const std::string first =
      "gribmap:  Message 1 at byte 0 (parameter 11, level type 1, level 0, 00Z01JAN2000) "
      "does not fit the descriptor's grid:\n";
  const size_t a_size = vemra_test::read_file(d.file("a.grb")).size();
  const size_t g_size = vemra_test::read_file(d.file("g.grb")).size();
  struct row {
    const char* name;
    std::string file;  // grib_set keys of a.grb (the box), after "set ", or a file
    std::string grid;
    std::string said;  // what the build says
    bool indexed;      // else refused
    double at5 = NAN;  // what x = 5, y = 3 reads
    const char* dtype = "";
  };
  // The box's first point lies at 40N 0E and its last at 60N 30E; its
  // descriptor's half step is 1.25 degrees, and the last point may also
  // drift by 8 (rows) or 12 (columns) half millidegrees plus 1.
  auto moved = [](double lat1, double lat2, double lon1, double lon2) {
    return "set latitudeOfFirstGridPointInDegrees=" + std::to_string(lat1) +
           ",latitudeOfLastGridPointInDegrees=" + std::to_string(lat2) +
           ",longitudeOfFirstGridPointInDegrees=" + std::to_string(lon1) +
           ",longitudeOfLastGridPointInDegrees=" + std::to_string(lon2);
  };
  const row table[] = {
      {"the grid as it is", "g.grb", global, "", true, 10},
      {"columns from 0 taken from 180 west", "g.grb",
       "xdef 144 linear -180 2.5\nydef 73 linear -90 2.5\n",
       "  Its first column lies at longitude 0: start the xdef there.\n", false},
      {"columns 2.5 degrees apart taken 2 apart", "g.grb",
       "xdef 144 linear 0 2\nydef 73 linear -90 2.5\n",
       "  Its columns are 2.5 degrees apart: step the xdef by 2.5.\n", false},
      {"columns 0.28125 degrees apart taken 0.28 apart", "f.grb",
       "xdef 1280 linear 0 0.28\nydef 4 linear -67.5 45\n",
       "  Its columns are 0.28125 degrees apart: step the xdef by 0.28125.\n", false},
      {"columns 3 degrees east and 0.1 degree too far apart", "c.grb",
       "xdef 72 linear 3 5.1\nydef 36 linear -87.5 5\n",
       "  Its first column lies at longitude 0: start the xdef there.\n"
       "  Its columns are 5 degrees apart: step the xdef by 5.\n",
       false},
      {"rows from 87.5S taken from 90S", "c.grb", "xdef 72 linear 0 5\nydef 36 linear -90 5\n",
       "  Its southernmost row lies at latitude -87.5: start the ydef at -87.5.\n", false},
      {"rows from 87.5S, stored north to south, taken from 84S", "cn.grb",
       "xdef 72 linear 0 5\nydef 36 linear -84 5\n",
       "  Its southernmost row lies at latitude -87.5: start the ydef at -87.5.\n"
       "  Its rows are stored north to south: add \"options yrev\" to the descriptor.\n",
       false},
      {"a box from 40N taken from 30N", "a.grb", "xdef 13 linear 0 2.5\nydef 9 linear 30 2.5\n",
       "  Its southernmost row lies at latitude 40: start the ydef at 40.\n", false},
      {"the box as it is", "a.grb", box, "", true, 10},
      {"columns stored east to west", "ew.grb", global,
       "  Its columns are stored from east to west, which no descriptor can say.\n", false},
      {"the native grid of a polar pdef", "ps.grb", polar, "", true},
      {"a pole a point and a quarter further left", "ps.grb",
       "pdef 41 41 nps 24 25.25 -80 200\nxdef 10 linear -130 5\nydef 10 linear 30 5\n",
       "  the pdef places that point at i = -0.2", false},
      {"a polar grid under a Lambert pdef", "ps.grb",
       "pdef 41 41 lcc 30 -125 1 1 60 60 -80 200000 200000\nxdef 10 linear -130 5\n"
       "ydef 10 linear 30 5\n",
       "  It holds a polar stereographic grid (type 5); the descriptor reads a native Lambert "
       "conformal grid (type 3).\n",
       false},
      // Other grids beside the descriptor's, first or last.
      {"a second box of the same size after the box", "ab.grb", box,
       "gribmap:  1 message on a grid of 13 by 9 points from latitude 40, longitude 100 passed "
       "over (message 2 at byte " +
           std::to_string(a_size) + "): messages on the descriptor's grid fill their slots\n",
       true, 10},
      {"a second box of the same size before the box", "ba.grb", box,
       "gribmap:  1 message on a grid of 13 by 9 points from latitude 40, longitude 100 passed "
       "over (message 1 at byte 0): messages on the descriptor's grid fill their slots\n",
       true, 10},
      {"the second box alone", "b.grb", box,
       "  It holds rows from latitude 40 to 60 and columns from longitude 100 to 130;\n", false},
      {"the global grid of global and box", "ga.grb", global,
       "gribmap:  1 message on a grid of 13 by 9 points passed over (message 2 at byte " +
           std::to_string(g_size) + "): the descriptor's is 144 by 73\n",
       true, 10},
      {"the box of global and box", "ga.grb", box,
       "gribmap:  1 message on a grid of 144 by 73 points passed over (message 1 at byte 0): the "
       "descriptor's is 13 by 9\n",
       true, 10},
      {"the global grid of box and global", "ag.grb", global, "", true, 10},
      {"the box of box and global", "ag.grb", box, "", true, 10},
      {"grid 6 of grids 101, 6 and 105", "three.grb", polar,
       "gribmap:  1 message on grid 101 passed over (message 1 at byte 0): the descriptor reads "
       "grid 6\n",
       true, NAN, " 6"},
      {"grid 105 of grids 101, 6 and 105", "three.grb", box,
       "gribmap:  1 message on grid 6 passed over (message 2 at byte ", true, 10, " 105"},
      // Increments rounded to millidegrees.
      {"a 1/3-degree grid re-encoded", "third.grb",
       "xdef 1080 linear 0 0.3333333\nydef 540 linear -89.8333333 0.3333333\n", "", true, 4 / 3.0},
      {"a 1/3-degree grid taken 0.3339 apart", "third.grb",
       "xdef 1080 linear 0 0.3333333\nydef 540 linear -89.8333333 0.3339\n",
       "  Its rows are 0.333 degrees apart: step the ydef by 0.333.\n", false},
      {"a 1/16-degree box re-encoded", "sixteenth.grb",
       "xdef 8 linear 10 0.0625\nydef 400 linear 30 0.0625\n", "", true, 10.25},
      // A rotated grid read on its rotated axes, or refused on others.
      {"a rotated grid on its rotated axes", "rot.grb", global,
       "gribmap:  A rotated latitude-longitude grid is read in its rotated coordinates (south "
       "pole at latitude -40, longitude 10)\n",
       true, 10},
      {"a rotated grid on other axes", "rot.grb",
       "xdef 144 linear -180 2.5\nydef 73 linear -90 2.5\n",
       "  It holds a rotated latitude-longitude grid (type 10); the descriptor reads latitude rows "
       "and longitude columns (use a pdef for a projected grid).\n",
       false},
      // Points just inside and just outside the tolerance, each way.
      {"rows 1.249 north", moved(41.249, 61.249, 0, 30), box, "", true, 10},
      {"rows 1.251 north", moved(41.251, 61.251, 0, 30), box,
       "  Its southernmost row lies at latitude 41.251: start the ydef at 41.251.\n", false},
      {"rows 1.249 south", moved(38.751, 58.751, 0, 30), box, "", true, 10},
      {"rows 1.251 south", moved(38.749, 58.749, 0, 30), box,
       "  Its southernmost row lies at latitude 38.749: start the ydef at 38.749.\n", false},
      {"columns 1.249 east", moved(40, 60, 1.249, 31.249), box, "", true, 10},
      {"columns 1.251 east", moved(40, 60, 1.251, 31.251), box,
       "  Its first column lies at longitude 1.251: start the xdef there.\n", false},
      {"columns 1.249 west", moved(40, 60, -1.249, 28.751), box, "", true, 10},
      {"columns 1.251 west", moved(40, 60, -1.251, 28.749), box,
       "  Its first column lies at longitude -1.251: start the xdef there.\n", false},
      {"the last row 1.254 north", moved(40, 61.254, 0, 30), box, "", true, 10},
      {"the last row 1.256 north", moved(40, 61.256, 0, 30), box,
       "  Its rows are 2.657 degrees apart: step the ydef by 2.657.\n", false},
      {"the last row 1.254 south", moved(40, 58.746, 0, 30), box, "", true, 10},
      {"the last row 1.256 south", moved(40, 58.744, 0, 30), box,
       "  Its rows are 2.343 degrees apart: step the ydef by 2.343.\n", false},
      {"the last column 1.256 east", moved(40, 60, 0, 31.256), box, "", true, 10},
      {"the last column 1.258 east", moved(40, 60, 0, 31.258), box,
       "  Its columns are 2.6048 degrees apart: step the xdef by 2.6048.\n", false},
      {"the last column 1.256 west", moved(40, 60, 0, 28.744), box, "", true, 10},
      {"the last column 1.258 west", moved(40, 60, 0, 28.742), box,
       "  Its columns are 2.3952 degrees apart: step the xdef by 2.3952.\n", false},
      // Longitudes whole turns apart.
      {"columns a turn east", moved(40, 60, 360, 390), box, "", true, 10},
      {"columns a turn west", moved(40, 60, -360, -330), box, "", true, 10},
      {"columns two turns east", moved(40, 60, 720, 750), box, "", true, 10},
      {"columns a turn and 1.249 west", moved(40, 60, 358.751, 388.751), box, "", true, 10},
      {"columns a turn less 1.249 east", moved(40, 60, -358.751, -328.751), box, "", true, 10},
      {"columns a turn and 1.251 east", moved(40, 60, 361.251, 391.251), box,
       "  Its first column lies at longitude 361.251: start the xdef there.\n", false},
  };
  int made = 0;
  for (const row& r : table) {
    SCOPED_TRACE(r.name);
    std::string file = r.file;
    if (file.rfind("set ", 0) == 0) {
      file = "m" + std::to_string(++made) + ".grb";
      ASSERT_TRUE(run_tool(d, "grib_set -s " + r.file.substr(4) + " a.grb " + file));
    }
    const std::string ctl = "dset ^" + file + "\nindex ^t2.gmp\nundef 9.999e20\ndtype grib" +
                            r.dtype + "\n" + r.grid +
                            "zdef 1 levels 0\ntdef 1 linear 00z1jan2000 6hr\nvars 1\n"
                            "v 0 11,1,0 longitude\nendvars\n";
    built_set b = build_set(d, ctl);
    if (!r.indexed) {
      EXPECT_EQ(b.rc, grib_rec_grid_place) << b.out;
      EXPECT_NE(b.out.find(r.said), std::string::npos) << b.out;
      EXPECT_NE(b.out.find(r.said[0] == ' ' ? first : r.said), std::string::npos) << b.out;
      EXPECT_FALSE(vemra_test::file_exists(d.file("t2.gmp")));
      continue;
    }
    EXPECT_EQ(b.rc, 1) << b.out;
    EXPECT_NE(b.out.find(r.said), std::string::npos) << b.out;
    if (b.rc != 1) continue;
    auto pfi = grtest::open_text(d, ctl);
    ASSERT_TRUE(pfi);
    if (std::isnan(r.at5)) continue;
    // Each column holds its own longitude.
    auto g = grtest::read(pfi.get(), 0, 0, 1, {5, 3, 1, 1}, {5, 3, 1, 1});
    ASSERT_EQ(g.rc, 0) << g.out;
    EXPECT_NEAR(g.at(0), r.at5, 0.01);
  }
}

namespace {

// South-to-north and north-to-south copies (sn.grb, ns.grb) of the native
// grid of n x n points that grib_set makes of a cdo field: each point holds
// its latitude as grib_get_data places the points of the south-to-north
// copy. The other holds its rows last to first, its first point the
// north-west corner (jScansPositively 0), whose latitude and longitude
// (within -180 to 180) it returns; "" when a tool failed.
std::string native_pair(const TempDir& d, int n, const std::string& type, const std::string& keys) {
  const std::string size = std::to_string(n);
  if (!run_tool(d, "cdo -s -f grb -setcode,11 -settaxis,2000-01-01,00:00 -const,1,r" + size + "x" +
                       size + " ll.grb && grib_set -s gridType=" + type +
                       " ll.grb n0.grb && grib_set -s " + keys + " n0.grb n1.grb"))
    return "";
  const std::vector<grtest::peer_point> p = grtest::peer_points(d, "n1.grb");
  if (p.size() != size_t(n) * size_t(n)) return "";
  auto values = [&](bool reversed) {
    std::string v;
    for (int r = 0; r < n; r++)
      for (int i = 0; i < n; i++)
        v += (v.empty() ? "" : ",") +
             std::to_string(p[size_t(reversed ? n - 1 - r : r) * n + i].lat);
    return "set bitsPerValue = 16;\nset values = {" + v + "};\n";
  };
  const grtest::peer_point& nw = p[size_t(n - 1) * size_t(n)];
  char corner[80];
  std::snprintf(corner, sizeof corner, "%.3f %.3f", nw.lat, nw.lon > 180 ? nw.lon - 360 : nw.lon);
  vemra_test::write_file(d.file("sn.rules"), values(false) + "write \"sn.grb\";\n");
  vemra_test::write_file(d.file("ns.rules"),
                         "set jScansPositively = 0;\nset latitudeOfFirstGridPointInDegrees = " +
                             std::to_string(nw.lat) +
                             ";\nset longitudeOfFirstGridPointInDegrees = " +
                             std::to_string(nw.lon) + ";\n" + values(true) + "write \"ns.grb\";\n");
  return run_tool(d, "grib_filter sn.rules n1.grb && grib_filter ns.rules n1.grb") ? corner : "";
}

}  // namespace

// A native grid stored north to south, its first point the north-west
// corner, reads under yrev with the pdef counted from the south-west as
// always: every target point reads its own latitude, as grib_get_data
// places the points of the same grid stored south to north. Without yrev,
// with yrev on rows stored south to north, or with the pdef counted from
// the first point stored, no index is written and the builder names the
// fix. Once the pdef changes, open refuses the index.
TEST(GribPeer, NativeGridsStoredNorthToSouthReadUnderYrev) {
  for (const char* tool : {"cdo", "grib_set", "grib_filter", "grib_get_data"})
    if (!grtest::have(tool)) GTEST_SKIP() << tool << " not installed";
  TempDir d;
  struct grid {
    const char* type;
    int n;
    std::string keys, south_west, first_stored, target;  // "@": the north-west corner
    std::string moved;                                   // south_west with a parameter changed
  };
  const grid grids[] = {
      {"lambert", 21,
       "LoVInDegrees=-95,Latin1InDegrees=25,Latin2InDegrees=25,DxInMetres=100000,"
       "DyInMetres=100000,latitudeOfFirstGridPointInDegrees=30,"
       "longitudeOfFirstGridPointInDegrees=-110",
       "lcc 30 -110 1 1 25 25 -95 100000 100000", "lcc @ 1 1 25 25 -95 100000 100000",
       "xdef 8 linear -106 2\nydef 6 linear 33 2\n", "lcc 30 -110 1 1 25 25 -95 100000 100500"},
      // The pole lies 25.25 points up and right of the south-west corner.
      {"polar_stereographic", 41,
       "orientationOfTheGridInDegrees=-80,DxInMetres=200000,DyInMetres=200000,"
       "latitudeOfFirstGridPointInDegrees=30,longitudeOfFirstGridPointInDegrees=-125",
       "nps 25.25 25.25 -80 200", "nps 25.25 -14.75 -80 200",
       "xdef 6 linear -120 5\nydef 4 linear 50 5\n", "nps 25.5 25.25 -80 200"},
  };
  const std::string add = ", against the pdef's rows: add \"options yrev\" to the descriptor.\n";
  struct row {
    const char* name;
    const char* file;
    bool south_west, yrev;
    std::string said;  // "": indexed
  };
  for (const grid& g : grids) {
    SCOPED_TRACE(g.type);
    const std::string corner = native_pair(d, g.n, g.type, g.keys);
    ASSERT_NE(corner, "");
    ASSERT_EQ(grtest::shell(d, "grib_get -p jScansPositively sn.grb ns.grb"), "1\n0\n");
    std::string first_stored = g.first_stored;
    if (first_stored.find('@') != std::string::npos)
      first_stored.replace(first_stored.find('@'), 1, corner);
    const row rows[] = {
        {"north to south under yrev", "ns.grb", true, true, ""},
        {"south to north", "sn.grb", true, false, ""},
        {"north to south", "ns.grb", true, false, "  Its rows are stored north to south" + add},
        {"north to south from the first point stored", "ns.grb", false, false,
         "  Its rows are stored north to south" + add},
        {"north to south from the first point stored, under yrev", "ns.grb", false, true,
         "  Under yrev the first row stored is the pdef's row " + std::to_string(g.n) + ".\n"},
        {"south to north under yrev", "sn.grb", true, true,
         "  Its rows are stored south to north, as the pdef's rows run: take yrev out of the "
         "descriptor's options.\n"},
    };
    for (const row& r : rows) {
      SCOPED_TRACE(r.name);
      const std::string size = std::to_string(g.n) + " " + std::to_string(g.n) + " ";
      const std::string ctl = "dset ^" + std::string(r.file) +
                              "\nindex ^t2.gmp\nundef 9.999e20\ndtype grib\n" +
                              (r.yrev ? "options yrev\n" : "") + "pdef " + size +
                              (r.south_west ? g.south_west : first_stored) + "\n" + g.target +
                              "zdef 1 levels 0\ntdef 1 linear 00z1jan2000 6hr\nvars 1\n"
                              "v 0 11,1,0 latitude\nendvars\n";
      built_set b = build_set(d, ctl);
      if (!r.said.empty()) {
        EXPECT_EQ(b.rc, grib_rec_grid_place) << b.out;
        EXPECT_NE(b.out.find(r.said), std::string::npos) << b.out;
        EXPECT_FALSE(vemra_test::file_exists(d.file("t2.gmp")));
        continue;
      }
      ASSERT_EQ(b.rc, 1) << b.out;
      auto pfi = grtest::open_text(d, ctl);
      ASSERT_TRUE(pfi);
      const int nx = pfi->x_size, ny = pfi->y_size;
      auto v = grtest::read(pfi.get(), 0, 0, 1, {1, 1, 1, 1}, {nx, ny, 1, 1});
      ASSERT_EQ(v.rc, 0) << v.out;
      for (int j = 0; j < ny; j++)
        for (int i = 0; i < nx; i++)
          EXPECT_NEAR(v.at(i, j), pfi->grid_to_world[1](pfi->grid_to_world_scaling[1], j + 1.0f),
                      0.05)
              << "x " << i + 1 << ", y " << j + 1;
      if (!r.yrev) continue;
      // The index records the pdef it was built for.
      std::string changed = ctl, out;
      changed.replace(changed.find(g.south_west), g.south_west.size(), g.moved);
      vemra_test::write_file(d.file("d.ctl"), changed);
      EXPECT_FALSE(grtest::open_file(d.file("d.ctl"), &out));
      EXPECT_NE(out.find("Open Error:  GRIB index was built for another grid than the "
                         "descriptor's\n  Index:      pdef " +
                         size + g.south_west + ", options yrev\n  Descriptor: pdef " + size +
                         g.moved + ", options yrev\n"),
                std::string::npos)
          << out;
    }
  }
}

// A field of 3600 x 1800 points at 24 bits is 19.4 MB, past the 3-octet
// length: cdo gives its length in units of 120 bytes. It is read whole,
// and the message after it is found. A header longer than the scan limit
// before the first message is named as such, and stripped it reads.
TEST(GribPeer, LongMessagesAndAHeaderBeforeTheFirst) {
  if (!grtest::have("cdo")) GTEST_SKIP() << "cdo not installed";
  TempDir d;
  // Each point holds its longitude plus 1000 times its latitude + 90.
  ASSERT_TRUE(run_tool(d,
                       "cdo -s -f grb -b 24 -setcode,11 -settaxis,2000-01-01,00:00 "
                       "-expr,'v=clon(const)+1000*(clat(const)+90)' -const,1,r3600x1800 big.grb"));
  ASSERT_TRUE(run_tool(d,
                       "cdo -s -f grb -setcode,12 -settaxis,2000-01-01,00:00 -const,1,r36x19 "
                       "small.grb && cat big.grb small.grb | tee both.grb"));
  const std::string vars = "vars 2\nv 0 11,1,0 v\nw 0 12,1,0 w\nendvars\n";
  const std::string head =
      "dset ^both.grb\nindex ^t2.gmp\nundef 9.999e20\ndtype grib\nxdef 3600 linear 0 0.1\n"
      "ydef 1800 linear -89.95 0.1\nzdef 1 levels 0\ntdef 1 linear 00z1jan2000 6hr\n";
  // The small message is found where the long one ends.
  built_set r = build_set(d, head + vars);
  EXPECT_EQ(r.rc, 1) << r.out;
  EXPECT_NE(r.out.find("gribmap:  1 message on a grid of 36 by 19 points passed over (message 2 at "
                       "byte 19440084): the descriptor's is 3600 by 1800\n"),
            std::string::npos)
      << r.out;
  const std::string ctl = head + "vars 1\nv 0 11,1,0 v\nendvars\n";
  r = build_set(d, ctl);
  ASSERT_EQ(r.rc, 1) << r.out;
  auto pfi = grtest::open_text(d, ctl);
  ASSERT_TRUE(pfi);
  auto g = grtest::read(pfi.get(), 0, 0, 1, {901, 1351, 1, 1}, {903, 1351, 1, 1});
  ASSERT_EQ(g.rc, 0) << g.out;
  for (int i = 0; i < 3; i++) EXPECT_NEAR(g.at(i), 90 + 0.1 * i + 1000 * 135.05, 0.03);

  vemra_test::write_file(d.file("header.grb"),
                         std::string(6148, 'x') + vemra_test::read_file(d.file("small.grb")));
  const std::string small =
      "dset ^header.grb\nindex ^t2.gmp\nundef 9.999e20\ndtype grib\nxdef 36 linear 0 10\n"
      "ydef 19 linear -90 10\nzdef 1 levels 0\ntdef 1 linear 00z1jan2000 6hr\n" +
      vars;
  r = build_set(d, small);
  EXPECT_EQ(r.rc, 52);
  EXPECT_NE(r.out.find("No GRIB message found in the first 1000 bytes of the file\n"),
            std::string::npos)
      << r.out;
  ASSERT_TRUE(run_tool(d, "tail -c +6149 header.grb | tee stripped.grb"));
  EXPECT_EQ(vemra_test::read_file(d.file("stripped.grb")),
            vemra_test::read_file(d.file("small.grb")));
}

// The builder says what it matched: the levels and times each variable
// filled, a variable none of whose messages is there, the messages that
// matched nothing, two messages of one slot, and the sizes of a grid that
// differs.
TEST(GribPeer, TheBuilderSaysWhatItMatched) {
  if (!grtest::have("cdo")) GTEST_SKIP() << "cdo not installed";
  TempDir d;
  const std::string field = " -setcode,11 -expr,'v=clat(const)' -const,1,r36x19 ";
  for (const char* h : {"00", "03", "06"})
    ASSERT_TRUE(run_tool(d, std::string("cdo -s -f grb -settaxis,2000-01-01,") + h + ":00" + field +
                                "h" + h + ".grb"));
  ASSERT_TRUE(run_tool(d, "cdo -s cat h00.grb h03.grb h06.grb h00.grb t2.grb"));
  const size_t one = vemra_test::read_file(d.file("h00.grb")).size();
  const std::string head = "dset ^t2.grb\nindex ^t2.gmp\nundef 9.999e20\ndtype grib\n";
  const std::string grid = "xdef 36 linear 0 10\nydef 19 linear -90 10\n";
  // A 6-hourly axis and a parameter number mistyped.
  const std::string ctl = head + grid +
                          "zdef 1 levels 0\ntdef 2 linear 00z1jan2000 6hr\nvars 2\n"
                          "v 0 11,1,0 v\nw 0 12,1,0 w\nendvars\n";
  built_set r = build_set(d, ctl);
  ASSERT_EQ(r.rc, 1) << r.out;
  for (const std::string& line : std::vector<std::string>{
           "gribmap:  v: 2 of 2 levels and times filled\n",
           "gribmap:  Warning: no message for w (parameter 12, level type 1): 0 of 2 levels and "
           "times filled\n",
           "gribmap:  1 message matched no variable, level and time of the descriptor:\n"
           "  parameter 11, level type 1, level 0, 03Z01JAN2000 (message 2 at byte " +
               std::to_string(one) + ")\n",
           "gribmap:  Warning: Message 4 at byte " + std::to_string(3 * one) +
               " (parameter 11, level type 1, level 0, 00Z01JAN2000) fills the slot of v, level 1, "
               "00Z01JAN2000, that the message at byte 0 filled: the later is kept\n",
       })
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  r = build_set(
      d, head + "xdef 37 linear 0 10\nydef 19 linear -90 10\n" + ctl.substr(ctl.find("zdef")));
  EXPECT_EQ(r.rc, 0);
  EXPECT_NE(r.out.find("gribmap:  3 messages on a grid of 36 by 19 points passed over (the first "
                       "is message 1 at byte 0): the descriptor's is 37 by 19\n"),
            std::string::npos)
      << r.out;
  // The same count of points otherwise arranged is refused.
  r = build_set(
      d, head + "xdef 19 linear 0 10\nydef 36 linear -90 10\n" + ctl.substr(ctl.find("zdef")));
  EXPECT_EQ(r.rc, grib_rec_grid_size);
  EXPECT_NE(r.out.find("  It holds a grid of 36 by 19 points; the descriptor's is 19 by 36.\n"),
            std::string::npos)
      << r.out;

  // Wanted messages the builder can't use say why, under their variable;
  // each mended as the line says, the set indexes.
  ASSERT_TRUE(run_tool(d, "cp t2.grb all.grb && grib_set -s gridDefinition=45 all.grb g45.grb"));
  vemra_test::write_file(d.file("nogrid.grb"),
                         without_grids(vemra_test::read_file(d.file("g45.grb"))));
  const std::string none =
      "gribmap:  Warning: no message for v (parameter 11, level type 1): 0 of 2 levels and times "
      "filled\ngribmap:    3 wanted messages left out (the first: message 1 at byte 0): ";
  const std::string indexed = "gribmap:  v: 2 of 2 levels and times filled\n";
  struct row {
    const char* name;
    std::string make;  // t2.grb from all.grb
    std::string dtype;
    int rc;
    std::string said;
  };
  const row table[] = {
      {"second-order packing", "grib_set -r -s packingType=grid_second_order all.grb t2.grb", "", 0,
       none + "second-order or other complex packing, which the reader does not decode (grib_set "
              "-r -s packingType=grid_simple repacks them)\n"},
      {"second-order packing repacked",
       "grib_set -r -s packingType=grid_second_order all.grb so.grb && "
       "grib_set -r -s packingType=grid_simple so.grb t2.grb",
       "", 1, indexed},
      {"no grid description", "cp nogrid.grb t2.grb", "", 0,
       none + "no grid description, and the descriptor names no grid number; the first names "
              "grid 45 (dtype grib 45)\n"},
      {"no grid description, the grid number named", "cp nogrid.grb t2.grb", " 45", 1, indexed},
      {"GRIB edition 2", "cdo -s -f grb2 copy all.grb t2.grb", "", 99,
       "Version number is 2\ngribmap:  Message 1 at byte 0 is GRIB edition 2: convert the file to "
       "edition 1 (cdo -f grb copy IN OUT)\n"},
      {"GRIB edition 2 converted",
       "cdo -s -f grb2 copy all.grb e2.grb && cdo -s -f grb copy e2.grb t2.grb", "", 1, indexed},
  };
  for (const row& c : table) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(run_tool(d, c.make));
    std::string text = ctl;
    text.replace(text.find("dtype grib\n"), 11, "dtype grib" + c.dtype + "\n");
    r = build_set(d, text);
    EXPECT_EQ(r.rc, c.rc) << r.out;
    EXPECT_NE(r.out.find(c.said), std::string::npos) << r.out;
  }
}

// Descriptor records and their messages; the refusals common to every
// descriptor are checked through "open" in the end-to-end tests.
#include <cmath>
#include <cstdlib>

#include "base/timecal.h"
#include "data/reader.h"
#include "test_descriptor_support.h"

using namespace dtest;
using vemra_test::TempDir;
using vemra_test::write_file;

namespace {

const char* kContext = "  --> The invalid description file record is: \n";

// A complete small grid descriptor; `extra` goes before the VARS block.
std::string grid_ctl(const std::string& extra = "",
                     const std::string& vars = "vars 1\nt 0 99 temperature\nendvars\n") {
  return "dset ^d.dat\ntitle A Title\nundef -9.99e33\nxdef 4 linear 0 2.5\n"
         "ydef 3 linear -10 10\nzdef 1 levels 1000\ntdef 10 linear 00z01jan1990 6hr\n" +
         extra + vars;
}

// Expects a failed parse whose output has msg, followed by the record's
// context lines when `record` is not empty, and the closing line last.
void expect_refused(const parsed& r, const std::string& msg, const std::string& record) {
  EXPECT_EQ(r.rc, 1);
  std::string want = record.empty() ? msg : msg + kContext + "  --> " + record + "\n";
  EXPECT_TRUE(contains(r.out, want)) << r.out;
  ASSERT_GE(r.out.size(), std::strlen(kClosing));
  EXPECT_EQ(r.out.substr(r.out.size() - std::strlen(kClosing)), kClosing);
}

float world(const parsed& r, int d, float g) {
  return r.pfi->grid_to_world[d](r.pfi->grid_to_world_scaling[d], g);
}

}  // namespace

TEST(Descriptor, GoodGridDescriptorFillsTheRecord) {
  TempDir d;
  parsed r = parse_text(d, grid_ctl());
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.out, "");
  file_descriptor* p = r.pfi.get();
  EXPECT_EQ(std::string(p->data_file_name), d.path() + "/d.dat");
  // Linear Y: grid 1 is -10, grid 3 is 10; world 0 is grid 2.
  EXPECT_FLOAT_EQ(world(r, 1, 1), -10);
  EXPECT_FLOAT_EQ(world(r, 1, 3), 10);
  EXPECT_FLOAT_EQ(p->world_to_grid[1](p->world_to_grid_scaling[1], 0), 2);
  // The time axis: start and a 6-hour step in minutes.
  const float* ts = p->grid_to_world_scaling[3];
  EXPECT_EQ(std::vector<float>(ts, ts + 7), (std::vector<float>{1990, 1, 1, 0, 0, 0, 360}));
}

TEST(Descriptor, LineEndsCommentsAndNamesWithoutExtension) {
  TempDir d;
  std::string crlf;
  for (char c : grid_ctl()) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  parsed r = parse_text(d, crlf);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_STREQ(r.pfi->title, "A Title");
  EXPECT_STREQ(r.pfi->variables[0].description, "temperature");

  std::string vars =
      "* comment\n# another\n\nvars 2\n  indented line is a comment\nu 0 1 first var\n"
      "\tt 0 2 tabbed comment\n* x 0 3 nope\nv 0 2 second var\nendvars\n";
  write_file(d.file("model.ctl"), grid_ctl("", vars));
  parsed c = parse_file(d.file("model"));
  ASSERT_EQ(c.rc, 0) << c.out;
  EXPECT_EQ(std::string(c.pfi->descriptor_name), d.file("model.ctl"));
  ASSERT_EQ(c.pfi->variable_count, 2);
  EXPECT_STREQ(c.pfi->variables[1].abbrev, "v");
  EXPECT_STREQ(c.pfi->variables[1].description, "second var");
  EXPECT_EQ(parse_file(d.file("nothing")).out, "Open Error:  Can't open description file\n");
}

TEST(Descriptor, WarningsLeaveTheParseGoing) {
  TempDir d;
  parsed r = parse_text(d, grid_ctl("dtype\ntitle\nfileheader 12x\ndtype grib x\n"), 0);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.out,
            "Description file warning: Missing data type\n"
            "   Assuming data file type is grid\n"
            "Description file warning: Missing title string\n"
            "Fileheader record invalid\n"
            "Description file warning: Invalid GRIB option\n");
  EXPECT_STREQ(r.pfi->title, "A Title");
  EXPECT_EQ(r.pfi->grib_grid_type, -999);
  parsed g = parse_text(d, grid_ctl("dtype grib 29\n"), 0);
  EXPECT_EQ(g.pfi->grib_flag, 1);
  EXPECT_EQ(g.pfi->grib_grid_type, 29);
}

// The GRIB buffer holds the longest run a read takes: a row of x at the
// widest packing (32 bits without an index) plus 16 bytes the unpacking may
// load past its end; a pre-projected set reads at least two points at once.
TEST(Descriptor, GribBufferHoldsTheLongestRunOfItsKind) {
  TempDir d;
  const std::string head = "dset ^d.dat\nundef -9.99e33\ndtype grib\n";
  const std::string tail =
      "xdef 1 linear -80 1\nydef 3 levels 40 52 53\nzdef 1 levels 1000\n"
      "tdef 1 linear 00z1jan2000 1dy\nvars 1\nt 0 99 temperature\nendvars\n";
  parsed plain = parse_text(d, head + tail, 0);
  ASSERT_EQ(plain.rc, 0) << plain.out;
  EXPECT_EQ(plain.pfi->reader, find_reader(data_kind::grib));
  EXPECT_EQ(plain.pfi->grib_buffer_bytes, 1 * 4 + 16);
  parsed pre = parse_text(d, head + "pdef 41 41 nps 21 21 -80 200\n" + tail, 0);
  ASSERT_EQ(pre.rc, 0) << pre.out;
  EXPECT_EQ(pre.pfi->reader, find_reader(data_kind::preprojected_grib));
  EXPECT_EQ(pre.pfi->grib_buffer_bytes, 2 * 4 + 16);
}

// The other option words are read back through data in the grid read tests.
TEST(Descriptor, FormatRecordAndIgnoredOptions) {
  TempDir d;
  parsed r = parse_text(d, grid_ctl("options cray_32bit_ieee\nformat big_endian\n"));
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.pfi->cray_32bit_ieee, 0);
  // This host is little-endian: big-endian data must be swapped.
  EXPECT_EQ(r.pfi->byte_swap, 1);
}

// What is accepted beside the refusals of the end-to-end tests.
TEST(Descriptor, AcceptedNeighboursOfRefusedRecords) {
  TempDir d;
  parsed ok = parse_text(d, grid_ctl("toff 9\n"));
  ASSERT_EQ(ok.rc, 0) << ok.out;
  EXPECT_EQ(ok.pfi->toff, 9);
  EXPECT_EQ(parse_text(d, "toff 3\n" + grid_ctl()).rc, 0);
  // Without the map switch the map is not opened, so nothing is wrong.
  EXPECT_EQ(parse_text(d, grid_ctl("index ^gone.idx\n"), 0).rc, 0);
  // In a station data set the space dimensions are not read at all.
  std::string map = "Vemra_stnmapV002";
  for (int v : {1, 4, 0, 3}) put_be(map, v);
  write_file(d.file("s.map"), map);
  parsed stn = parse_text(d,
                          "dset ^s.dat\ndtype station\nstnmap ^s.map\nundef -999\n"
                          "zdef 0 levels\ntdef 1 linear jan2000 1mo\nvars 1\nps 0 0 ps\n"
                          "endvars\n");
  EXPECT_EQ(stn.rc, 0) << stn.out;
}

TEST(Descriptor, DimensionRecords) {
  TempDir d;
  parsed wrap = parse_text(d, grid_ctl("xdef 144 linear 0 2.5\n"));
  ASSERT_EQ(wrap.rc, 0) << wrap.out;
  EXPECT_EQ(wrap.pfi->x_wraps, 1);
  // A later XDEF replaces the earlier one, wrap flag included.
  parsed nowrap = parse_text(d, "xdef 144 linear 0 2.5\n" + grid_ctl("xdef 144 linear 0 2.4\n"));
  EXPECT_EQ(nowrap.pfi->x_wraps, 0);
  // Columns whose last lies on the first one's meridian wrap by the others.
  parsed seam = parse_text(d, grid_ctl("xdef 73 linear -180 5\n"));
  EXPECT_EQ(seam.pfi->x_wraps, 1);
  EXPECT_EQ(seam.pfi->x_seam, 1);
  parsed plain = parse_text(d, "xdef 73 linear -180 5\n" + grid_ctl("xdef 144 linear 0 2.5\n"));
  EXPECT_EQ(plain.pfi->x_wraps, 1);
  EXPECT_EQ(plain.pfi->x_seam, 0);
  parsed over = parse_text(d, grid_ctl("xdef 74 linear -180 5\n"));
  EXPECT_EQ(over.pfi->x_wraps, 0);
  // Which of the two turns closes is told within half a step, also on
  // grids finer than 0.02 degree, and on a list of longitudes by its ends.
  const struct {
    const char* xdef;
    int wraps, seam;
  } turns[] = {
      {"xdef 36001 linear -180 0.01\n", 1, 1},
      {"xdef 36000 linear -180 0.01\n", 1, 0},
      {"xdef 43201 linear -180 0.00833333333\n", 1, 1},
      {"xdef 43200 linear -180 0.00833333333\n", 1, 0},
      {"xdef 36002 linear -180 0.01\n", 0, 0},
      {"xdef 5 levels -180 -90 0 90 180\n", 1, 1},
      {"xdef 5 levels -180 -90 0 90 180.0009\n", 1, 1},
      {"xdef 5 levels -180 -90 0 90 180.002\n", 0, 0},
      {"xdef 5 levels 0 90 180 270 359.9\n", 0, 0},
  };
  for (const auto& t : turns) {
    parsed p = parse_text(d, "xdef 144 linear 0 2.5\n" + grid_ctl(t.xdef));
    ASSERT_EQ(p.rc, 0) << t.xdef << p.out;
    EXPECT_EQ(p.pfi->x_wraps, t.wraps) << t.xdef;
    EXPECT_EQ(p.pfi->x_seam, t.seam) << t.xdef;
  }

  // One level given with "levels" is linear from that level by 1.
  parsed one = parse_text(d, grid_ctl());
  EXPECT_EQ(one.pfi->linear_flags[2], 1);
  EXPECT_FLOAT_EQ(world(one, 2, 2), 1001);
  // Levels continue over following lines.
  parsed three = parse_text(d, grid_ctl("zdef 3 levels 1000\n 850\n500\n"));
  ASSERT_EQ(three.rc, 0) << three.out;
  EXPECT_EQ(three.pfi->linear_flags[2], 0);
  const float* lev = three.pfi->grid_to_world_scaling[2];
  EXPECT_EQ(std::vector<float>(lev, lev + 4), (std::vector<float>{3, 1000, 850, 500}));
  EXPECT_FLOAT_EQ(three.pfi->world_to_grid[2](lev, 850), 2);
  // A linear z axis may fall.
  EXPECT_FLOAT_EQ(world(parse_text(d, grid_ctl("zdef 4 linear 1000 -100\n")), 2, 4), 700);
  parsed eof = parse_text(d, grid_ctl() + "zdef 4 levels 1000\n850\n");
  EXPECT_EQ(eof.out, std::string("Open Error:  Unexpected EOF reading descriptor file\n"
                                 "   EOF occurred reading LEVELS values\n") +
                         kClosing);

  // Both parts of an increment, whose months or minutes pass the int range,
  // are summed exactly.
  parsed far = parse_text(d, grid_ctl("tdef 3 linear jan1990 2147483647yr2147483647dy\n"));
  ASSERT_EQ(far.rc, 0) << far.out;
  EXPECT_EQ(far.pfi->grid_to_world_scaling[3][5], float(2147483647.0 * 12));
  EXPECT_EQ(far.pfi->grid_to_world_scaling[3][6], float(2147483647.0 * 1440));
}

TEST(Descriptor, LatitudeTables) {
  TempDir d;
  std::string tail =
      "dset ^d.dat\nundef 1\nxdef 2 linear 0 1\nzdef 1 linear 1 1\n"
      "tdef 1 linear jan2000 1mo\nvars 1\nv 0 0 v\nendvars\n";
  parsed m = parse_text(d, "ydef 16 mom32 9\n" + tail);
  ASSERT_EQ(m.rc, 0) << m.out;
  EXPECT_FLOAT_EQ(world(m, 1, 1), -7.12f);
  EXPECT_FLOAT_EQ(world(m, 1, 16), 7.12f);
  expect_refused(parse_text(d, "ydef 102 gausr40 2\n" + tail),
                 "Open Error: Invalid GAUSR40 scaling.\n  Maximum 102 latitudes exceeded \n",
                 "ydef 102 gausr40 2");
}

TEST(Descriptor, VariableRecords) {
  TempDir d;
  parsed r = parse_text(d, grid_ctl("",
                                    "vars 3\nHgt 10 33,100 Geopotential Height  \n"
                                    "rh 10 52 , 100 , 3 , 4 RH\n"
                                    "averyveryverylongname 0 1 x\nendvars\n"));
  ASSERT_EQ(r.rc, 0) << r.out;
  const variable_descriptor* v = r.pfi->variables;
  EXPECT_STREQ(v[0].abbrev, "hgt");
  EXPECT_EQ(v[0].levels, 10);
  EXPECT_EQ(std::vector<int>(v[0].units, v[0].units + 3), (std::vector<int>{33, 100, -999}));
  EXPECT_STREQ(v[0].description, "Geopotential Height");
  EXPECT_EQ(v[1].units[3], 4);
  EXPECT_STREQ(v[1].description, "RH");
  EXPECT_STREQ(v[2].abbrev, "averyveryverylo");

  for (const char* line : {"t 10 33, temp", "t 10 33,", "t 10 33", "t 10", "t x 33 temp",
                           "t 10 1,2,3,4,5 temp", "t -1 33 temp", "t 10 x temp"}) {
    expect_refused(parse_text(d, grid_ctl("", std::string("vars 1\n") + line + "\nendvars\n")),
                   "Open Error:  Invalid variable record\n", line);
  }
}

TEST(Descriptor, CalendarOfTheFirstDataSetHolds) {
  TempDir d;
  write_file(d.file("std.ctl"), grid_ctl());
  // A start its own calendar lacks refuses the set and leaves the session's
  // calendar unset, so a standard one may follow.
  write_file(d.file("feb29.ctl"),
             grid_ctl("options 365_day_calendar\ntdef 2 linear 29feb2000 1dy\n"));
  EXPECT_EQ(parse_file(d.file("feb29.ctl")).rc, 1);
  EXPECT_EQ(mfcmn.calendar_365, -999);
  EXPECT_EQ(parse_file(d.file("std.ctl"), 1, true).rc, 0);
  EXPECT_EQ(mfcmn.calendar_365, 0);
  write_file(d.file("noleap.ctl"), grid_ctl("options 365_day_calendar\n"));
  ASSERT_EQ(parse_file(d.file("noleap.ctl")).rc, 0);
  EXPECT_EQ(mfcmn.calendar_365, 1);
  expect_refused(parse_file(d.file("std.ctl"), 1, true),
                 "Attempt to change the global calendar...\nThe calendar is NOW 365 DAYS and you "
                 "attempted to open a standard calendar file\n",
                 "");
  mfcmn.calendar_365 = -999;
}

TEST(Descriptor, FileNames) {
  TempDir d;
  const std::string rest = grid_ctl().substr(12);  // without its dset line
  // An unset variable fails the open clearly instead of leaving a stale name.
  unsetenv("VEMRA_TEST_UNSET_DIR");
  expect_refused(parse_text(d, "dset $VEMRA_TEST_UNSET_DIR/x.dat\n" + rest),
                 "Open Error:  Environment variable VEMRA_TEST_UNSET_DIR named in a file name is "
                 "not set\n",
                 "dset $VEMRA_TEST_UNSET_DIR/x.dat");
  setenv("VEMRA_TEST_DATA_DIR", "/big/data", 1);
  parsed set = parse_text(d, "dset $VEMRA_TEST_DATA_DIR/x.dat\n" + rest);
  EXPECT_STREQ(set.pfi->data_file_name, "/big/data/x.dat");
  // Long names are kept whole, case and all, up to the longest line.
  std::string longname = "/Data/" + std::string(491, 'a') + "/File.DAT";  // a line of 511
  parsed lng =
      parse_text(d, "dset " + longname + "\n" + rest + "index ^" + std::string(300, 'b') + "\n", 0);
  ASSERT_EQ(lng.rc, 0) << lng.out;
  EXPECT_EQ(std::string(lng.pfi->data_file_name), longname);
  EXPECT_EQ(std::string(lng.pfi->map_file_name), d.path() + "/" + std::string(300, 'b'));
}

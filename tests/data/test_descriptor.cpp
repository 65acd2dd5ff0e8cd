// Descriptor records and their messages.
#include <cmath>
#include <cstdlib>

#include "base/timecal.h"
#include "test_descriptor_support.h"

using namespace dtest;
using vemra_test::TempDir;
using vemra_test::write_file;

namespace {

const char* kContext = "  --> The invalid description file record is: \n";

// A complete small grid descriptor; `extra` goes before the VARS block.
std::string grid_ctl(const std::string& extra = "", const std::string& vars =
                                                        "vars 1\nt 0 99 temperature\nendvars\n") {
  return "dset ^d.dat\ntitle A Title\nundef -9.99e33\nxdef 4 linear 0 2.5\n"
         "ydef 3 linear -10 10\nzdef 1 levels 1000\ntdef 10 linear 00z01jan1990 6hr\n" +
         extra + vars;
}

// Expects a failed parse whose output has msg, followed by the record's
// context lines when `record` is not empty, and the closing line last.
void expect_refused(const parsed& r, const std::string& msg, const std::string& record) {
  EXPECT_EQ(r.rc, 1);
  EXPECT_TRUE(contains(r.out, msg)) << r.out;
  if (!record.empty()) {
    EXPECT_TRUE(contains(r.out, msg + std::string(kContext) + "  --> " + record + "\n")) << r.out;
  }
  ASSERT_GE(r.out.size(), std::strlen(kClosing));
  EXPECT_EQ(r.out.substr(r.out.size() - std::strlen(kClosing)), kClosing);
}

}  // namespace

TEST(Descriptor, GoodGridDescriptorFillsTheRecord) {
  TempDir d;
  parsed r = parse_text(d, grid_ctl());
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.out, "");
  file_descriptor* p = r.pfi.get();
  EXPECT_EQ(std::string(p->data_file_name), d.path() + "/d.dat");
  EXPECT_FLOAT_EQ(p->undef, -9.99e33f);
  EXPECT_FLOAT_EQ(p->undef_low, -9.99e33f - 9.99e28f);
  EXPECT_FLOAT_EQ(p->undef_high, -9.99e33f + 9.99e28f);
  // Linear Y: grid 1 is -10, grid 3 is 10; world 0 is grid 2.
  EXPECT_FLOAT_EQ(p->grid_to_world[1](p->grid_to_world_scaling[1], 1), -10);
  EXPECT_FLOAT_EQ(p->grid_to_world[1](p->grid_to_world_scaling[1], 3), 10);
  EXPECT_FLOAT_EQ(p->world_to_grid[1](p->world_to_grid_scaling[1], 0), 2);
  EXPECT_EQ(p->linear_flags[1], 1);
  // The time axis: start and a 6-hour step in minutes.
  const float* ts = p->grid_to_world_scaling[3];
  EXPECT_EQ(ts[0], 1990);
  EXPECT_EQ(ts[1], 1);
  EXPECT_EQ(ts[2], 1);
  EXPECT_EQ(ts[5], 0);
  EXPECT_EQ(ts[6], 360);
}

TEST(Descriptor, LinesEndingInCarriageReturnsParse) {
  TempDir d;
  std::string text = grid_ctl();
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  parsed r = parse_text(d, crlf);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_STREQ(r.pfi->title, "A Title");
  EXPECT_STREQ(r.pfi->variables[0].description, "temperature");
}

TEST(Descriptor, NameWithoutExtensionOpensTheCtlFile) {
  TempDir d;
  write_file(d.file("model.ctl"), grid_ctl());
  parsed r = parse_file(d.file("model"));
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(std::string(r.pfi->descriptor_name), d.file("model.ctl"));
  parsed missing = parse_file(d.file("nothing"));
  EXPECT_EQ(missing.rc, 1);
  EXPECT_EQ(missing.out, "Open Error:  Can't open description file\n");
}

TEST(Descriptor, CommentsAndBlankLinesAreSkippedAlsoAmongVariables) {
  TempDir d;
  std::string vars =
      "* comment\n# another\n\nvars 2\n  indented line is a comment\nu 0 1 first var\n"
      "\tt 0 2 tabbed comment\n* x 0 3 nope\nv 0 2 second var\nendvars\n";
  parsed r = parse_text(d, grid_ctl("", vars));
  ASSERT_EQ(r.rc, 0) << r.out;
  ASSERT_EQ(r.pfi->variable_count, 2);
  EXPECT_STREQ(r.pfi->variables[0].abbrev, "u");
  EXPECT_STREQ(r.pfi->variables[1].abbrev, "v");
  EXPECT_STREQ(r.pfi->variables[1].description, "second var");
}

TEST(Descriptor, WarningsLeaveTheParseGoing) {
  TempDir d;
  parsed r = parse_text(d, grid_ctl("dtype\ntitle\noptions\nfileheader\nxyheader\ntheader\n"
                                    "fileheader 12x\nxyheader abc\ntheader q\n"
                                    "trailerbytes\nheaderbytes x\n"));
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.out,
            "Description file warning: Missing data type\n"
            "   Assuming data file type is grid\n"
            "Description file warning: Missing title string\n"
            "Description file warning: Missing options keyword\n"
            "Description file warning: Missing fileheader length\n"
            "Description file warning: Missing xy grid header length\n"
            "Description file warning: Missing time chunk header length\n"
            "Fileheader record invalid\n"
            "xy grid header length invalid\n"
            "time chunk grid header length invalid\n"
            "Trailerbytes record invalid\n"
            "Headerbytes record invalid\n");
  EXPECT_EQ(r.pfi->file_type, grid_file);
  EXPECT_STREQ(r.pfi->title, "A Title");
}

TEST(Descriptor, GribTypeOption) {
  TempDir d;
  parsed r = parse_text(d, grid_ctl("dtype grib 29\n"), 0);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.pfi->grib_flag, 1);
  EXPECT_EQ(r.pfi->grib_grid_type, 29);
  parsed bad = parse_text(d, grid_ctl("dtype grib x\n"), 0);
  ASSERT_EQ(bad.rc, 0) << bad.out;
  EXPECT_EQ(bad.out, "Description file warning: Invalid GRIB option\n");
  EXPECT_EQ(bad.pfi->grib_grid_type, -999);
}

TEST(Descriptor, OptionWordsAndByteOrder) {
  TempDir d;
  parsed r = parse_text(d, grid_ctl("options yrev zrev sequential 365_day_calendar "
                                    "cray_32bit_ieee\nformat big_endian\n"));
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.pfi->yrev, 1);
  EXPECT_EQ(r.pfi->zrev, 1);
  EXPECT_EQ(r.pfi->sequential, 1);
  EXPECT_EQ(r.pfi->calendar_365, 1);
  EXPECT_EQ(r.pfi->cray_32bit_ieee, 0);
  // This host is little-endian: big-endian data must be swapped.
  EXPECT_EQ(r.pfi->byte_swap, 1);
  parsed le = parse_text(d, grid_ctl("options little_endian\n"));
  EXPECT_EQ(le.pfi->byte_swap, 0);
  parsed bs = parse_text(d, grid_ctl("byteswapped\n"));
  EXPECT_EQ(bs.pfi->byte_swap, 1);
}

// The refusals and their messages are checked through "open" in the
// end-to-end tests; here what is accepted around them.
TEST(Descriptor, AcceptedNeighboursOfRefusedRecords) {
  TempDir d;
  parsed ok = parse_text(d, grid_ctl("toff 9\n"));
  ASSERT_EQ(ok.rc, 0) << ok.out;
  EXPECT_EQ(ok.pfi->toff, 9);
  EXPECT_EQ(ok.pfi->toff_flag, 1);
  parsed early_ok = parse_text(d, "toff 3\n" + grid_ctl());
  EXPECT_EQ(early_ok.rc, 0) << early_ok.out;
  // Without the map switch the map is not opened, so nothing is wrong.
  parsed off = parse_text(d, grid_ctl("index ^gone.idx\n"), 0);
  EXPECT_EQ(off.rc, 0) << off.out;
  // In a station data set the space dimensions are not read at all.
  std::string map = "Vemra_stnmapV002";
  for (int v : {1, 4, 0, 3}) {
    map += std::string(3, '\0');
    map += static_cast<char>(v);
  }
  vemra_test::write_file(d.file("s.map"), map);
  parsed stn = parse_text(d, "dset ^s.dat\ndtype station\nstnmap ^s.map\nundef -999\n"
                             "zdef 0 levels\ntdef 1 linear jan2000 1mo\nvars 1\nps 0 0 ps\n"
                             "endvars\n");
  EXPECT_EQ(stn.rc, 0) << stn.out;
}

TEST(Descriptor, DimensionRecords) {
  TempDir d;
  parsed wrap = parse_text(d, grid_ctl("xdef 144 linear 0 2.5\n"));
  ASSERT_EQ(wrap.rc, 0) << wrap.out;
  EXPECT_EQ(wrap.pfi->x_wraps, 1);
  EXPECT_EQ(wrap.pfi->x_size, 144);
  // A later XDEF replaces the earlier one, wrap flag included.
  parsed nowrap = parse_text(d, "xdef 144 linear 0 2.5\n" + grid_ctl("xdef 144 linear 0 2.4\n"));
  ASSERT_EQ(nowrap.rc, 0) << nowrap.out;
  EXPECT_EQ(nowrap.pfi->x_wraps, 0);
  parsed monthly = parse_text(d, grid_ctl("tdef 1 linear jan2000 1mo\n"));
  ASSERT_EQ(monthly.rc, 0) << monthly.out;
  EXPECT_EQ(monthly.pfi->t_size, 1);
  EXPECT_EQ(monthly.pfi->grid_to_world_scaling[3][5], 1);
  EXPECT_EQ(monthly.pfi->grid_to_world_scaling[3][6], 0);

  // One level given with "levels" is linear from that level by 1.
  parsed one = parse_text(d, grid_ctl());
  EXPECT_EQ(one.pfi->linear_flags[2], 1);
  EXPECT_FLOAT_EQ(one.pfi->grid_to_world[2](one.pfi->grid_to_world_scaling[2], 1), 1000);
  EXPECT_FLOAT_EQ(one.pfi->grid_to_world[2](one.pfi->grid_to_world_scaling[2], 2), 1001);

  // Levels continue over following lines.
  parsed three = parse_text(d, grid_ctl("zdef 3 levels 1000\n 850\n500\n"));
  ASSERT_EQ(three.rc, 0) << three.out;
  EXPECT_EQ(three.pfi->z_size, 3);
  EXPECT_EQ(three.pfi->linear_flags[2], 0);
  const float* lev = three.pfi->grid_to_world_scaling[2];
  EXPECT_EQ(lev[0], 3);
  EXPECT_EQ(lev[1], 1000);
  EXPECT_EQ(lev[2], 850);
  EXPECT_EQ(lev[3], 500);
  EXPECT_FLOAT_EQ(three.pfi->world_to_grid[2](lev, 850), 2);
  parsed down = parse_text(d, grid_ctl("zdef 4 linear 1000 -100\n"));
  ASSERT_EQ(down.rc, 0) << down.out;
  EXPECT_FLOAT_EQ(down.pfi->grid_to_world[2](down.pfi->grid_to_world_scaling[2], 4), 700);
  // Both parts of an increment: a minute axis.
  parsed both = parse_text(d, grid_ctl("tdef 3 linear 6z5jan1990 1dy12hr\n"));
  ASSERT_EQ(both.rc, 0) << both.out;
  EXPECT_EQ(both.pfi->grid_to_world_scaling[3][3], 6);
  EXPECT_EQ(both.pfi->grid_to_world_scaling[3][6], 2160);
  // Increments whose months or minutes pass the int range are still summed exactly.
  parsed far = parse_text(d, grid_ctl("tdef 3 linear jan1990 2147483647yr2147483647dy\n"));
  ASSERT_EQ(far.rc, 0) << far.out;
  EXPECT_EQ(far.pfi->grid_to_world_scaling[3][5], float(2147483647.0 * 12));
  EXPECT_EQ(far.pfi->grid_to_world_scaling[3][6], float(2147483647.0 * 1440));

  parsed eof = parse_text(d, grid_ctl() + "zdef 4 levels 1000\n850\n");
  EXPECT_EQ(eof.rc, 1);
  EXPECT_EQ(eof.out, std::string("Open Error:  Unexpected EOF reading descriptor file\n"
                                 "   EOF occurred reading LEVELS values\n") +
                         kClosing);
}

TEST(Descriptor, LatitudeTables) {
  TempDir d;
  std::string tail =
      "dset ^d.dat\nundef 1\nxdef 2 linear 0 1\nzdef 1 linear 1 1\n"
      "tdef 1 linear jan2000 1mo\nvars 1\nv 0 0 v\nendvars\n";
  parsed m = parse_text(d, "ydef 16 mom32 9\n" + tail);
  ASSERT_EQ(m.rc, 0) << m.out;
  EXPECT_EQ(m.pfi->linear_flags[1], 0);
  EXPECT_FLOAT_EQ(m.pfi->grid_to_world[1](m.pfi->grid_to_world_scaling[1], 1), -7.12f);
  EXPECT_FLOAT_EQ(m.pfi->grid_to_world[1](m.pfi->grid_to_world_scaling[1], 16), 7.12f);
  parsed over = parse_text(d, "ydef 102 gausr40 2\n" + tail);
  EXPECT_EQ(over.rc, 1);
  EXPECT_TRUE(contains(over.out, "Open Error: Invalid GAUSR40 scaling.\n"
                                 "  Maximum 102 latitudes exceeded \n" +
                                     std::string(kContext)))
      << over.out;
}

TEST(Descriptor, VariableRecords) {
  TempDir d;
  parsed r = parse_text(d, grid_ctl("", "vars 3\nHgt 10 33,100 Geopotential Height  \n"
                                        "rh 10 52 , 100 , 3 , 4 RH\n"
                                        "averyveryverylongname 0 1 x\nendvars\n"));
  ASSERT_EQ(r.rc, 0) << r.out;
  const variable_descriptor* v = r.pfi->variables;
  EXPECT_STREQ(v[0].abbrev, "hgt");
  EXPECT_EQ(v[0].levels, 10);
  EXPECT_EQ(v[0].units[0], 33);
  EXPECT_EQ(v[0].units[1], 100);
  EXPECT_EQ(v[0].units[2], -999);
  EXPECT_STREQ(v[0].description, "Geopotential Height");
  EXPECT_EQ(v[0].multiplier, 1);
  EXPECT_EQ(v[1].units[3], 4);
  EXPECT_STREQ(v[1].description, "RH");
  EXPECT_STREQ(v[2].abbrev, "averyveryverylo");

  const std::string bad = "Open Error:  Invalid variable record\n";
  for (const char* line : {"t 10 33, temp", "t 10 33,", "t 10 33", "t 10", "t x 33 temp",
                           "t 10 1,2,3,4,5 temp", "t -1 33 temp", "t 10 x temp"}) {
    expect_refused(parse_text(d, grid_ctl("", std::string("vars 1\n") + line + "\nendvars\n")), bad,
                   line);
  }
}

// The other codes are read back through data in the grid read tests.
TEST(Descriptor, FourByteFloatCode) {
  TempDir d;
  parsed r = parse_text(d, grid_ctl("", "vars 1\nd 0 -1,40,3 f\nendvars\n"));
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.pfi->variables[0].data_form, 3);
}
TEST(Descriptor, CalendarOfTheFirstDataSetHolds) {
  TempDir d;
  write_file(d.file("std.ctl"), grid_ctl());
  write_file(d.file("noleap.ctl"), grid_ctl("options 365_day_calendar\n"));
  parsed first = parse_file(d.file("noleap.ctl"));
  ASSERT_EQ(first.rc, 0) << first.out;
  EXPECT_EQ(mfcmn.calendar_365, 1);
  parsed second = parse_file(d.file("std.ctl"), 1, true);
  EXPECT_EQ(second.rc, 1);
  EXPECT_EQ(second.out, std::string("Attempt to change the global calendar...\n"
                                    "The calendar is NOW 365 DAYS and you attempted to open a "
                                    "standard calendar file\n") +
                            kClosing);
  mfcmn.calendar_365 = 0;
  parsed third = parse_file(d.file("noleap.ctl"), 1, true);
  EXPECT_TRUE(contains(third.out, "The calendar is NOW STANDARD and you attempted to open a "
                                  "365-day calendar file\n"));
  mfcmn.calendar_365 = -999;
}

TEST(Descriptor, FileNames) {
  TempDir d;
  // An unset variable fails the open clearly instead of leaving a stale name.
  unsetenv("VEMRA_TEST_UNSET_DIR");
  parsed unset = parse_text(d, "dset $VEMRA_TEST_UNSET_DIR/x.dat\n" + grid_ctl().substr(12));
  expect_refused(unset,
                 "Open Error:  Environment variable VEMRA_TEST_UNSET_DIR named in a file name is "
                 "not set\n",
                 "dset $VEMRA_TEST_UNSET_DIR/x.dat");
  setenv("VEMRA_TEST_DATA_DIR", "/big/data", 1);
  parsed set = parse_text(d, "dset $VEMRA_TEST_DATA_DIR/x.dat\n" + grid_ctl().substr(12));
  ASSERT_EQ(set.rc, 0) << set.out;
  EXPECT_STREQ(set.pfi->data_file_name, "/big/data/x.dat");
  // Long names are kept whole, case and all, up to the longest line.
  std::string longname = "/Data/" + std::string(491, 'a') + "/File.DAT";  // a line of 511
  parsed lng = parse_text(d, "dset " + longname + "\n" + grid_ctl().substr(12) + "index ^" +
                                 std::string(300, 'b') + "\n", 0);
  ASSERT_EQ(lng.rc, 0) << lng.out;
  EXPECT_EQ(std::string(lng.pfi->data_file_name), longname);
  EXPECT_EQ(std::string(lng.pfi->map_file_name), d.path() + "/" + std::string(300, 'b'));
}


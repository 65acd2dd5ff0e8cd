// Record layout of grid files, station layout and maps, GRIB index files and
// the per-time file numbers of templated data sets.
#include "base/session.h"
#include "test_descriptor_support.h"

using namespace dtest;
using vemra_test::TempDir;
using vemra_test::write_file;

namespace {

std::string head(const std::string& xy = "xdef 4 linear 0 1\nydef 3 linear 0 1\n",
                 const std::string& tdef = "tdef 5 linear 00z1jan2000 1dy\n") {
  return "dset ^d.dat\nundef -999\n" + xy + "zdef 2 levels 1000 500\n" + tdef;
}

}  // namespace

TEST(GridLayout, HeadersTrailersAndSequentialMarkers) {
  TempDir d;
  std::string vars = "vars 2\nu 2 0 u\nps 0 0 ps\nendvars\n";
  parsed r = parse_text(d, head() + "headerbytes 8\ntrailerbytes 12\ntheader 16\nxyheader 4\n"
                                    "fileheader 100\n" + vars);
  ASSERT_EQ(r.rc, 0) << r.out;
  const file_descriptor* p = r.pfi.get();
  // Grid: 12 values + 1 header word. First variable after 2 header words.
  EXPECT_EQ(p->grid_words, 13);
  EXPECT_EQ(p->xy_header_words, 1);
  EXPECT_EQ(p->time_header_words, 4);
  EXPECT_EQ(p->file_header_bytes, 100);
  EXPECT_EQ(p->variables[0].offset, 2);
  EXPECT_EQ(p->variables[1].offset, 2 + 2 * 13);
  // Time block: last offset + its grid, + theader words + trailer words.
  EXPECT_EQ(p->time_words, 2 + 3 * 13 + 4 + 3);

  parsed s = parse_text(d, head() + "options sequential\nheaderbytes 8\ntheader 16\n" + vars);
  ASSERT_EQ(s.rc, 0) << s.out;
  p = s.pfi.get();
  // Each grid is framed by two markers; a header record by two more.
  EXPECT_EQ(p->grid_words, 14);
  EXPECT_EQ(p->variables[0].offset, 2 + 2 + 1);
  EXPECT_EQ(p->variables[1].offset, 5 + 2 * 14);
  EXPECT_EQ(p->time_words, 5 + 3 * 14 + (4 + 2) - 1);
}

TEST(GridLayout, TimeBlockVariables) {
  TempDir d;
  parsed r = parse_text(d, head() + "vars 2\na 2 -1,20 a\nb 0 -1,20 b\nendvars\n");
  ASSERT_EQ(r.rc, 0) << r.out;
  // All five times of a's two levels come before b.
  EXPECT_EQ(r.pfi->variables[1].offset, 2 * 5 * 12);
  EXPECT_EQ(r.pfi->variables[1].time_block, 1);
  parsed t = parse_text(d, head() + "options template\nvars 3\na 2 -1,20,3 a\nb 1 -1,20 b\n"
                                    "c 0 -1,20,2 c\nendvars\n");
  ASSERT_EQ(t.rc, 0) << t.out;
  // No count for b: the time count of the descriptor, with a notice.
  EXPECT_EQ(t.pfi->variables[1].offset, 2 * 5 * 12);
  EXPECT_TRUE(contains(t.out, "Using time templat and 4-D variables, # times / file not "
                              "specified\nDefaulting to the number of times in the .ctl file\n"));
  // c holds two times a file: b's one level twice.
  EXPECT_EQ(t.pfi->variables[2].offset, 2 * 5 * 12 + 1 * 2 * 12);
}

TEST(GridLayout, LargeGridsUseSixtyFourBitSizes) {
  TempDir d;
  parsed r = parse_text(d, head("xdef 50000 linear 0 1\nydef 50000 linear 0 1\n") +
                               "vars 2\na 2 0 a\nb 2 0 b\nendvars\n");
  ASSERT_EQ(r.rc, 0) << r.out;
  const int64_t grid = 2500000000LL;
  EXPECT_EQ(r.pfi->grid_words, grid);
  EXPECT_EQ(r.pfi->variables[1].offset, 2 * grid);
  EXPECT_EQ(r.pfi->time_words, 4 * grid);
  // Sizes past 64-bit offsets are refused instead of wrapping around.
  parsed huge = parse_text(d, head("xdef 2000000000 linear 0 1\nydef 2000000000 linear 0 1\n") +
                                  "vars 2\na 2000000000 0 a\nb 1 0 b\nendvars\n");
  EXPECT_EQ(huge.out,
            std::string("Open Error:  Data set too large: its layout exceeds 64-bit file offsets\n") +
                kClosing);
}

TEST(StationLayout, SurfaceVariablesFirst) {
  TempDir d;
  // The station map: version 2, three times, largest report 40 words.
  std::string map = "Vemra_stnmapV002";
  put_be(map, 3);
  put_be(map, 40);
  for (int v : {0, 100, 250}) put_be(map, v);
  for (int v : {5, 6, 7}) put_be(map, v);
  write_file(d.file("s.map"), map);
  std::string ctl = "dset ^s.dat\ndtype station\nstnmap ^s.map\nundef -999\n"
                    "tdef 3 linear 12z1jan2000 12hr\nxdef 5 linear 0 1\n"
                    "vars 3\nps 0 0 ps\nt 1 0 t\nu 1 0 u\nendvars\n";
  parsed r = parse_text(d, ctl);
  ASSERT_EQ(r.rc, 0) << r.out;
  const file_descriptor* p = r.pfi.get();
  EXPECT_EQ(p->file_type, station_file);
  EXPECT_EQ(p->surface_variable_count, 1);
  EXPECT_EQ(p->level_variable_count, 2);
  EXPECT_EQ(p->variables[2].offset, 1);
  EXPECT_EQ(p->station_offsets[1], 100);
  EXPECT_EQ(p->station_counts[2], 7);
  EXPECT_EQ(p->x_size, 0);  // XDEF is ignored in station data sets

  parsed order = parse_text(d, "dset ^s.dat\ndtype station\nstnmap ^s.map\nundef -999\n"
                               "tdef 3 linear 12z1jan2000 12hr\n"
                               "vars 2\nt 1 0 t\nps 0 0 ps\nendvars\n");
  EXPECT_EQ(order.out, std::string("Open Error: Variables out of order\n"
                                   "  Non-vertical variables must go first\n") +
                           kClosing);

  parsed count = parse_text(d, "dset ^s.dat\ndtype station\nstnmap ^s.map\nundef -999\n"
                               "tdef 4 linear 12z1jan2000 12hr\nvars 1\nps 0 0 ps\nendvars\n");
  EXPECT_EQ(count.out, std::string("Open Error: Inconsistent time count\n"
                                   "  Count in station map file = 3\n"
                                   "  Count in descriptor file = 4\n") +
                           kClosing);

  parsed nomap = parse_text(d, "dset ^s.dat\ndtype station\nundef -999\n"
                               "tdef 3 linear 12z1jan2000 12hr\nvars 1\nps 0 0 ps\nendvars\n");
  EXPECT_EQ(nomap.out, std::string("Open Error: missing STNMAP record\n") + kClosing);
  // Without the map switch the map is neither needed nor read.
  parsed nomapok = parse_text(d, "dset ^s.dat\ndtype station\nundef -999\n"
                                 "tdef 3 linear 12z1jan2000 12hr\nvars 1\nps 0 0 ps\nendvars\n",
                              0);
  EXPECT_EQ(nomapok.rc, 0) << nomapok.out;
}

TEST(StationLayout, VersionOneMapsInEitherByteOrder) {
  TempDir d;
  std::string ctl = "stnmap ^s.map\ndset ^s.dat\ndtype station\nundef -999\n"
                    "tdef 2 linear 12z1jan2000 12hr\nvars 1\nps 0 0 ps\nendvars\n";
  for (bool reversed : {false, true}) {
    std::string map;
    put_host<int>(map, 2, reversed);
    put_host<int>(map, 33, reversed);
    put_host<int>(map, 0, reversed);
    put_host<int>(map, 4096, reversed);
    put_host<int>(map, 9, reversed);
    put_host<int>(map, 70000, reversed);
    write_file(d.file("s.map"), map);
    parsed r = parse_text(d, ctl);
    ASSERT_EQ(r.rc, 0) << r.out;
    EXPECT_EQ(r.pfi->station_offsets[1], 4096) << reversed;
    EXPECT_EQ(r.pfi->station_counts[1], 70000) << reversed;
  }
  // A map that ends early is refused, not read past its end.
  std::string cut = "Vemra_stnmapV002";
  put_be(cut, 2);
  put_be(cut, 10);
  put_be(cut, 0);
  write_file(d.file("s.map"), cut);
  parsed r = parse_text(d, ctl);
  EXPECT_EQ(r.out, std::string("Open Error:  Station map file is short or damaged\n") + kClosing);
  std::remove(d.file("s.map").c_str());
  parsed gone = parse_text(d, ctl);
  // The map is read after the last record, yet the error names its record.
  EXPECT_EQ(gone.out, "Open Error:  Can't open Station/Index map file " + d.path() +
                          "/s.map\n"
                          "  --> The invalid description file record is: \n"
                          "  --> stnmap ^s.map\n" +
                          kClosing);
}

namespace {

// Index contents for a data set of `nt` times and `rpt` records per time.
struct index_data {
  std::vector<int> hi;
  std::vector<int> ints;
  std::vector<float> flts;
};

index_data sample_index(int nt, int rpt, int gtype = 255) {
  index_data x;
  x.hi = {2, nt, rpt, gtype};
  for (int i = 0; i < nt * rpt; i++) {
    x.ints.insert(x.ints.end(), {1000 + i, i % 2 ? -999 : 50 + i, i == 1 ? -999 : 12});
    x.flts.insert(x.flts.end(), {1.0f, 0.5f, -100.0f});
  }
  return x;
}

std::string portable(const index_data& x) {
  std::string s;
  s += '\0';
  s += '\2';
  put_be(s, x.hi.size());
  put_be(s, 0);
  put_be(s, x.ints.size());
  put_be(s, x.flts.size());
  s += std::string("\x07\xd0\x01\x01\x00\x00\x00", 7);  // base time, not read
  for (int v : x.hi) put_sm(s, v);
  for (int v : x.ints) put_sm(s, v);
  for (float v : x.flts) put_ibm(s, v);
  for (int i = 0; i < 8; i++) put_ibm(s, 0);
  return s;
}

std::string native(const index_data& x, bool reversed) {
  std::string s;
  for (int v : {1, int(x.hi.size()), 0, int(x.ints.size()), int(x.flts.size())})
    put_host<int>(s, v, reversed);
  for (int i = 0; i < 4; i++) put_host<int>(s, 0, reversed);  // the writer's pointers
  for (int v : x.hi) put_host<int>(s, v, reversed);
  for (int v : x.ints) put_host<int>(s, v, reversed);
  for (float v : x.flts) put_host<float>(s, v, reversed);
  return s;
}

// A GRIB descriptor of two times and three records (t at 2 levels, ps).
std::string grib_ctl(const std::string& index_line = "index ^g.idx\n") {
  return index_line + "dset ^g.grb\ndtype grib\nundef 9.999e20\nxdef 4 linear 0 1\n"
                      "ydef 3 linear 0 1\nzdef 2 levels 1000 500\ntdef 2 linear 0z1jan2000 6hr\n"
                      "vars 2\nt 2 11,100,0 temp\nps 0 1,1,0 pres\nendvars\n";
}

void expect_index(const grib_index* g) {
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->hinum, 4);
  EXPECT_EQ(g->intnum, 18);
  EXPECT_EQ(g->fltnum, 18);
  EXPECT_EQ(g->hipnt[1], 2);
  EXPECT_EQ(g->hipnt[2], 3);
  EXPECT_EQ(g->intpnt[0], 1000);
  EXPECT_EQ(g->intpnt[1], 50);
  EXPECT_EQ(g->intpnt[4], -999);  // no bit map
  EXPECT_EQ(g->intpnt[5], -999);  // no message
  EXPECT_EQ(g->intpnt[15], 1005);
  EXPECT_FLOAT_EQ(g->fltpnt[0], 1.0f);
  EXPECT_FLOAT_EQ(g->fltpnt[1], 0.5f);
  EXPECT_FLOAT_EQ(g->fltpnt[17], -100.0f);
}

}  // namespace

TEST(GribIndex, SignAndMagnitudeIntegers) {
  unsigned char buf[8];
  int64_t pos = 0;
  putint(-999, buf, pos);
  putint(258, buf, pos);
  EXPECT_EQ(pos, 8);
  const unsigned char expect[8] = {0x80, 0x00, 0x03, 0xe7, 0x00, 0x00, 0x01, 0x02};
  EXPECT_EQ(std::memcmp(buf, expect, 8), 0);
}

TEST(GribIndex, PortableAndNativeLayoutsRead) {
  TempDir d;
  index_data x = sample_index(2, 3);
  // The index may come before every record it is checked against.
  write_file(d.file("g.idx"), portable(x));
  parsed p = parse_text(d, grib_ctl());
  ASSERT_EQ(p.rc, 0) << p.out;
  EXPECT_EQ(p.pfi->grib_flag, 1);
  EXPECT_EQ(p.pfi->grib_index->version, 2);
  expect_index(p.pfi->grib_index);
  EXPECT_NE(p.pfi->grib_buffer, nullptr);
  for (bool reversed : {false, true}) {
    write_file(d.file("g.idx"), native(x, reversed));
    parsed n = parse_text(d, grib_ctl());
    ASSERT_EQ(n.rc, 0) << n.out;
    EXPECT_EQ(n.pfi->grib_index->version, 1);
    EXPECT_EQ(n.pfi->grib_index->hfpnt, nullptr);
    expect_index(n.pfi->grib_index);
  }
}

TEST(GribIndex, StaleOrShortIndexIsRefused) {
  TempDir d;
  const std::string mismatch = "Open Error:  GRIB index file does not match the descriptor\n";
  write_file(d.file("g.idx"), portable(sample_index(3, 3)));
  parsed times = parse_text(d, grib_ctl());
  EXPECT_EQ(times.rc, 1);
  EXPECT_TRUE(contains(times.out, mismatch)) << times.out;
  write_file(d.file("g.idx"), portable(sample_index(2, 2)));
  EXPECT_TRUE(contains(parse_text(d, grib_ctl()).out, mismatch));
  // A grid-29 index needs two slots a record.
  write_file(d.file("g.idx"), portable(sample_index(2, 3, 29)));
  parsed slots = parse_text(d, grib_ctl());
  EXPECT_EQ(slots.rc, 1);
  EXPECT_TRUE(contains(slots.out, mismatch)) << slots.out;

  // Bits per value past 32 can't be unpacked: the index is damaged.
  index_data wide = sample_index(2, 3);
  wide.ints[2] = 2147483647;
  write_file(d.file("g.idx"), portable(wide));
  EXPECT_EQ(parse_text(d, grib_ctl()).out,
            std::string("Open Error:  GRIB index file is short or damaged\n") + kClosing);

  std::string whole = portable(sample_index(2, 3));
  write_file(d.file("g.idx"), whole.substr(0, 25 + 4 * 10));
  parsed cut = parse_text(d, grib_ctl());
  EXPECT_EQ(cut.out, std::string("Open Error:  GRIB index file is short or damaged\n") + kClosing);
  std::string n = native(sample_index(2, 3), false);
  write_file(d.file("g.idx"), n.substr(0, n.size() - 1));
  EXPECT_EQ(parse_text(d, grib_ctl()).rc, 1);
  // Absurd counts are refused before anything is allocated.
  std::string absurd = n;
  absurd[12] = '\xff';
  absurd[13] = '\xff';
  absurd[14] = '\xff';
  absurd[15] = '\x7f';
  write_file(d.file("g.idx"), absurd);
  parsed big = parse_text(d, grib_ctl());
  EXPECT_EQ(big.rc, 1);
  EXPECT_TRUE(contains(big.out, "Open Error:  GRIB index file has invalid sizes\n")) << big.out;
}

TEST(GribIndex, GribDataSetNeedsItsIndex) {
  TempDir d;
  parsed r = parse_text(d, grib_ctl(""));
  EXPECT_EQ(r.out, std::string("Open Error:  missing INDEX record \n") + kClosing);
  // The index builder parses without maps and so without the index.
  parsed b = parse_text(d, grib_ctl(""), 0);
  EXPECT_EQ(b.rc, 0) << b.out;
  EXPECT_EQ(b.pfi->grib_index, nullptr);
}

TEST(Template, FileNumbersPerTime) {
  TempDir d;
  parsed r = parse_text(d, "dset ^x%y4%m2%d2.dat\noptions template\nundef 1\n"
                           "xdef 2 linear 0 1\nydef 2 linear 0 1\nzdef 1 linear 1 1\n"
                           "tdef 10 linear 12z30dec1999 6hr\nvars 1\nv 0 0 v\nendvars\n");
  ASSERT_EQ(r.rc, 0) << r.out;
  // Times: 30dec 12z 18z | 31dec 0z 6z 12z 18z | 1jan 0z 6z 12z 18z.
  const int expect[10] = {1, 1, 3, 3, 3, 3, 7, 7, 7, 7};
  for (int t = 0; t < 10; t++) EXPECT_EQ(r.pfi->template_file_numbers[t], expect[t]) << t;
  EXPECT_EQ(r.pfi->open_template_time, 0);

  // The scan of a long time axis stops at an interrupt instead of running on.
  gcmn->interrupt = 1;
  parsed stopped = parse_text(d, "dset ^x%y4%m2%d2%h2%n2.dat\noptions template\nundef 1\n"
                                 "xdef 2 linear 0 1\nydef 2 linear 0 1\nzdef 1 linear 1 1\n"
                                 "tdef 100000 linear 00z1jan2000 1mn\nvars 1\nv 0 0 v\nendvars\n");
  gcmn->interrupt = 0;
  EXPECT_EQ(stopped.rc, 1);
  EXPECT_EQ(stopped.out, std::string("Open Error:  Interrupted while the template's file names "
                                     "were formed\n") + kClosing);
}

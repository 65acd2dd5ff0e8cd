// Record layout of grid files, station layout and maps, GRIB index files and
// the per-time file numbers of templated data sets.
#include "base/session.h"
#include "test_descriptor_support.h"

using namespace dtest;
using vemra_test::TempDir;
using vemra_test::write_file;

namespace {

std::string head(const std::string& xy = "xdef 4 linear 0 1\nydef 3 linear 0 1\n") {
  return "dset ^d.dat\nundef -999\n" + xy +
         "zdef 2 levels 1000 500\ntdef 5 linear 00z1jan2000 1dy\n";
}

std::string closed(const std::string& msg) { return msg + kClosing; }

}  // namespace

TEST(GridLayout, HeadersTrailersAndSequentialMarkers) {
  TempDir d;
  std::string vars = "vars 2\nu 2 0 u\nps 0 0 ps\nendvars\n";
  parsed r = parse_text(d, head() + "headerbytes 8\ntrailerbytes 12\ntheader 16\nxyheader 4\n" +
                               "fileheader 100\n" + vars);
  ASSERT_EQ(r.rc, 0) << r.out;
  const file_descriptor* p = r.pfi.get();
  // Grid: 12 values + 1 header word. First variable after 2 header words.
  EXPECT_EQ(p->grid_words, 13);
  EXPECT_EQ(p->file_header_bytes, 100);
  EXPECT_EQ(p->variables[1].offset, 2 + 2 * 13);
  // Time block: last offset + its grid, + theader words + trailer words.
  EXPECT_EQ(p->time_words, 2 + 3 * 13 + 4 + 3);
  // Sequential: each grid is framed by two markers; a header record by two more.
  parsed s = parse_text(d, head() + "options sequential\nheaderbytes 8\ntheader 16\n" + vars);
  EXPECT_EQ(s.pfi->grid_words, 14);
  EXPECT_EQ(s.pfi->variables[1].offset, 5 + 2 * 14);
  EXPECT_EQ(s.pfi->time_words, 5 + 3 * 14 + (4 + 2) - 1);
}

TEST(GridLayout, TimeBlockVariables) {
  TempDir d;
  parsed r = parse_text(d, head() + "vars 2\na 2 -1,20 a\nb 0 -1,20 b\nendvars\n");
  ASSERT_EQ(r.rc, 0) << r.out;
  // All five times of a's two levels come before b.
  EXPECT_EQ(r.pfi->variables[1].offset, 2 * 5 * 12);
  parsed t = parse_text(d, head() + "options template\nvars 3\na 2 -1,20,3 a\nb 1 -1,20 b\n" +
                               "c 0 -1,20,2 c\nendvars\n");
  ASSERT_EQ(t.rc, 0) << t.out;
  // No count for b: the time count of the descriptor, with a notice.
  EXPECT_EQ(t.pfi->variables[1].offset, 2 * 5 * 12);
  EXPECT_TRUE(contains(t.out,
                       "# times / file not specified\nDefaulting to the number of times "
                       "in the .ctl file\n"));
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
            closed("Open Error:  Data set too large: its layout exceeds 64-bit file offsets\n"));
}

TEST(StationLayout, RefusedOrderCountsAndMissingMap) {
  TempDir d;
  // A station map of three times, largest report 40 words. What a good one
  // holds is read back in the station read tests.
  std::string map = "Vemra_stnmapV002";
  for (int v : {3, 40, 0, 100, 250, 5, 6, 7}) put_be(map, v);
  write_file(d.file("s.map"), map);
  const std::string start = "dset ^s.dat\ndtype station\nstnmap ^s.map\nundef -999\n";
  const std::string tdef = "tdef 3 linear 12z1jan2000 12hr\n";
  EXPECT_EQ(parse_text(d, start + tdef + "vars 2\nt 1 0 t\nps 0 0 ps\nendvars\n").out,
            closed("Open Error: Variables out of order\n"
                   "  Non-vertical variables must go first\n"));
  EXPECT_EQ(
      parse_text(d, start + "tdef 4 linear 12z1jan2000 12hr\nvars 1\nps 0 0 ps\nendvars\n").out,
      closed("Open Error: Inconsistent time count\n  Count in station map file = 3\n"
             "  Count in descriptor file = 4\n"));
  const std::string nomap =
      "dset ^s.dat\ndtype station\nundef -999\n" + tdef + "vars 1\nps 0 0 ps\nendvars\n";
  EXPECT_EQ(parse_text(d, nomap).out, closed("Open Error: missing STNMAP record\n"));
  // Without the map switch the map is neither needed nor read.
  EXPECT_EQ(parse_text(d, nomap, 0).rc, 0);
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
  std::string s("\0\2", 2);
  for (size_t v : {x.hi.size(), size_t(0), x.ints.size(), x.flts.size()}) put_be(s, uint32_t(v));
  s += std::string("\x07\xd0\x01\x01\x00\x00\x00", 7);  // base time, not read
  for (int v : x.hi) put_sm(s, v);
  for (int v : x.ints) put_sm(s, v);
  for (float v : x.flts) put_ibm(s, v);
  for (int i = 0; i < 8; i++) put_ibm(s, 0);
  return s;
}

std::string native(const index_data& x, bool reversed) {
  std::string s;
  for (int v : {1, int(x.hi.size()), 0, int(x.ints.size()), int(x.flts.size()), 0, 0, 0, 0})
    put_host<int>(s, v, reversed);  // the last four: the writer's pointers
  for (int v : x.hi) put_host<int>(s, v, reversed);
  for (int v : x.ints) put_host<int>(s, v, reversed);
  for (float v : x.flts) put_host<float>(s, v, reversed);
  return s;
}

// A GRIB descriptor of two times and three records (t at 2 levels, ps).
std::string grib_ctl(const std::string& index_line = "index ^g.idx\n") {
  return index_line +
         "dset ^g.grb\ndtype grib\nundef 9.999e20\nxdef 4 linear 0 1\n"
         "ydef 3 linear 0 1\nzdef 2 levels 1000 500\ntdef 2 linear 0z1jan2000 6hr\n"
         "vars 2\nt 2 11,100,0 temp\nps 0 1,1,0 pres\nendvars\n";
}

void expect_index(const grib_index* g) {
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(std::vector<int>({g->hinum, g->intnum, g->fltnum, g->hipnt[1], g->hipnt[2]}),
            std::vector<int>({4, 18, 18, 2, 3}));
  // The first two records' entries, the absent ones as -999.
  EXPECT_EQ(std::vector<int>(g->intpnt, g->intpnt + 6),
            std::vector<int>({1000, 50, 12, 1001, -999, -999}));
  EXPECT_EQ(g->intpnt[15], 1005);
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

TEST(GribIndex, NativeLayoutsInEitherByteOrder) {
  TempDir d;
  // The portable layout is the one the index builder writes, read in the
  // GRIB data tests.
  index_data x = sample_index(2, 3);
  // The data file is opened with the index; an old index checks nothing in it.
  write_file(d.file("g.grb"), "");
  for (bool reversed : {false, true}) {
    write_file(d.file("g.idx"), native(x, reversed));
    parsed n = parse_text(d, grib_ctl());
    ASSERT_EQ(n.rc, 0) << n.out;
    EXPECT_EQ(n.pfi->grib_index->version, 1);
    expect_index(n.pfi->grib_index);
  }
}

TEST(GribIndex, StaleOrShortIndexIsRefused) {
  TempDir d;
  auto refusal = [&](const std::string& index) {
    write_file(d.file("g.idx"), index);
    parsed r = parse_text(d, grib_ctl());
    EXPECT_EQ(r.rc, 1);
    return r.out;
  };
  const std::string mismatch = "Open Error:  GRIB index file does not match the descriptor\n";
  const std::string damaged = closed("Open Error:  GRIB index file is short or damaged\n");
  EXPECT_TRUE(contains(refusal(portable(sample_index(3, 3))), mismatch));
  // A grid-29 index needs two slots a record.
  EXPECT_TRUE(contains(refusal(portable(sample_index(2, 3, 29))), mismatch));
  // Bits per value past 32 can't be unpacked: the index is damaged.
  index_data wide = sample_index(2, 3);
  wide.ints[2] = 33;
  EXPECT_EQ(refusal(portable(wide)), damaged);
  EXPECT_EQ(refusal(portable(sample_index(2, 3)).substr(0, 25 + 4 * 10)), damaged);
  std::string n = native(sample_index(2, 3), false);
  refusal(n.substr(0, n.size() - 1));
  // Absurd counts are refused before anything is allocated.
  n.replace(12, 4, "\xff\xff\xff\x7f");
  EXPECT_TRUE(contains(refusal(n), "Open Error:  GRIB index file has invalid sizes\n"));
}

TEST(GribIndex, GribDataSetNeedsItsIndex) {
  TempDir d;
  EXPECT_EQ(parse_text(d, grib_ctl("")).out, closed("Open Error:  missing INDEX record \n"));
  // The index builder parses without maps and so without the index.
  parsed b = parse_text(d, grib_ctl(""), 0);
  EXPECT_EQ(b.rc, 0) << b.out;
  EXPECT_EQ(b.pfi->grib_index, nullptr);
}

TEST(Template, FileNumbersPerTime) {
  TempDir d;
  const std::string rest =
      ".dat\noptions template\nundef 1\nxdef 2 linear 0 1\nydef 2 linear 0 1\n"
      "zdef 1 linear 1 1\n";
  const std::string vars = "vars 1\nv 0 0 v\nendvars\n";
  parsed r = parse_text(d, "dset ^x%y4%m2%d2" + rest + "tdef 10 linear 12z30dec1999 6hr\n" + vars);
  ASSERT_EQ(r.rc, 0) << r.out;
  // Times: 30dec 12z 18z | 31dec 0z 6z 12z 18z | 1jan 0z 6z 12z 18z.
  const int* n = r.pfi->template_file_numbers;
  EXPECT_EQ(std::vector<int>(n, n + 10), (std::vector<int>{1, 1, 3, 3, 3, 3, 7, 7, 7, 7}));

  // The scan of a long time axis stops at an interrupt instead of running on.
  gcmn->interrupt = 1;
  parsed stopped = parse_text(
      d, "dset ^x%y4%m2%d2%h2%n2" + rest + "tdef 100000 linear 00z1jan2000 1mn\n" + vars);
  gcmn->interrupt = 0;
  EXPECT_EQ(stopped.out,
            closed("Open Error:  Interrupted while the template's file names were formed\n"));
}

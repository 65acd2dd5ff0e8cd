// A GRIB set written by "set lats" whose data file is replaced by one of the
// same size and the same first and last messages, but another middle
// message: reading the middle field is refused with a message naming the
// data file, while the fields that still match, and the true file, read
// the values an independent decoder finds in it. Also messages of one length
// and packing that changed places in the middle of a set of two variables
// on two levels.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "lats_files.h"
#include "support/grib_writer.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using namespace latsfiles;
using dsfiles::answer;

namespace {

// A global grid of 1 degree: each message is larger than the 64 KiB at
// either end of the file that opening the set compares.
constexpr int kGx = 360, kGy = 181;

// Writes "same" of the three daily times of t, the second time as `middle`.
void write_three(const TempDir& dir, const std::string& middle) {
  RunResult w = run_batch(
      "open d.ctl\nset x 1 360\nset y 1 181\nset t 1\nset lats convention vemra_grib\n"
      "set lats frequency daily\nset lats deltat 1\nset lats create same\nset gxout latsgrid\n"
      "d t\nset lats var 1 tas average 1 0\nset gxout latsdata\nset lats write 1 1\nd t\n"
      "set t 2\nd " +
          middle + "\nset t 3\nd t\nset lats close 1\n",
      dir.path());
  ASSERT_NE(w.out.find("LATS_GRIB: latsgribmap: GRIB index written\n"), std::string::npos) << w.out;
}

// Byte positions of a message's parts, found from its section lengths.
struct message_at {
  size_t start, pds, gds, bds;
};

size_t get3(const std::string& s, size_t at) {
  return size_t((unsigned char)s[at]) << 16 | size_t((unsigned char)s[at + 1]) << 8 |
         (unsigned char)s[at + 2];
}

std::vector<message_at> messages(const std::string& grib) {
  std::vector<message_at> v;
  for (size_t at = 0; at + 8 <= grib.size() && grib.compare(at, 4, "GRIB") == 0;
       at += get3(grib, at + 4)) {
    const size_t gds = at + 8 + get3(grib, at + 8);
    message_at m{at, at + 8, gds, gds};
    const unsigned char flags = grib[m.pds + 7];
    if (flags & 0x80) m.bds += get3(grib, m.bds);
    if (flags & 0x40) m.bds += get3(grib, m.bds);
    v.push_back(m);
  }
  return v;
}

// The value at (lon, lat) of each message, as the independent decoder
// prints them.
std::vector<double> decoded(const std::string& file, int lon, int lat) {
  std::istringstream in(command_output("grib_get_data -F %.6f " + file +
                                       " 2>/dev/null | awk '$1 == " + std::to_string(lat) +
                                       " && $2 == " + std::to_string(lon) + " {print $3}'"));
  std::vector<double> v;
  double x;
  while (in >> x) v.push_back(x);
  return v;
}

// What each run of the command printed, in order.
std::vector<std::string> answers(const std::string& out, const std::string& cmd) {
  std::vector<std::string> v;
  const std::string key = "ka-> " + cmd + "\n";
  for (size_t p = out.find(key); p != std::string::npos; p = out.find(key, p + 1))
    v.push_back(answer(out.substr(p), cmd));
  return v;
}

double result_value(const std::string& text) {
  const std::string key = "Result value = ";
  size_t p = text.find(key);
  return p == std::string::npos ? NAN : std::stod(text.substr(p + key.size()));
}

const std::string kRefused =
    "GRIB Data Error:  the field's message does not match its index\n  Data file = same.grb\n";

}  // namespace

TEST(GribMessages, AReplacedMiddleMessageIsRefusedNamingTheDataFile) {
  TempDir dir, other;
  write_dataset(dir, kGx, kGy, -90, 1, 1);
  write_dataset(other, kGx, kGy, -90, 1, 1);
  write_three(dir, "t");
  write_three(other, "t+20");
  const std::string own = read_file(dir.file("same.grb"));
  const std::string foreign = read_file(other.file("same.grb"));
  const std::string index = read_file(dir.file("same.gmp"));
  const std::vector<message_at> m = messages(own);
  ASSERT_EQ(m.size(), 3u);
  // The other version differs only in its middle message, which lies clear
  // of the 64 KiB at either end.
  ASSERT_EQ(foreign.size(), own.size());
  ASSERT_GT(m[1].start, size_t(65536));
  ASSERT_LT(m[2].start + 65536, own.size());
  ASSERT_EQ(foreign.substr(0, m[1].start), own.substr(0, m[1].start));
  ASSERT_EQ(foreign.substr(m[2].start), own.substr(m[2].start));
  ASSERT_NE(foreign, own);

  // The index as written before it recorded where its messages lie: the
  // portable layout and its eight time floats, one record of three times.
  const std::string older = index.substr(0, 57 + 4 * (4 + 2 * 3 * 3));
  auto patched = [&](size_t at, int add) {
    std::string s = own;
    s[at] = char((unsigned char)s[at] + add);
    return s;
  };
  // The codes of the middle message, as the independent decoder reads them.
  std::istringstream codes(command_output(
      "grib_get -w count=2 -p indicatorOfParameter:i,indicatorOfTypeOfLevel:i,level:i " +
      dir.file("same.grb") + " 2>/dev/null"));
  int param = -1, ltype = -1, level = -1;
  codes >> param >> ltype >> level;
  ASSERT_GE(level, 0);
  auto said = [&](int p, int lt, int lv) {
    return "parameter " + std::to_string(p) + ", level type " + std::to_string(lt) + ", level " +
           std::to_string(lv) + ": not tas";
  };
  // The data file cut inside the packed value read at time 2, after the
  // open session has read time 1: one of the value's bytes is left.
  const int bits = (unsigned char)own[m[1].bds + 10];
  ASSERT_GT(bits, 8);
  const size_t point = 135 * 360 + 123;  // (124, 136) of a south-to-north grid
  const size_t in_value = m[1].bds + 11 + point * size_t(bits) / 8 + 1;
  struct variant {
    std::string name, data, index;
    bool refused;     // time 2 is refused; times 1 and 3 read unless cut
    std::string why;  // what the refusal names, when set
    size_t cut = 0;   // the data file's size after time 1 is read, when set
  };
  const std::vector<variant> variants = {
      {"the true file", own, index, false, ""},
      {"the true file, older index", own, older, false, ""},
      {"another version of the file", foreign, index, true, ""},
      {"another version, older index", foreign, older, true, ""},
      {"the middle date moved a day", patched(m[1].pds + 14, -1), index, true, ""},
      {"the middle reference value", patched(m[1].bds + 7, 1), index, true, ""},
      {"the middle reference value, older index", patched(m[1].bds + 7, 1), older, true, ""},
      {"the middle binary scale", patched(m[1].bds + 5, 1), index, true, ""},
      {"the middle bits per value", patched(m[1].bds + 10, -1), older, true, ""},
      {"the middle message's length", patched(m[1].start + 6, 2), index, true, ""},
      {"the middle parameter", patched(m[1].pds + 8, 1), index, true,
       said(param + 1, ltype, level)},
      {"the middle level type", patched(m[1].pds + 9, 1), index, true,
       said(param, ltype + 1, level)},
      {"the middle level", patched(m[1].pds + 11, 1), index, true, said(param, ltype, level + 1)},
      {"the middle grid's columns", patched(m[1].gds + 7, 1), index, true,
       "a grid of 361 by 181 points, the data set's is 360 by 181"},
      {"the middle grid's rows", patched(m[1].gds + 9, 1), index, true,
       "a grid of 360 by 182 points, the data set's is 360 by 181"},
      {"the file cut in the middle value while open", own, index, true, "", in_value},
  };
  const int lon = 123, lat = 45, x = lon + 1, y = lat + 91;
  const std::vector<double> want = decoded(dir.file("same.grb"), lon, lat);
  ASSERT_EQ(want.size(), 3u);
  for (const variant& v : variants) {
    SCOPED_TRACE(v.name);
    write_file(dir.file("same.grb"), v.data);
    write_file(dir.file("same.gmp"), v.index);
    const std::string cut =
        v.cut ? "! truncate -s " + std::to_string(v.cut) + " same.grb\n" : std::string();
    RunResult r =
        run_batch("open same.ctl\nset x " + std::to_string(x) + "\nset y " + std::to_string(y) +
                      "\nset t 1\nd tas\n" + cut + "set t 2\nd tas\nset t 3\nd tas\n",
                  dir.path());
    const std::vector<std::string> got = answers(r.out, "d tas");
    ASSERT_EQ(got.size(), 3u) << r.out;
    for (int t = 1; t <= 3; t++) {
      const std::string& a = got[size_t(t - 1)];
      if (t > 1 && v.cut) {
        // Never the zeros of a short read: the read is refused, naming the file.
        EXPECT_NE(a.find(t == 2 ? "  File name is: same.grb\n" : kRefused), std::string::npos) << a;
        EXPECT_EQ(a.find("Result value"), std::string::npos) << a;
        continue;
      }
      if (t == 2 && v.refused) {
        EXPECT_EQ(a.find(kRefused), 0u) << a;
        if (!v.why.empty()) {
          EXPECT_NE(a.find(": " + v.why + "\n"), std::string::npos) << a;
        }
        EXPECT_EQ(a.find("Result value"), std::string::npos) << a;
        continue;
      }
      EXPECT_NEAR(result_value(a), want[size_t(t - 1)], 1e-3) << t << "\n" << a;
      EXPECT_NEAR(result_value(a), t_at(x, y, t), 0.051) << t;
    }
  }
}

// ua and va at 850 and 500 hPa, each cos(longitude + a phase), every 6 hours
// for 300 times, all packed alike (16 bits from -1 by 2^-14): the messages of
// time 150 change places in the data file under the index built for it.
TEST(GribMessages, MessagesOfOnePackingThatChangedPlacesAreRefused) {
  TempDir dir;
  constexpr int nx = 36, ny = 19, nt = 300;
  struct field {
    int param, level, phase;
  };
  const field fields[4] = {{33, 850, 0}, {33, 500, 90}, {34, 850, 180}, {34, 500, 270}};
  std::string own;
  size_t length = 0;
  for (int t = 0; t < nt; t++) {
    int day = 6 * t / 24, month = 1;
    for (const int days : {31, 29, 31})
      if (day >= days) day -= days, month++;
    for (const field& f : fields) {
      gribw::message m;
      m.param = f.param, m.level = f.level;
      m.month = month, m.day = day + 1, m.hour = 6 * t % 24;
      m.ni = nx, m.nj = ny, m.bits = 16, m.binary_scale = -14, m.reference = -1;
      m.lat1 = -90, m.dlat = 10, m.dlon = 10;
      for (int j = 0; j < ny; j++)
        for (int i = 0; i < nx; i++)
          m.fields.push_back(
              uint32_t(std::lround((std::cos((10 * i + f.phase) * M_PI / 180) + 1) * 16384)));
      const std::string one = gribw::encode(m);
      length = one.size();
      own += one;
    }
  }
  write_file(dir.file("uv.grb"), own);
  write_file(dir.file("uv.ctl"),
             "dset ^uv.grb\nindex ^uv.idx\ndtype grib\nundef -9.99e33\n"
             "xdef 36 linear 0 10\nydef 19 linear -90 10\nzdef 2 levels 850 500\n"
             "tdef 300 linear 00z1jan2000 6hr\nvars 2\nua 2 33,100 eastward wind\n"
             "va 2 34,100 northward wind\nendvars\n");
  const std::string gribmap = std::string(VEMRA_GRIBMAP) + " " + dir.file("uv.ctl") + " >/dev/null";
  ASSERT_EQ(std::system(gribmap.c_str()), 0);

  // At 30 degrees east on the equator (point 9 x 36 + 3 of a message), at
  // 850 hPa; time 150 is 06z 7 February.
  auto value_of = [&](int param, const std::string& date, int time) {
    std::istringstream in(
        command_output("grib_get -F %.6f -i 327 -w indicatorOfParameter=" + std::to_string(param) +
                       ",level=850,dataDate=" + date + ",dataTime=" + std::to_string(time) + " " +
                       dir.file("uv.grb") + " 2>/dev/null"));
    double v = NAN;
    in >> v;
    return v;
  };
  const double ua = value_of(33, "20000207", 600), va = value_of(34, "20000207", 600);
  const double ua_before = value_of(33, "20000207", 0), ua_after = value_of(33, "20000207", 1200);
  EXPECT_NEAR(ua, std::cos(M_PI / 6), 1e-3);
  EXPECT_NEAR(va, std::cos(7 * M_PI / 6), 1e-3);

  struct moved {
    std::string name;
    int a, b;            // messages of time 150 (ua 850, ua 500, va 850, va 500) swapped
    std::string ua, va;  // what the refusal of each names; empty: it reads
  };
  const std::vector<moved> table = {
      {"nothing moved", 0, 0, "", ""},
      {"ua and va changed places", 0, 2,
       "parameter 34, level type 100, level 850: not ua at level 850",
       "parameter 33, level type 100, level 850: not va at level 850"},
      {"the levels of ua changed places", 0, 1,
       "parameter 33, level type 100, level 500: not ua at level 850", ""},
  };
  const size_t first = 149 * 4 * length;
  for (const moved& row : table) {
    SCOPED_TRACE(row.name);
    std::string data = own;
    data.replace(first + row.a * length, length, own, first + row.b * length, length);
    data.replace(first + row.b * length, length, own, first + row.a * length, length);
    write_file(dir.file("uv.grb"), data);
    RunResult r = run_batch(
        "open uv.ctl\nset x 4\nset y 10\nset lev 850\nset t 149\nd ua\nset t 150\nd ua\nd va\n"
        "set t 151\nd ua\n",
        dir.path());
    const std::vector<std::string> got = answers(r.out, "d ua");
    const std::vector<std::string> got_va = answers(r.out, "d va");
    ASSERT_EQ(got.size(), 3u) << r.out;
    ASSERT_EQ(got_va.size(), 1u) << r.out;
    EXPECT_NEAR(result_value(got[0]), ua_before, 1e-5) << got[0];
    EXPECT_NEAR(result_value(got[2]), ua_after, 1e-5) << got[2];
    // The ua slot's message starts the time, the va slot's is its third.
    for (int k = 0; k < 2; k++) {
      const std::string& a = k ? got_va[0] : got[1];
      const std::string& why = k ? row.va : row.ua;
      if (why.empty()) {
        EXPECT_NEAR(result_value(a), k ? va : ua, 1e-5) << a;
        continue;
      }
      EXPECT_EQ(a.find("GRIB Data Error:  the field's message does not match its index\n"
                       "  Data file = uv.grb\n  Message at byte " +
                       std::to_string(first + size_t(2 * k) * length) + ": " + why + "\n"),
                0u)
          << a;
      EXPECT_EQ(a.find("Result value"), std::string::npos) << a;
    }
  }
}

// The places the index records for its messages are checked against the
// data file when the set is opened: a start or a length that reaches outside
// the file is refused there, naming the file, never taken for a message
// without a place and read unchecked.
TEST(GribMessages, AnIndexPlacingAMessageOutsideItsDataFileIsRefusedAtOpen) {
  TempDir dir;
  write_dataset(dir, kGx, kGy, -90, 1, 1);
  write_three(dir, "t");
  const std::string own = read_file(dir.file("same.grb"));
  const std::string index = read_file(dir.file("same.gmp"));
  const std::vector<message_at> m = messages(own);
  ASSERT_EQ(m.size(), 3u);
  const uint64_t size = own.size(), last = m[2].start, last_len = size - last;
  ASSERT_EQ(get3(own, last + 4), last_len);  // the last message ends the file
  const size_t places = index.find("MSGS");
  ASSERT_NE(places, std::string::npos);
  struct row {
    std::string name;
    int slot;  // the time - 1 whose place is changed
    uint64_t start, length;
    bool refused;
  };
  const uint64_t mid = m[1].start, mid_len = m[2].start - m[1].start;
  const std::vector<row> table = {
      {"the last message ending at the file's end", 2, last, last_len, false},
      {"a start with only the top bit set", 1, 0x8000000000000000ULL, mid_len, true},
      {"a start of all bits but the last byte", 1, 0xffffffffffffff00ULL, mid_len, true},
      {"a start at the largest offset", 1, 0x7fffffffffffffffULL, mid_len, true},
      {"no place for a message the index enters", 1, ~uint64_t(0), 0, true},
      {"the last message one byte past the end", 2, last, last_len + 1, true},
      {"a start at the file's end", 2, size, last_len, true},
      {"a length with the top bit set", 1, mid, 0x8000000000000000ULL, true},
  };
  for (const row& r : table) {
    SCOPED_TRACE(r.name);
    std::string patched = index;
    for (int b = 0; b < 8; b++) {
      patched[places + 9 + 16 * size_t(r.slot) + size_t(b)] = char(r.start >> (56 - 8 * b));
      patched[places + 17 + 16 * size_t(r.slot) + size_t(b)] = char(r.length >> (56 - 8 * b));
    }
    write_file(dir.file("same.gmp"), patched);
    RunResult out = run_batch("open same.ctl\nset x 1\nset y 1\nset t 3\nd tas\n", dir.path());
    const std::string opened = answer(out.out, "open same.ctl");
    const std::string refusal =
        "Open Error:  GRIB index places a message outside its data file\n  Data file = same.grb\n"
        "  Message at byte " +
        std::to_string(r.start) + ", " + std::to_string(r.length) + " bytes long: the file holds " +
        std::to_string(size) + " bytes\n";
    if (r.refused) {
      EXPECT_EQ(opened, "Scanning description file:  same.ctl\n" + refusal +
                            "  The data file was not opened. \n")
          << opened;
      EXPECT_EQ(answer(out.out, "d tas").find("Result value"), std::string::npos) << out.out;
      continue;
    }
    EXPECT_EQ(opened.find("Open Error"), std::string::npos) << opened;
    EXPECT_NEAR(result_value(answer(out.out, "d tas")), t_at(1, 1, 3), 0.051) << out.out;
  }
}

// A data file whose last message runs past its end, cut inside or before its
// end marker or in its data, or stating a length longer than the file: the
// builder names that message as cut and indexes the others, and the set
// opens and reads them; the cut time reads undefined.
TEST(GribMessages, AMessageRunningPastTheFilesEndIsLeftOutAndTheRestRead) {
  TempDir dir;
  std::string all;  // each time holds its latitude plus 100 times its number from 0
  for (const std::string t : {"0", "1", "2"}) {
    command_output("cd " + dir.path() + " && cdo -s -f grb -setcode,11 -settaxis,2000-01-01," +
                   std::to_string(6 * std::stoi(t)) + ":00 -expr,'v=clat(const)+" + t +
                   "00' -const,1,r36x19 h" + t + ".grb");
    all += read_file(dir.file("h" + t + ".grb"));
  }
  const std::vector<message_at> m = messages(all);
  ASSERT_EQ(m.size(), 3u);
  const size_t last = m[2].start, length = all.size() - last;
  write_file(dir.file("cut.ctl"),
             "dset ^cut.grb\nindex ^cut.gmp\ndtype grib\nundef 9.999e20\nxdef 36 linear 0 10\n"
             "ydef 19 linear -90 10\nzdef 1 levels 0\ntdef 3 linear 00z1jan2000 6hr\nvars 1\n"
             "v 0 11,1,0 latitude\nendvars\n");
  std::string longer = all;  // the last message's total length one byte more than it has
  for (int b = 0; b < 3; b++) longer[last + 4 + size_t(b)] = char((length + 1) >> (16 - 8 * b));
  const std::pair<std::string, std::string> table[] = {
      {"the whole file", all},
      {"cut inside the last end marker", all.substr(0, all.size() - 1)},
      {"cut just before the last end marker", all.substr(0, all.size() - 4)},
      {"cut inside the last message's data", all.substr(0, all.size() - 20)},
      {"the last message one byte longer than the file", longer},
  };
  for (const auto& [name, data] : table) {
    SCOPED_TRACE(name);
    const bool cut = data != all;
    write_file(dir.file("cut.grb"), data);
    const std::string built =
        command_output("cd " + dir.path() + " && " + VEMRA_GRIBMAP + " cut.ctl");
    EXPECT_NE(built.find("LATS_GRIB: latsgribmap: GRIB index written\n"), std::string::npos);
    EXPECT_EQ(built.find("gribmap:  Message 3 at byte " + std::to_string(last) +
                         " (parameter 11, level type 1, level 0, 12Z01JAN2000) is cut: it is " +
                         std::to_string(length + (data == longer)) +
                         " bytes long and the file ends " + std::to_string(data.size() - last) +
                         " bytes after its start; it is left out\n") != std::string::npos,
              cut)
        << built;
    EXPECT_NE(built.find(cut ? "v: 2 of 3 levels" : "v: 3 of 3 levels"), std::string::npos);
    RunResult out =
        run_batch("open cut.ctl\nset x 3\nset y 5\nd v\nset t 2\nd v\nset t 3\nd v\n", dir.path());
    const std::vector<std::string> got = answers(out.out, "d v");
    ASSERT_EQ(got.size(), 3u) << out.out;
    // y = 5 lies at 50S.
    EXPECT_NEAR(result_value(got[0]), -50, 0.01) << got[0];
    EXPECT_NEAR(result_value(got[1]), 50, 0.01) << got[1];
    EXPECT_NEAR(result_value(got[2]), cut ? 9.999e20 : 150, cut ? 1e14 : 0.01) << got[2];
  }
}

// An index knows the grid of the descriptor it was built for: a descriptor
// edited since (yrev taken out, the xdef moved) is refused at open, saying
// how to build the index again; one that names the same points (the xdef a
// turn further on) opens, and an index written before it recorded the grid
// opens and reads as it did. Each point of the cdo field holds its latitude
// plus its longitude / 1000, stored north to south.
TEST(GribMessages, AnIndexRefusesADescriptorEditedSinceItWasBuilt) {
  if (std::system("command -v cdo >/dev/null && command -v grib_get_data >/dev/null") != 0)
    GTEST_SKIP() << "cdo or grib_get_data not installed";
  TempDir dir;
  ASSERT_EQ(std::system(("cd " + dir.path() +
                         " && cdo -s -f grb -b 24 -setcode,11 -settaxis,2000-01-01,00:00 "
                         "-invertlat -expr,'v=clat(const)+clon(const)/1000' -const,1,r36x19 "
                         "g.grb >/dev/null 2>&1")
                            .c_str()),
            0);
  const std::string built =
      "dset ^g.grb\nindex ^g.gmp\ndtype grib\nundef 9.999e20\noptions yrev\n"
      "xdef 36 linear 0 10\nydef 19 linear -90 10\nzdef 1 levels 0\n"
      "tdef 1 linear 00z1jan2000 6hr\nvars 1\nv 0 11,1,0 v\nendvars\n";
  write_file(dir.file("g.ctl"), built);
  const std::string gribmap = std::string(VEMRA_GRIBMAP) + " " + dir.file("g.ctl") + " >/dev/null";
  ASSERT_EQ(std::system(gribmap.c_str()), 0);
  const std::string index = read_file(dir.file("g.gmp"));
  const size_t grid = index.rfind("GRID");
  ASSERT_EQ(index.size() - grid, 113u);
  const std::vector<double> at40n = decoded(dir.file("g.grb"), 90, 40);
  const std::vector<double> at40s = decoded(dir.file("g.grb"), 90, -40);
  ASSERT_EQ(at40n.size(), 1u);
  ASSERT_EQ(at40s.size(), 1u);
  const std::string as_built =
      "rows from latitude -90 to 90, columns from longitude 0 to 350, options yrev\n";
  struct row {
    std::string name, from, to;
    bool older;       // the index without its grid
    std::string lon;  // where 90E lies
    double value;     // read at 90E 40N; NAN: refused, the descriptor read as
    std::string descriptor;
  };
  const std::vector<row> table = {
      {"as built", "", "", false, "90", at40n[0], ""},
      {"yrev taken out", "options yrev\n", "", false, "90", NAN,
       "rows from latitude -90 to 90, columns from longitude 0 to 350, no yrev\n"},
      {"the xdef from 180 west", "xdef 36 linear 0", "xdef 36 linear -180", false, "90", NAN,
       "rows from latitude -90 to 90, columns from longitude -180 to 170, options yrev\n"},
      {"the xdef a turn further on", "xdef 36 linear 0", "xdef 36 linear 360", false, "450",
       at40n[0], ""},
      {"an older index as built", "", "", true, "90", at40n[0], ""},
      {"an older index, yrev taken out", "options yrev\n", "", true, "90", at40s[0], ""},
  };
  for (const row& r : table) {
    SCOPED_TRACE(r.name);
    std::string ctl = built;
    if (!r.from.empty()) ctl.replace(ctl.find(r.from), r.from.size(), r.to);
    write_file(dir.file("g.ctl"), ctl);
    write_file(dir.file("g.gmp"), r.older ? index.substr(0, grid) : index);
    RunResult out = run_batch("open g.ctl\nset lon " + r.lon + "\nset lat 40\nd v\n", dir.path());
    const std::string opened = answer(out.out, "open g.ctl");
    if (std::isnan(r.value)) {
      EXPECT_EQ(opened,
                "Scanning description file:  g.ctl\n"
                "Open Error:  GRIB index was built for another grid than the descriptor's\n"
                "  Index:      " +
                    as_built + "  Descriptor: " + r.descriptor +
                    "  Build the index again for the descriptor as it is: "
                    "build/tests/gribmap_driver g.ctl\n  The data file was not opened. \n");
      continue;
    }
    EXPECT_EQ(opened.find("Open Error"), std::string::npos) << opened;
    EXPECT_NEAR(result_value(answer(out.out, "d v")), r.value, 1e-3) << out.out;
  }
}

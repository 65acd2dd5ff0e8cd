// A GRIB set written by "set lats" whose data file is replaced by one of the
// same size and the same first and last messages, but another middle
// message: reading the middle field is refused with a message naming the
// data file, while the fields that still match, and the true file, read
// the values an independent decoder finds in it.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "lats_files.h"
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
  size_t start, pds, bds;
};

size_t get3(const std::string& s, size_t at) {
  return size_t((unsigned char)s[at]) << 16 | size_t((unsigned char)s[at + 1]) << 8 |
         (unsigned char)s[at + 2];
}

std::vector<message_at> messages(const std::string& grib) {
  std::vector<message_at> v;
  for (size_t at = 0; at + 8 <= grib.size() && grib.compare(at, 4, "GRIB") == 0;
       at += get3(grib, at + 4)) {
    message_at m{at, at + 8, at + 8 + get3(grib, at + 8)};
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
  struct variant {
    std::string name, data, index;
    bool refused;  // time 2 is refused; times 1 and 3 always read
  };
  const std::vector<variant> variants = {
      {"the true file", own, index, false},
      {"the true file, older index", own, older, false},
      {"another version of the file", foreign, index, true},
      {"another version, older index", foreign, older, true},
      {"the middle date moved a day", patched(m[1].pds + 14, -1), index, true},
      {"the middle reference value", patched(m[1].bds + 7, 1), index, true},
      {"the middle reference value, older index", patched(m[1].bds + 7, 1), older, true},
      {"the middle binary scale", patched(m[1].bds + 5, 1), index, true},
      {"the middle bits per value", patched(m[1].bds + 10, -1), older, true},
      {"the middle message's length", patched(m[1].start + 6, 2), index, true},
  };
  const int lon = 123, lat = 45, x = lon + 1, y = lat + 91;
  const std::vector<double> want = decoded(dir.file("same.grb"), lon, lat);
  ASSERT_EQ(want.size(), 3u);
  for (const variant& v : variants) {
    SCOPED_TRACE(v.name);
    write_file(dir.file("same.grb"), v.data);
    write_file(dir.file("same.gmp"), v.index);
    RunResult r =
        run_batch("open same.ctl\nset x " + std::to_string(x) + "\nset y " + std::to_string(y) +
                      "\nset t 1\nd tas\nset t 2\nd tas\nset t 3\nd tas\n",
                  dir.path());
    const std::vector<std::string> got = answers(r.out, "d tas");
    ASSERT_EQ(got.size(), 3u) << r.out;
    for (int t = 1; t <= 3; t++) {
      const std::string& a = got[size_t(t - 1)];
      if (t == 2 && v.refused) {
        EXPECT_EQ(a.find(kRefused), 0u) << a;
        EXPECT_EQ(a.find("Result value"), std::string::npos) << a;
        continue;
      }
      EXPECT_NEAR(result_value(a), want[size_t(t - 1)], 1e-3) << t << "\n" << a;
      EXPECT_NEAR(result_value(a), t_at(x, y, t), 0.051) << t;
    }
  }
}

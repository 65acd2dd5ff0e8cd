// GRIB packing widths at their boundaries, through "set lats": fields whose
// ranges sit at, just below and just past the points where the writer takes
// one more bit (decimal scaling) or one more binary scale step (a fixed
// precision) must read back, in an independent decoder, within half the
// packing step of the values written, and the program must read from the
// set it wrote the values and extremes the decoder reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "lats_files.h"
#include "support/live_session.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using latsfiles::command_output;

namespace {

constexpr int kNx = 16, kNy = 2;  // 10 degrees apart from 0 E, 0 N
constexpr int kPoints = kNx * kNy;
constexpr int kNoScale = -999;

// One field: its values in the order of the data set's points.
using field = std::vector<float>;

// A field of the steps n (of 10^-scale each, above `low` steps) that holds
// 0 and `steps` and ramps between them.
field decimal_field(long low, long steps, int scale) {
  field f(kPoints);
  for (int k = 0; k < kPoints; ++k) {
    const long n = k == 0   ? 0
                   : k == 1 ? steps
                   : k == 2 ? steps - 1
                   : k == 3 ? 1
                            : steps * k / kPoints;
    f[size_t(k)] = static_cast<float>(double(low + n) * std::pow(10.0, -scale));
  }
  return f;
}

// A field from 0 to span, ramping.
field span_field(float span) {
  field f(kPoints);
  for (int k = 0; k < kPoints; ++k)
    f[size_t(k)] = k == 1 ? span : static_cast<float>(double(span) * k / kPoints);
  return f;
}

// One GRIB message as the independent decoder reads it.
struct decoded {
  int bits = -1, binary_scale = 0, decimal_scale = 0;
  std::vector<double> values;  // in the data set's point order
  // The program's reading of the same message: its printed points and the
  // extremes of its statistics.
  std::vector<double> read;
  double read_min = NAN, read_max = NAN;
};

std::vector<decoded> decode(const std::string& file) {
  std::vector<decoded> out;
  std::istringstream keys(
      command_output("grib_get -p bitsPerValue,binaryScaleFactor,decimalScaleFactor " + file));
  for (decoded d; keys >> d.bits >> d.binary_scale >> d.decimal_scale;) out.push_back(d);
  // Points as "lat lon value", a heading line before each message's.
  std::istringstream points(command_output("grib_get_data -F %.17g " + file));
  int message = -1;
  for (std::string line; std::getline(points, line);) {
    std::istringstream in(line);
    double lat, lon, v;
    if (!(in >> lat >> lon >> v)) {
      ++message;
      continue;
    }
    if (message < 0 || message >= int(out.size())) continue;
    auto& vals = out[size_t(message)].values;
    vals.resize(kPoints, NAN);
    const long i = std::lround(lon / 10), j = std::lround(lat / 10);
    if (i >= 0 && i < kNx && j >= 0 && j < kNy) vals[size_t(j * kNx + i)] = v;
  }
  return out;
}

// Writes every field as one time of variable "v", packed with the decimal
// scale and precision given (kNoScale for none), and returns what the
// decoder reads from the GRIB file.
std::vector<decoded> write_and_decode(const std::vector<field>& fields, int scale, int precision) {
  TempDir dir;
  std::string data;
  for (const field& f : fields) data.append(reinterpret_cast<const char*>(f.data()), f.size() * 4);
  write_file(dir.file("d.dat"), data);
  write_file(dir.file("d.ctl"), "dset ^d.dat\nundef -9.99e33\nxdef " + std::to_string(kNx) +
                                    " linear 0 10\nydef " + std::to_string(kNy) +
                                    " linear 0 10\nzdef 1 levels 1000\ntdef " +
                                    std::to_string(fields.size()) +
                                    " linear 00z1jan2000 1dy\nvars 1\nv 0 0 v\nendvars\n");
  write_file(dir.file("pk.tab"),
             "v | 11 | Packed | 1 | float | | " + std::to_string(scale) + " | " +
                 (precision == kNoScale ? "" : std::to_string(precision)) +
                 " | x | y\n#!vert\nplev | Pressure level | hPa | multi | down | 100 | 0 | 0 | "
                 "0\n#!center\npcmdi | 100 | 100 | 2\n");
  std::string in =
      "set lats parmtab pk.tab\nopen d.ctl\nset x 1 " + std::to_string(kNx) + "\nset y 1 " +
      std::to_string(kNy) +
      "\nset t 1\nset lats convention vemra_grib\nset lats frequency daily\nset lats deltat 1\n"
      "set lats create out\nset gxout latsgrid\nd v\nset lats var 1 v instant 1 0\n"
      "set gxout latsdata\nset lats write 1 1\n";
  for (size_t t = 1; t <= fields.size(); ++t) in += "set t " + std::to_string(t) + "\nd v\n";
  in += "set lats close 1\n";
  RunResult r = run_batch(in, dir.path());
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(count_of(r.out, "LATS DATA_WRITE ID = 1\n"), fields.size()) << r.out;
  std::vector<decoded> out = decode(dir.file("out.grb"));

  // The set read back: each time printed, then its statistics.
  in = "open out.ctl\nset x 1 " + std::to_string(kNx) + "\nset y 1 " + std::to_string(kNy) + "\n";
  for (size_t t = 1; t <= out.size(); ++t)
    in += "set t " + std::to_string(t) + "\nset gxout print\nd v\nset gxout stat\nd v\n";
  r = run_batch(in, dir.path());
  EXPECT_EQ(r.status, 0) << r.out;
  const std::string key = "ka-> d v\n";
  size_t at = r.out.find(key);
  for (decoded& d : out) {
    for (bool stat : {false, true}) {
      if (at == std::string::npos) return out;
      at += key.size();
      const size_t end = r.out.find("ka-> ", at);
      const std::string text = r.out.substr(at, end == std::string::npos ? end : end - at);
      at = r.out.find(key, at);
      if (stat) {
        const size_t p = text.find("Min, Max = ");
        if (p != std::string::npos)
          std::sscanf(text.c_str() + p, "Min, Max = %lg %lg", &d.read_min, &d.read_max);
        continue;
      }
      std::istringstream points(text.substr(text.find('\n') + 1));
      for (double v; points >> v;) d.read.push_back(v);
    }
  }
  return out;
}

// Every value read back within half the packing step of the value written
// (and the rounding of the decoder's arithmetic in double).
void expect_within_half_step(const decoded& d, const field& f, const std::string& what) {
  ASSERT_EQ(d.values.size(), size_t(kPoints)) << what;
  const double half = std::ldexp(1.0, d.binary_scale) * std::pow(10.0, -d.decimal_scale) / 2;
  for (int k = 0; k < kPoints; ++k) {
    const double want = f[size_t(k)];
    EXPECT_LE(std::fabs(d.values[size_t(k)] - want), half * (1 + 1e-9) + std::fabs(want) * 1e-12)
        << what << ": point " << k << " wrote " << want << " read " << d.values[size_t(k)]
        << " with " << d.bits << " bits, E " << d.binary_scale << ", D " << d.decimal_scale;
  }
  // The program's reading, in single precision and printed to six digits.
  ASSERT_EQ(d.read.size(), size_t(kPoints)) << what;
  auto near = [](double got, double want) {
    return std::fabs(got - want) <= std::fabs(want) * 1e-5;
  };
  for (int k = 0; k < kPoints; ++k)
    EXPECT_TRUE(near(d.read[size_t(k)], d.values[size_t(k)]))
        << what << ": point " << k << " decoded " << d.values[size_t(k)] << " read "
        << d.read[size_t(k)];
  const auto [lo, hi] = std::minmax_element(d.values.begin(), d.values.end());
  EXPECT_TRUE(near(d.read_min, *lo) && near(d.read_max, *hi))
      << what << ": decoded " << *lo << " to " << *hi << ", extremes read " << d.read_min << " "
      << d.read_max;
}

}  // namespace

// Decimal scaling packs a range of N steps in the number of binary digits
// of N (more than 24 fall back to 24 bits and binary scaling): ranges of
// 2^k - 1, 2^k and 2^k + 1 steps on either side of those widths.
TEST(LatsPacking, DecimalRangesAtEveryWidthBoundaryReadBackWithinHalfAStep) {
  struct group {
    int scale;
    long low;  // the smallest value, in steps
    std::vector<long> steps;
  };
  const group groups[] = {
      {0, 100000, {1, 2, 3, 7, 8, 9, 255, 256, 257, 65535, 65536, 65537}},
      {0, 0, {(1L << 23) - 1, 1L << 23, (1L << 23) + 1, (1L << 24) - 1, 1L << 24}},
      {2, 100000, {1, 2, 3, 1023, 1024, 1025}},
      {-2, 1000, {1, 2, 3, 15, 16, 17}},
      // Fields wholly beyond +-1e36, as a field scaled by 1e34 is.
      {-30, 2240000, {41}},
      {-30, -2650000, {41}},
  };
  for (const group& g : groups) {
    std::vector<field> fields;
    for (long n : g.steps) fields.push_back(decimal_field(g.low, n, g.scale));
    const std::vector<decoded> got = write_and_decode(fields, g.scale, kNoScale);
    ASSERT_EQ(got.size(), fields.size()) << "scale " << g.scale;
    for (size_t c = 0; c < fields.size(); ++c) {
      const long n = g.steps[c];
      const std::string what = "scale " + std::to_string(g.scale) + ", " + std::to_string(n) +
                               " steps above " + std::to_string(g.low);
      const int width = std::bit_width(static_cast<unsigned long>(n));
      EXPECT_EQ(got[c].bits, width > 24 ? 24 : width) << what;
      EXPECT_EQ(got[c].decimal_scale, width > 24 ? 0 : g.scale) << what;
      expect_within_half_step(got[c], fields[c], what);
    }
  }
}

// A fixed precision of P bits takes the next binary scale step where the
// span over 2^(P+1) - 3 reaches a power of two: spans at that point and a
// few float steps either side, small and large, for widths from 1 to 24.
TEST(LatsPacking, FixedPrecisionSpansAtEveryScaleStepReadBackWithinHalfAStep) {
  for (int precision : {1, 2, 8, 16, 23, 24}) {
    std::vector<field> fields;
    std::vector<float> spans;
    for (int power : {-37, -20, 0, 6, 12, 20})
      for (int ulps = -2; ulps <= 3; ++ulps) {
        float span = static_cast<float>(std::ldexp(std::ldexp(1.0, precision + 1) - 3, power));
        uint32_t bits = std::bit_cast<uint32_t>(span) + static_cast<uint32_t>(ulps);
        spans.push_back(std::bit_cast<float>(bits));
        fields.push_back(span_field(spans.back()));
      }
    const std::vector<decoded> got = write_and_decode(fields, kNoScale, precision);
    ASSERT_EQ(got.size(), fields.size()) << "precision " << precision;
    for (size_t c = 0; c < fields.size(); ++c) {
      std::ostringstream what;
      what.precision(9);
      what << "precision " << precision << ", span " << spans[c];
      EXPECT_EQ(got[c].bits, precision) << what.str();
      expect_within_half_step(got[c], fields[c], what.str());
    }
  }
}

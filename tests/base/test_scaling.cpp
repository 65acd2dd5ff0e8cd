// Grid <-> world conversions and the latitude tables. The gaussian tables are
// checked against the eigenvalues of the Legendre Jacobi matrix found by
// Sturm-sequence bisection, a method independent of the one that builds them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/scaling.h"
#include "support/stdout_capture.h"

namespace {

struct freer {
  void operator()(float* p) const { std::free(p); }
};
using scaling_ptr = std::unique_ptr<float, freer>;

std::vector<float> levels(std::initializer_list<float> v) {
  std::vector<float> a{float(v.size())};
  a.insert(a.end(), v.begin(), v.end());
  a.resize(v.size() + 5, -999.9f);
  return a;
}

// The n gaussian latitudes in degrees, south to north: eigenvalues of the
// Jacobi matrix (zero diagonal, off-diagonal k / sqrt(4k^2 - 1)).
std::vector<double> reference_gaussian(int n) {
  auto below = [n](long double x) {  // eigenvalues below x (Sturm count)
    int count = 0;
    long double q = -x;
    for (int k = 1;; ++k) {
      if (q < 0) ++count;
      if (k == n) return count;
      q = -x - (static_cast<long double>(k) * k / (4.0L * k * k - 1.0L)) / (q == 0 ? 1e-300L : q);
    }
  };
  std::vector<double> lat(n);
  for (int i = 0; i < n; ++i) {
    long double lo = -1, hi = 1;
    for (int it = 0; it < 200; ++it) (below((lo + hi) / 2) > i ? hi : lo) = (lo + hi) / 2;
    lat[i] = static_cast<double>(std::asin(lo) * 180.0L / std::acos(-1.0L));
  }
  return lat;
}

std::string build_messages(float* (*build)(int, int), int start, int count, float** result) {
  StdoutCapture cap;
  *result = build(start, count);
  return cap.text();
}

}  // namespace

TEST(LevelScaling, ConversionsBothWays) {
  auto a = levels({1000, 850, 700, 500});
  EXPECT_FLOAT_EQ(lev2gr(a.data(), 850), 2.0f);
  EXPECT_FLOAT_EQ(lev2gr(a.data(), 775), 2.5f);
  EXPECT_FLOAT_EQ(lev2gr(a.data(), 1100), 1.0f - 100.0f / 150.0f);
  EXPECT_FLOAT_EQ(lev2gr(a.data(), 400), 4.0f + 100.0f / 200.0f);
  EXPECT_FLOAT_EQ(gr2lev(a.data(), 0), 1150.0f);
  EXPECT_FLOAT_EQ(gr2lev(a.data(), 5), 300.0f);
  EXPECT_FLOAT_EQ(gr2lev(a.data(), 4), 500.0f);
  auto inc = levels({-88.5f, -60, -30.25f, 0, 1, 45, 89});
  for (auto* l : {&a, &inc})
    for (float g = 0.0f; g <= (*l)[0] + 1; g += 0.25f)
      EXPECT_NEAR(lev2gr(l->data(), gr2lev(l->data(), g)), g, 1e-4f);

  linear_scaling s;
  linear_scaling_set(&s, 0.0f, 2.5f);
  EXPECT_FLOAT_EQ(liconv(s.grid_to_world, 1), 0.0f);
  EXPECT_FLOAT_EQ(liconv(s.grid_to_world, 145), 360.0f);
  EXPECT_FLOAT_EQ(liconv(s.world_to_grid, 90), 37.0f);
  const float* block = reinterpret_cast<const float*>(&s);  // one block of six floats
  EXPECT_EQ(block[2], -999.9f);
  EXPECT_EQ(block[5], -999.9f);
}

TEST(LevelScaling, EqualNeighboursAndSingleLevel) {
  auto eq = levels({1000, 1000, 850});
  EXPECT_FLOAT_EQ(lev2gr(eq.data(), 1000), 1.0f);
  EXPECT_FLOAT_EQ(lev2gr(eq.data(), 925), 2.5f);
  auto eq_end = levels({1000, 850, 850}), eq_start = levels({850, 850, 1000});
  for (float v : {800.0f, 850.0f, 1100.0f}) {
    EXPECT_TRUE(std::isfinite(lev2gr(eq_end.data(), v))) << v;
    EXPECT_TRUE(std::isfinite(lev2gr(eq_start.data(), v))) << v;
  }
  auto one = levels({500});
  for (float v : {500.0f, 200.0f}) EXPECT_FLOAT_EQ(lev2gr(one.data(), v), 1.0f);
  for (float g : {1.0f, 3.0f, -2.0f}) EXPECT_FLOAT_EQ(gr2lev(one.data(), g), 500.0f);
}

TEST(LatitudeTables, GaussianTablesMatchLegendreRoots) {
  struct set {
    float* (*build)(int, int);
    int n;
    double unit;
  };
  for (const set& s : {set{kags15, 40, 0.01}, set{kags20, 52, 0.01}, set{kags30, 80, 0.01},
                       set{kagaus, 102, 0.01}, set{kagst62, 94, 0.0001}}) {
    scaling_ptr a(s.build(1, s.n));
    ASSERT_TRUE(a) << s.n;
    const float* v = a.get();
    EXPECT_EQ(v[0], float(s.n));
    EXPECT_EQ(v[s.n + 1], -999.9f);
    std::vector<double> ref = reference_gaussian(s.n);
    for (int i = 0; i < s.n; ++i) {
      EXPECT_NEAR(v[1 + i], ref[i], 0.5 * s.unit + 1e-5) << s.n << " entry " << i;
      EXPECT_FLOAT_EQ(v[1 + i], float(std::round(v[1 + i] / s.unit) * s.unit))
          << s.n << " entry " << i;
    }
  }
  scaling_ptr full(kags30(1, 80)), part(kags30(11, 20));
  ASSERT_TRUE(full && part);
  EXPECT_EQ(part.get()[0], 20.0f);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(part.get()[1 + i], full.get()[11 + i]);
}

TEST(LatitudeTables, Mom32IsSymmetricAndWidensPolewards) {
  // One degree apart near the equator, from 0.25; rows widen towards 20.453.
  scaling_ptr mom(kamo32(1, 32)), mid(kamo32(9, 16));
  ASSERT_TRUE(mom && mid);
  const float* v = mom.get();
  EXPECT_EQ(v[17], 0.25f);
  EXPECT_EQ(v[32], 20.453f);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(v[16 - i], -v[17 + i]) << i;
  for (int i = 17; i < 21; ++i) EXPECT_FLOAT_EQ(v[i + 1] - v[i], 1.0f) << i;
  for (int i = 21; i < 32; ++i) EXPECT_GT(v[i + 1] - v[i], 0.7f) << i;
  EXPECT_EQ(mid.get()[0], 16.0f);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(mid.get()[1 + i], v[9 + i]) << i;
}

TEST(LatitudeTables, OutOfRangeRequestsAreRefused) {
  float* r = nullptr;
  EXPECT_EQ(build_messages(kagaus, 2, 102, &r),
            "Open Error: Invalid GAUSR40 scaling.\n  Maximum 102 latitudes exceeded \n");
  EXPECT_EQ(r, nullptr);
  struct named {
    float* (*build)(int, int);
    std::string word;
  };
  for (const named& b :
       {named{kamo32, "MOM32"}, named{kagaus, "GAUSR40"}, named{kags30, "GAUSR30"},
        named{kags20, "GAUSR20"}, named{kags15, "GAUSR15"}, named{kagst62, "GAUST62"}}) {
    // Starts below 1 would read before the table; a huge start must not wrap.
    for (auto [start, count] : {std::pair{0, 3}, {-5, 3}, {1, 0}, {2147483000, 2000}}) {
      std::string msg = build_messages(b.build, start, count, &r);
      EXPECT_EQ(r, nullptr) << b.word << " " << start;
      EXPECT_EQ(msg.rfind("Open Error: Invalid " + b.word + " scaling.\n", 0), 0u) << msg;
    }
  }
}

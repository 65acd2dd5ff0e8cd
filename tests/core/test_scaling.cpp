// Grid <-> world conversions and the latitude tables. The gaussian tables are
// checked against the eigenvalues of the Legendre Jacobi matrix found by
// Sturm-sequence bisection, a method independent of the one that builds them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/scaling.h"

namespace {

struct freer {
  void operator()(float* p) const { std::free(p); }
};
using scaling_ptr = std::unique_ptr<float, freer>;

std::vector<float> levels(std::initializer_list<float> v) {
  std::vector<float> a;
  a.push_back(static_cast<float>(v.size()));
  a.insert(a.end(), v.begin(), v.end());
  a.push_back(-999.9f);
  a.resize(v.size() + 5, -999.9f);
  return a;
}

// Number of eigenvalues below x of the n x n Jacobi matrix of the Legendre
// polynomials (zero diagonal, off-diagonal k / sqrt(4k^2 - 1)).
int sturm_count(int n, long double x) {
  int count = 0;
  long double q = -x;
  if (q < 0) ++count;
  for (int k = 1; k < n; ++k) {
    long double b2 = static_cast<long double>(k) * k / (4.0L * k * k - 1.0L);
    if (q == 0) q = 1e-300L;
    q = -x - b2 / q;
    if (q < 0) ++count;
  }
  return count;
}

// The n gaussian latitudes in degrees, south to north.
std::vector<double> reference_gaussian(int n) {
  std::vector<double> lat(n);
  const long double pi = std::acos(-1.0L);
  for (int i = 0; i < n; ++i) {
    long double lo = -1, hi = 1;  // the (i+1)-th smallest eigenvalue
    for (int it = 0; it < 200; ++it) {
      long double mid = (lo + hi) / 2;
      if (sturm_count(n, mid) > i)
        hi = mid;
      else
        lo = mid;
    }
    lat[i] = static_cast<double>(std::asin((lo + hi) / 2) * 180.0L / pi);
  }
  return lat;
}

std::string captured(const std::function<void()>& f) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  f();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(LevelScaling, PressureLevelsBothWays) {
  auto a = levels({1000, 850, 700, 500});
  EXPECT_FLOAT_EQ(lev2gr(a.data(), 850), 2.0f);
  EXPECT_FLOAT_EQ(lev2gr(a.data(), 775), 2.5f);
  EXPECT_FLOAT_EQ(lev2gr(a.data(), 1100), 1.0f - 100.0f / 150.0f);
  EXPECT_FLOAT_EQ(lev2gr(a.data(), 400), 4.0f + 100.0f / 200.0f);
  EXPECT_FLOAT_EQ(lev2gr(a.data(), 1000), 1.0f);
  EXPECT_FLOAT_EQ(lev2gr(a.data(), 500), 4.0f);
  EXPECT_FLOAT_EQ(gr2lev(a.data(), 0), 1150.0f);
  EXPECT_FLOAT_EQ(gr2lev(a.data(), 5), 300.0f);
  EXPECT_FLOAT_EQ(gr2lev(a.data(), 4), 500.0f);
  EXPECT_FLOAT_EQ(gr2lev(a.data(), 2.5f), 775.0f);
}

TEST(LevelScaling, RoundTripOnIncreasingAndIrregularLists) {
  auto inc = levels({-88.5f, -60, -30.25f, 0, 1, 45, 89});
  auto dec = levels({1000, 925, 850, 700, 500, 300, 250, 200, 100, 10});
  for (auto* a : {&inc, &dec}) {
    float first = (*a)[1], last = (*a)[static_cast<int>((*a)[0])];
    for (int k = -20; k <= 120; ++k) {
      float v = first + (last - first) * k / 100.0f;
      float g = lev2gr(a->data(), v);
      EXPECT_NEAR(gr2lev(a->data(), g), v, 1e-3f * (1 + std::fabs(v))) << v;
    }
    for (float g = 0.0f; g <= (*a)[0] + 1; g += 0.25f)
      EXPECT_NEAR(lev2gr(a->data(), gr2lev(a->data(), g)), g, 1e-4f) << g;
  }
}

TEST(LevelScaling, EqualNeighboursAndSingleLevel) {
  auto eq = levels({1000, 1000, 850});
  float g = lev2gr(eq.data(), 1000);
  EXPECT_TRUE(std::isfinite(g));
  EXPECT_FLOAT_EQ(g, 1.0f);
  EXPECT_FLOAT_EQ(lev2gr(eq.data(), 925), 2.5f);
  auto eq_end = levels({1000, 850, 850});
  EXPECT_TRUE(std::isfinite(lev2gr(eq_end.data(), 800)));
  EXPECT_TRUE(std::isfinite(lev2gr(eq_end.data(), 850)));
  auto eq_start = levels({850, 850, 1000});
  EXPECT_TRUE(std::isfinite(lev2gr(eq_start.data(), 800)));

  auto one = levels({500});
  EXPECT_FLOAT_EQ(lev2gr(one.data(), 500), 1.0f);
  EXPECT_FLOAT_EQ(lev2gr(one.data(), 200), 1.0f);
  EXPECT_FLOAT_EQ(gr2lev(one.data(), 1), 500.0f);
  EXPECT_FLOAT_EQ(gr2lev(one.data(), 3), 500.0f);
  EXPECT_FLOAT_EQ(gr2lev(one.data(), -2), 500.0f);
}

TEST(LinearScaling, BothHalvesOfTheBlock) {
  linear_scaling s;
  linear_scaling_set(&s, 0.0f, 2.5f);
  EXPECT_FLOAT_EQ(liconv(s.grid_to_world, 1), 0.0f);
  EXPECT_FLOAT_EQ(liconv(s.grid_to_world, 145), 360.0f);
  EXPECT_FLOAT_EQ(liconv(s.world_to_grid, 90), 37.0f);
  EXPECT_EQ(s.grid_to_world[2], -999.9f);
  EXPECT_EQ(s.world_to_grid[2], -999.9f);
  // The two halves are one block of six floats.
  const float* block = reinterpret_cast<const float*>(&s);
  EXPECT_FLOAT_EQ(liconv(block + 3, liconv(block, 17.25f)), 17.25f);

  linear_scaling t;
  linear_scaling_set(&t, -90.0f, 1.5f);
  EXPECT_FLOAT_EQ(liconv(t.grid_to_world, 121), 90.0f);
  EXPECT_FLOAT_EQ(liconv(t.world_to_grid, -90), 1.0f);
}

TEST(CopyScaling, LengthsByKind) {
  std::vector<float> lev(22);
  lev[0] = 17;
  for (int i = 1; i <= 17; ++i) lev[i] = 1000.0f - 50.0f * i;
  lev[18] = -999.9f;
  scaling_ptr c(cpscal(lev.data(), 0, 0, 2));
  ASSERT_TRUE(c);
  for (int i = 0; i < 19; ++i) EXPECT_EQ(c.get()[i], lev[i]);
  // The copy has room for 22 floats (a sanitizer build catches less).
  c.get()[21] = 1.0f;

  std::vector<float> ts{1990, 1, 1, 0, 0, 0, 360, -999.9f};
  scaling_ptr t(cpscal(ts.data(), 0, 1, 3));
  ASSERT_TRUE(t);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(t.get()[i], ts[i]);

  std::vector<float> lin{2.5f, -2.5f, -999.9f};
  scaling_ptr l(cpscal(lin.data(), 1, 0, 0));
  ASSERT_TRUE(l);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(l.get()[i], lin[i]);

  EXPECT_EQ(cpscal(lin.data(), 1, 0, -1), nullptr);
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
    EXPECT_EQ(v[0], static_cast<float>(s.n));
    EXPECT_EQ(v[s.n + 1], -999.9f);
    std::vector<double> ref = reference_gaussian(s.n);
    for (int i = 0; i < s.n; ++i) {
      EXPECT_NEAR(v[1 + i], ref[i], 0.5 * s.unit + 1e-5) << s.n << " entry " << i;
      // Written to the stated decimals.
      EXPECT_FLOAT_EQ(v[1 + i], static_cast<float>(std::round(v[1 + i] / s.unit) * s.unit))
          << s.n << " entry " << i;
      if (i) {
        EXPECT_LT(v[i], v[1 + i]);
      }
    }
    EXPECT_GT(v[1], -90.0f);
    EXPECT_LT(v[s.n], 90.0f);
  }
}

TEST(LatitudeTables, SubsetsAndMom32) {
  scaling_ptr full(kags30(1, 80));
  scaling_ptr part(kags30(11, 20));
  ASSERT_TRUE(full && part);
  EXPECT_EQ(part.get()[0], 20.0f);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(part.get()[1 + i], full.get()[11 + i]);
  EXPECT_EQ(part.get()[21], -999.9f);

  const float north[16] = {0.25f, 1.25f,  2.25f,   3.25f, 4.25f,  5.253f,  6.392f, 7.12f,
                           8.01f, 9.097f, 10.405f, 11.95f, 13.738f, 15.763f, 18.01f, 20.453f};
  scaling_ptr mom(kamo32(1, 32));
  ASSERT_TRUE(mom);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(mom.get()[17 + i], north[i]);
    EXPECT_EQ(mom.get()[16 - i], -north[i]);
  }
  scaling_ptr mid(kamo32(9, 16));
  ASSERT_TRUE(mid);
  EXPECT_EQ(mid.get()[0], 16.0f);
  EXPECT_EQ(mid.get()[1], -7.12f);
  EXPECT_EQ(mid.get()[16], 7.12f);
}

TEST(LatitudeTables, OutOfRangeRequestsAreRefused) {
  float* r = nullptr;
  std::string out = captured([&] { r = kagaus(2, 102); });
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(out, "Open Error: Invalid GAUSR40 scaling.\n  Maximum 102 latitudes exceeded \n");

  out = captured([&] { r = kamo32(30, 4); });
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(out, "Open Error: Invalid MOM32 scaling.\n  Maximum 32 latitudes exceeded \n");

  struct named {
    float* (*build)(int, int);
    const char* word;
  };
  for (const named& b : {named{kamo32, "MOM32"}, named{kagaus, "GAUSR40"}, named{kags30, "GAUSR30"},
                         named{kags20, "GAUSR20"}, named{kags15, "GAUSR15"}, named{kagst62, "GAUST62"}}) {
    // Starts below 1 would read before the table.
    for (int start : {0, -5}) {
      out = captured([&] { r = b.build(start, 3); });
      EXPECT_EQ(r, nullptr) << b.word;
      EXPECT_EQ(out.rfind(std::string("Open Error: Invalid ") + b.word + " scaling.\n", 0), 0u) << out;
    }
    out = captured([&] { r = b.build(1, 0); });
    EXPECT_EQ(r, nullptr) << b.word;
    EXPECT_EQ(out.rfind(std::string("Open Error: Invalid ") + b.word + " scaling.\n", 0), 0u) << out;
    // A start and count whose sum overflows an int must not wrap around.
    out = captured([&] { r = b.build(2147483000, 2000); });
    EXPECT_EQ(r, nullptr) << b.word;
  }
}

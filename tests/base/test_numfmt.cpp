// Byte swapping and the IBM / IEEE byte layouts, checked with byte vectors.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "base/numfmt.h"

namespace {

using bytes = std::vector<unsigned char>;
const float inf = std::numeric_limits<float>::infinity();

bytes ibm(float x, int want_rc = 0) {
  bytes b(4, 0xEE);
  EXPECT_EQ(flt2ibm(x, b.data()), want_rc) << x;
  return b;
}

bytes ieee(float x) {
  bytes b(4, 0xEE);
  EXPECT_EQ(flt2ieee(x, b.data()), 0);
  return b;
}

}  // namespace

TEST(ByteSwap, WordsBytesAndStationHeaders) {
  bytes b{1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(kabswp(b.data(), 2), b.data());
  EXPECT_EQ(b, (bytes{4, 3, 2, 1, 8, 7, 6, 5}));
  bytes c{1, 2, 3};
  kanbswp(c.data(), 3);
  EXPECT_EQ(c, (bytes{3, 2, 1}));
  // 8-character id, then five 4-byte fields.
  bytes h(28), want(28);
  for (int i = 0; i < 28; ++i) h[i] = static_cast<unsigned char>(i);
  for (int i = 0; i < 28; ++i)
    want[i] = static_cast<unsigned char>(i < 8 ? i : 8 + (i - 8) / 4 * 4 + 3 - (i - 8) % 4);
  kahswp(h.data());
  EXPECT_EQ(h, want);
}

TEST(IbmFloat, KnownPatternsBothWays) {
  EXPECT_EQ(ibm2flt(bytes{0x41, 0x10, 0, 0}.data()), 1.0f);
  EXPECT_EQ(ibm2flt(bytes{0x42, 0x64, 0, 0}.data()), 100.0f);
  EXPECT_EQ(ibm2flt(bytes{0, 0, 0, 0}.data()), 0.0f);
  EXPECT_EQ(ibm2flt(bytes{0x3F, 0x10, 0, 0}.data()), 0.00390625f);  // 1/16 * 16^-1
  EXPECT_EQ(ibm(1.0f), (bytes{0x41, 0x10, 0, 0}));
  EXPECT_EQ(ibm(0.1f), (bytes{0x40, 0x19, 0x99, 0x99}));  // truncated, not 9A
  EXPECT_EQ(ibm(0.0f), (bytes{0, 0, 0, 0}));
  // Smallest denormal 2^-149 = 0.5 * 16^-37; largest float 16^32 (1 - 2^-24).
  EXPECT_EQ(ibm(std::numeric_limits<float>::denorm_min()), (bytes{0x1B, 0x80, 0, 0}));
  EXPECT_EQ(ibm2flt(bytes{0x1B, 0x80, 0, 0}.data()), std::numeric_limits<float>::denorm_min());
  EXPECT_EQ(ibm(std::numeric_limits<float>::max()), (bytes{0x60, 0xFF, 0xFF, 0xFF}));
  // Non-finite values have defined results.
  EXPECT_EQ(ibm(inf, -1), (bytes{0x7F, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(ibm(-inf, -1), (bytes{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(ibm(std::nanf(""), -1), (bytes{0, 0, 0, 0}));
}

TEST(IbmFloat, RoundTripTruncatesAtMostThreeBits) {
  for (float x : {3.14159265f, -2.5e-7f, 6.02e23f, -1.0e-30f, 123456.789f, 0.3f, 1e38f}) {
    bytes b = ibm(x);
    float y = ibm2flt(b.data());
    EXPECT_LE(std::fabs(y), std::fabs(x)) << x;
    EXPECT_LE(std::fabs(x - y), std::fabs(x) * std::ldexp(1.0, -20)) << x;
    EXPECT_NE(b[1] & 0xF0, 0) << x;  // normalised fraction
  }
}

TEST(IeeeFloat, PatternsMatchTheHostLayout) {
  EXPECT_EQ(ieee(0.1f), (bytes{0x3D, 0xCC, 0xCC, 0xCD}));
  EXPECT_EQ(ieee(0.0f), (bytes{0, 0, 0, 0}));
  EXPECT_EQ(ieee(inf), (bytes{0x7F, 0x80, 0, 0}));
  EXPECT_EQ(ieee(-inf), (bytes{0xFF, 0x80, 0, 0}));
  EXPECT_EQ(ieee(std::nanf("")), (bytes{0x7F, 0xC0, 0, 0}));
  // Every non-zero pattern is normalised: the sign alone is -2^-127, not -0.
  EXPECT_EQ(ieee2flt(bytes{0x80, 0, 0, 0}.data()), static_cast<float>(-std::ldexp(1.0, -127)));
  for (int i = 1; i < 2000; ++i) {
    float x = std::ldexp(i * 1.37f, (i % 200) - 100) * (i % 2 ? 1 : -1);
    std::uint32_t u;
    std::memcpy(&u, &x, 4);
    bytes host{static_cast<unsigned char>(u >> 24), static_cast<unsigned char>(u >> 16),
               static_cast<unsigned char>(u >> 8), static_cast<unsigned char>(u)};
    ASSERT_EQ(ieee(x), host) << x;
    ASSERT_EQ(ieee2flt(host.data()), x) << x;
  }
}

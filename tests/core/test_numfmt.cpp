// Byte swapping and the IBM / IEEE byte layouts, checked with byte vectors.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "core/numfmt.h"

namespace {

using bytes = std::vector<unsigned char>;

bytes ibm(float x, int* rc = nullptr) {
  bytes b(4, 0xEE);
  int r = flt2ibm(x, b.data());
  if (rc) *rc = r;
  return b;
}

bytes ieee(float x) {
  bytes b(4, 0xEE);
  EXPECT_EQ(flt2ieee(x, b.data()), 0);
  return b;
}

// The host's own IEEE bits, most significant byte first.
bytes host_be(float x) {
  std::uint32_t u;
  std::memcpy(&u, &x, 4);
  return {static_cast<unsigned char>(u >> 24), static_cast<unsigned char>(u >> 16),
          static_cast<unsigned char>(u >> 8), static_cast<unsigned char>(u)};
}

}  // namespace

TEST(ByteSwap, WordsBytesAndStationHeaders) {
  bytes b{1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(kabswp(b.data(), 2), b.data());
  EXPECT_EQ(b, (bytes{4, 3, 2, 1, 8, 7, 6, 5}));
  kabswp(b.data(), 0);
  EXPECT_EQ(b, (bytes{4, 3, 2, 1, 8, 7, 6, 5}));

  bytes c{1, 2, 3};
  kanbswp(c.data(), 3);
  EXPECT_EQ(c, (bytes{3, 2, 1}));
  bytes d{1, 2, 3, 4};
  kanbswp(d.data(), 4);
  EXPECT_EQ(d, (bytes{4, 3, 2, 1}));
  kanbswp(d.data(), 1);
  EXPECT_EQ(d, (bytes{4, 3, 2, 1}));

  // 8-character id, then latitude, longitude, time, level count, flag.
  bytes h(28);
  for (int i = 0; i < 28; ++i) h[i] = static_cast<unsigned char>(i);
  kahswp(h.data());
  for (int i = 0; i < 8; ++i) EXPECT_EQ(h[i], i);
  for (int w = 0; w < 5; ++w)
    for (int k = 0; k < 4; ++k) EXPECT_EQ(h[8 + 4 * w + k], 8 + 4 * w + (3 - k));
}

TEST(IbmFloat, DecodesKnownPatterns) {
  EXPECT_EQ(ibm2flt(bytes{0x41, 0x10, 0, 0}.data()), 1.0f);
  EXPECT_EQ(ibm2flt(bytes{0xC1, 0x10, 0, 0}.data()), -1.0f);
  EXPECT_EQ(ibm2flt(bytes{0x42, 0x64, 0, 0}.data()), 100.0f);
  EXPECT_EQ(ibm2flt(bytes{0, 0, 0, 0}.data()), 0.0f);
  // 1/16 * 16^-1
  EXPECT_EQ(ibm2flt(bytes{0x3F, 0x10, 0, 0}.data()), 0.00390625f);
  // Largest fraction at exponent 65: (2^24 - 1) / 2^24 * 16
  EXPECT_EQ(ibm2flt(bytes{0x41, 0xFF, 0xFF, 0xFF}.data()), static_cast<float>(16.0 * (16777215.0 / 16777216.0)));
  // Unnormalised fractions are read as they stand: 0x000001 / 2^24 * 16^1
  EXPECT_EQ(ibm2flt(bytes{0x41, 0, 0, 1}.data()), static_cast<float>(16.0 / 16777216.0));
}

TEST(IbmFloat, EncodesByTruncation) {
  EXPECT_EQ(ibm(1.0f), (bytes{0x41, 0x10, 0, 0}));
  EXPECT_EQ(ibm(0.1f), (bytes{0x40, 0x19, 0x99, 0x99}));
  EXPECT_EQ(ibm(-100.0f), (bytes{0xC2, 0x64, 0, 0}));
  EXPECT_EQ(ibm(0.0f), (bytes{0, 0, 0, 0}));
  // Smallest denormal 2^-149 = 0.5 * 16^-37: exponent 27, fraction 0x800000.
  int rc = 5;
  EXPECT_EQ(ibm(std::numeric_limits<float>::denorm_min(), &rc), (bytes{0x1B, 0x80, 0, 0}));
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(ibm2flt(bytes{0x1B, 0x80, 0, 0}.data()), std::numeric_limits<float>::denorm_min());
  // Largest float: 2^128 (1 - 2^-24) = 16^32 * (1 - 2^-24): exponent 96, fraction all ones.
  EXPECT_EQ(ibm(std::numeric_limits<float>::max(), &rc), (bytes{0x60, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(rc, 0);
}

TEST(IbmFloat, RoundTripLosesAtMostThreeBitsTowardZero) {
  for (float x : {3.14159265f, -2.5e-7f, 6.02e23f, -1.0e-30f, 123456.789f, 0.3f, 1e38f, -7.0f}) {
    int rc = 1;
    bytes b = ibm(x, &rc);
    ASSERT_EQ(rc, 0) << x;
    float y = ibm2flt(b.data());
    EXPECT_LE(std::fabs(y), std::fabs(x)) << x;
    EXPECT_EQ(std::signbit(y), std::signbit(x)) << x;
    EXPECT_LE(std::fabs(x - y), std::fabs(x) * std::ldexp(1.0, -20)) << x;
    // The fraction is normalised: its top hex digit is not zero.
    EXPECT_NE(b[1] & 0xF0, 0) << x;
  }
}

TEST(IbmFloat, NonFiniteValuesHaveDefinedResults) {
  int rc = 0;
  EXPECT_EQ(ibm(std::numeric_limits<float>::infinity(), &rc), (bytes{0x7F, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(ibm(-std::numeric_limits<float>::infinity(), &rc), (bytes{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(ibm(std::numeric_limits<float>::quiet_NaN(), &rc), (bytes{0, 0, 0, 0}));
  EXPECT_EQ(rc, -1);
}

TEST(IeeeFloat, KnownPatternsBothWays) {
  EXPECT_EQ(ieee2flt(bytes{0x3F, 0x80, 0, 0}.data()), 1.0f);
  EXPECT_EQ(ieee2flt(bytes{0xC2, 0xC8, 0, 0}.data()), -100.0f);
  EXPECT_EQ(ieee2flt(bytes{0, 0, 0, 0}.data()), 0.0f);
  EXPECT_EQ(ieee(1.0f), (bytes{0x3F, 0x80, 0, 0}));
  EXPECT_EQ(ieee(0.1f), (bytes{0x3D, 0xCC, 0xCC, 0xCD}));
  EXPECT_EQ(ieee(-100.0f), (bytes{0xC2, 0xC8, 0, 0}));
  EXPECT_EQ(ieee(0.0f), (bytes{0, 0, 0, 0}));
  // Every pattern but zero is normalised: the sign alone is -2^-127, not -0.
  EXPECT_EQ(ieee2flt(bytes{0x80, 0, 0, 0}.data()), static_cast<float>(-std::ldexp(1.0, -127)));
}

TEST(IeeeFloat, MatchesTheHostLayoutForNormalNumbers) {
  std::vector<float> xs{1.5f, -3.75f, 1e-30f, 3.4e38f, -1.17549435e-38f, 16777215.0f, 0.333333f};
  for (int i = 1; i < 2000; ++i) xs.push_back(std::ldexp(static_cast<float>(i) * 1.37f, (i % 200) - 100) * (i % 2 ? 1 : -1));
  for (float x : xs) {
    bytes b = ieee(x);
    EXPECT_EQ(b, host_be(x)) << x;
    EXPECT_EQ(ieee2flt(b.data()), x) << x;
  }
}

TEST(IeeeFloat, NonFiniteValuesHaveDefinedResults) {
  EXPECT_EQ(ieee(std::numeric_limits<float>::infinity()), (bytes{0x7F, 0x80, 0, 0}));
  EXPECT_EQ(ieee(-std::numeric_limits<float>::infinity()), (bytes{0xFF, 0x80, 0, 0}));
  EXPECT_EQ(ieee(std::numeric_limits<float>::quiet_NaN()), (bytes{0x7F, 0xC0, 0, 0}));
  EXPECT_TRUE(std::isinf(ieee2flt(bytes{0x7F, 0x80, 0, 0}.data())));
}

TEST(BigEndianInt, TwosComplement) {
  EXPECT_EQ(be_int2int(bytes{0xFF, 0xFF, 0xFF, 0xFF}.data()), -1);
  EXPECT_EQ(be_int2int(bytes{0x80, 0, 0, 0}.data()), INT_MIN);
  EXPECT_EQ(be_int2int(bytes{0x7F, 0xFF, 0xFF, 0xFF}.data()), INT_MAX);
  EXPECT_EQ(be_int2int(bytes{0, 0, 1, 0}.data()), 256);
  EXPECT_EQ(be_int2int(bytes{0x12, 0x34, 0x56, 0x78}.data()), 0x12345678);
}

// Big-endian byte and bit fields, checked against a bit-at-a-time reference.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "base/bitfield.h"

namespace {

using bytes = std::vector<unsigned char>;

std::uint32_t ref_get(const bytes& b, long long off, int n) {
  std::uint32_t v = 0;
  for (long long bit = off; bit < off + n; ++bit)
    v = (v << 1) | ((b[bit / 8] >> (7 - bit % 8)) & 1u);
  return v;
}

}  // namespace

TEST(ByteFields, ReadAndWrite) {
  bytes b{0x12, 0x34, 0x56, 0x78, 0x9A};
  EXPECT_EQ(kagby(b.data(), 0, 3), 0x123456);
  EXPECT_EQ(kagby(b.data(), 1, 7), 0x3456789A);  // other counts read four bytes
  EXPECT_EQ(kagby(bytes{0xFF, 0xFF, 0xFF, 0xFF}.data(), 0, 4), -1);
  bytes w(6, 0xAA);
  kapby(0x01020304, w.data(), 1, 2);
  EXPECT_EQ(w, (bytes{0xAA, 0x03, 0x04, 0xAA, 0xAA, 0xAA}));
  kapby(0x01020304, w.data(), 1, 9);
  EXPECT_EQ(w, (bytes{0xAA, 0x01, 0x02, 0x03, 0x04, 0xAA}));
}

TEST(BitFields, WritesKeepNeighbouringBits) {
  bytes z1{0}, z2{0, 0};
  kapbb(5, z1.data(), 2, 3);
  EXPECT_EQ(z1[0], 0x28);
  kapbb(1, z2.data(), 9, 1);
  EXPECT_EQ(z2, (bytes{0x00, 0x40}));
  // Bits before the field stay, and a value wider than its field does not
  // spill into them; inside one byte the bits after it stay too.
  bytes c{0x80}, d{0x81};
  kapbb(0xFF, c.data(), 2, 3);
  EXPECT_EQ(c[0], 0xB8);
  kapbb(3, d.data(), 3, 2);
  EXPECT_EQ(d[0], 0x99);
  // A field ending inside a later byte clears that byte's trailing bits.
  bytes e{0x80, 0xFF};
  kapbb(0x1F, e.data(), 4, 6);
  EXPECT_EQ(e, (bytes{0x87, 0xC0}));
  // Counts outside 1..32 write nothing and read 0.
  bytes f(5, 0x55);
  kapbb(7, f.data(), 3, 0);
  kapbb(7, f.data(), 3, 33);
  EXPECT_EQ(f, bytes(5, 0x55));
  EXPECT_EQ(kagbb(f.data(), 3, 0), 0);
}

TEST(BitFields, AgreeWithReferenceOnRandomFields) {
  std::mt19937 rng(12345);
  bytes src(64);
  for (auto& x : src) x = static_cast<unsigned char>(rng());
  for (long long off = 0; off < 200; ++off)
    for (int n = 1; n <= 32; ++n)
      ASSERT_EQ(static_cast<std::uint32_t>(kagbb(src.data(), off, n)), ref_get(src, off, n))
          << off << " " << n;
  // A stream of mixed widths written in order, as the GRIB packer does.
  bytes out(600, 0);
  std::vector<std::pair<std::uint32_t, int>> fields;
  long long off = 0;
  for (int i = 0; i < 120; ++i) {
    int n = 1 + static_cast<int>(rng() % 32);
    std::uint32_t v = static_cast<std::uint32_t>(rng()) >> (32 - n);
    kapbb(static_cast<int>(v), out.data(), off, n);
    fields.push_back({v, n});
    off += n;
  }
  off = 0;
  for (auto [v, n] : fields) {
    EXPECT_EQ(ref_get(out, off, n), v) << off;
    off += n;
  }
}

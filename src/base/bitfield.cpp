#include "base/bitfield.h"

#include <cstdint>

int kagby(const unsigned char* buf, long long byte_offset, int byte_count) {
  if (byte_count < 1 || byte_count > 3) byte_count = 4;
  const unsigned char* p = buf + byte_offset;
  std::uint32_t v = 0;
  for (int i = 0; i < byte_count; ++i) v = (v << 8) | p[i];
  return static_cast<int>(v);
}

int kagbb(const unsigned char* buf, long long bit_offset, int bit_count) {
  if (bit_count < 1 || bit_count > 32) return 0;
  long long s = bit_offset / 8;
  int b = static_cast<int>(bit_offset - 8 * s);
  if (b == 0 && bit_count % 8 == 0) return kagby(buf, s, bit_count / 8);
  long long e = bit_offset + bit_count - 1;
  long long l = e / 8;
  // At most 5 bytes: 7 leading bits plus 32 field bits.
  std::uint64_t w = buf[s] & (0xFFu >> b);
  for (long long i = s + 1; i <= l; ++i) w = (w << 8) | buf[i];
  w >>= 7 - static_cast<int>(e % 8);
  return static_cast<int>(static_cast<std::uint32_t>(w));
}

void kapby(int value, unsigned char* buf, long long byte_offset, int byte_count) {
  if (byte_count < 1 || byte_count > 3) byte_count = 4;
  auto v = static_cast<std::uint32_t>(value);
  unsigned char* p = buf + byte_offset;
  for (int i = byte_count - 1; i >= 0; --i) {
    p[i] = static_cast<unsigned char>(v & 0xFF);
    v >>= 8;
  }
}

void kapbb(int value, unsigned char* buf, long long bit_offset, int bit_count) {
  if (bit_count < 1 || bit_count > 32) return;
  long long s = bit_offset / 8;
  int b = static_cast<int>(bit_offset - 8 * s);
  if (b == 0 && bit_count % 8 == 0) {
    kapby(value, buf, s, bit_count / 8);
    return;
  }
  long long e = bit_offset + bit_count - 1;
  long long l = e / 8;
  // A value wider than its field must not spill into the bits before it.
  std::uint64_t v = static_cast<std::uint32_t>(value);
  if (bit_count < 32) v &= (std::uint64_t{1} << bit_count) - 1;
  v <<= 7 - static_cast<int>(e % 8);
  for (long long i = l; i > s; --i) {
    buf[i] = static_cast<unsigned char>(v & 0xFF);
    v >>= 8;
  }
  if (b == 0) {
    buf[s] = static_cast<unsigned char>(v & 0xFF);
    return;
  }
  // Merge into the first byte: the bits around the field stay.
  unsigned field = 0xFFu >> b;
  if (l == s) field &= ~(0xFFu >> (e % 8 + 1)) & 0xFFu;
  buf[s] = static_cast<unsigned char>((buf[s] & ~field & 0xFFu) | (v & 0xFF));
}

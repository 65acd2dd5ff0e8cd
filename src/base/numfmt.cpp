#include "base/numfmt.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

void* kabswp(void* buf, std::size_t n) {
  auto* p = static_cast<unsigned char*>(buf);
  for (std::size_t i = 0; i < n; ++i, p += 4) {
    unsigned char t = p[0];
    p[0] = p[3];
    p[3] = t;
    t = p[1];
    p[1] = p[2];
    p[2] = t;
  }
  return buf;
}

void kanbswp(void* buf, std::size_t n) {
  auto* p = static_cast<unsigned char*>(buf);
  for (std::size_t i = 0; i < n / 2; ++i) {
    unsigned char t = p[i];
    p[i] = p[n - 1 - i];
    p[n - 1 - i] = t;
  }
}

void kahswp(void* header) { kabswp(static_cast<unsigned char*>(header) + 8, 5); }

float ibm2flt(const unsigned char* b) {
  int e = (b[0] & 0x7F) - 64;
  // 16^|e| by repeated squaring.
  double power = 1.0, base = 16.0;
  for (int k = e < 0 ? -e : e; k > 0; k >>= 1) {
    if (k & 1) power *= base;
    base *= base;
  }
  if (e < 0) power = 1.0 / power;
  double v = (b[1] * 65536.0 + b[2] * 256.0 + b[3]) * power / 16777216.0;
  if (b[0] & 0x80) v = -v;
  return static_cast<float>(v);
}

// The largest IBM magnitude with the sign, and the overflow status.
static int ibm_overflow(unsigned char sign, unsigned char* b) {
  std::fputs("overflow in flt2ibm\n", stderr);
  b[0] = sign | 0x7F;
  b[1] = b[2] = b[3] = 0xFF;
  return -1;
}

int flt2ibm(float x, unsigned char* b) {
  if (std::isnan(x)) {
    std::fputs("invalid value in flt2ibm\n", stderr);
    b[0] = b[1] = b[2] = b[3] = 0;
    return -1;
  }
  if (x == 0.0f) {
    b[0] = b[1] = b[2] = b[3] = 0;
    return 0;
  }
  unsigned char sign = 0;
  double m = x;
  if (m < 0) {
    sign = 0x80;
    m = -m;
  }
  if (std::isinf(m)) return ibm_overflow(sign, b);
  int e = 0;
  m = std::frexp(m, &e);
  while (e % 4 != 0) {
    m *= 0.5;
    e += 1;
  }
  int ex = e / 4 + 64;
  if (ex < 0) {
    std::fputs("underflow in flt2ibm\n", stderr);
    b[0] = b[1] = b[2] = b[3] = 0;
    return 0;
  }
  if (ex >= 128) return ibm_overflow(sign, b);
  b[0] = static_cast<unsigned char>(sign | ex);
  // The fraction is cut after 24 bits, never rounded.
  m *= 256.0;
  double f = std::floor(m);
  b[1] = static_cast<unsigned char>(f);
  m = (m - f) * 256.0;
  f = std::floor(m);
  b[2] = static_cast<unsigned char>(f);
  m = (m - f) * 256.0;
  b[3] = static_cast<unsigned char>(std::floor(m));
  return 0;
}

float ieee2flt(const unsigned char* b) {
  if (b[0] == 0 && b[1] == 0 && b[2] == 0 && b[3] == 0) return 0.0f;
  double mant = b[3] + b[2] * 256.0 + (b[1] | 0x80) * 65536.0;
  if (b[0] & 0x80) mant = -mant;
  int ex = (b[0] & 0x7F) * 2 + (b[1] >> 7);
  return static_cast<float>(std::ldexp(mant, ex - 150));
}

int flt2ieee(float x, unsigned char* b) {
  if (std::isnan(x)) {
    b[0] = 0x7F;
    b[1] = 0xC0;
    b[2] = b[3] = 0;
    return 0;
  }
  if (x == 0.0f) {
    b[0] = b[1] = b[2] = b[3] = 0;
    return 0;
  }
  unsigned char sign = 0;
  double v = x;
  if (v < 0) {
    sign = 0x80;
    v = -v;
  }
  if (std::isinf(v)) {
    b[0] = sign | 0x7F;
    b[1] = 0x80;
    b[2] = b[3] = 0;
    return 0;
  }
  int e = 0;
  double m = std::frexp(v, &e);
  // Round half up to 24 significant bits.
  auto mant = static_cast<std::uint32_t>(m * 16777216.0 + 0.5);
  if (mant >= 16777216u) {
    mant >>= 1;
    e += 1;
  }
  int E = e + 126;
  if (E < 0) {
    b[0] = sign;
    b[1] = b[2] = b[3] = 0;
  } else if (E > 255) {
    b[0] = sign | 0x7F;
    b[1] = 0x80;
    b[2] = b[3] = 0;
  } else {
    b[0] = static_cast<unsigned char>(sign + E / 2);
    b[1] = static_cast<unsigned char>((E & 1) * 128 + ((mant >> 16) & 0x7F));
    b[2] = static_cast<unsigned char>((mant >> 8) & 0xFF);
    b[3] = static_cast<unsigned char>(mant & 0xFF);
  }
  return 0;
}

int be_int2int(const unsigned char* b) {
  std::int64_t v =
      (static_cast<std::int64_t>(b[0] & 0x7F) << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
  if (b[0] & 0x80) v -= (static_cast<std::int64_t>(1) << 31);
  return static_cast<int>(v);
}

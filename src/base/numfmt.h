// Byte-order reversal and the IBM / IEEE single-precision byte layouts.
// Everything works on arrays of unsigned bytes, so results do not depend on
// the host's byte order.
#pragma once

#include <cstddef>

// Reverses the byte order of each of n consecutive 4-byte words in place;
// returns buf.
void* kabswp(void* buf, std::size_t n);
// Reverses the order of n bytes in place.
void kanbswp(void* buf, std::size_t n);
// Station report header (8-byte id, then five 4-byte fields): reverses the
// byte order of the five fields.
void kahswp(void* header);

// IBM System/360 single precision: sign, excess-64 base-16 exponent, 24-bit
// fraction.
float ibm2flt(const unsigned char* b);
// 0 on success; -1 when the value has no IBM form (beyond the exponent
// range, infinite or NaN). Infinities and overflow store the largest
// magnitude of their sign; NaN stores zero.
int flt2ibm(float x, unsigned char* b);

// Big-endian IEEE single precision. Every non-zero pattern is read as a
// normalised number.
float ieee2flt(const unsigned char* b);
// Always 0. Infinities store the IEEE infinity of their sign, NaN the quiet
// NaN 7F C0 00 00.
int flt2ieee(float x, unsigned char* b);

// Two's-complement reading of a big-endian 32-bit integer.
int be_int2int(const unsigned char* b);

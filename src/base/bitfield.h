// Big-endian unsigned fields inside byte buffers: whole bytes and bit fields
// at any bit position, whatever the host's byte order. Bit offset 0 is the
// top bit of byte 0.
#pragma once

// Value of byte_count bytes (1, 2 or 3; any other count means 4) at
// byte_offset, first byte most significant. Four bytes give the whole 32-bit
// pattern.
int kagby(const unsigned char* buf, long long byte_offset, int byte_count);

// Value of bit_count bits (1 to 32) at bit_offset; 0 for other counts.
int kagbb(const unsigned char* buf, long long bit_offset, int bit_count);

// Stores the low byte_count bytes of value (1, 2 or 3; any other count
// means 4) at byte_offset, most significant first.
void kapby(int value, unsigned char* buf, long long byte_offset, int byte_count);

// Stores the low bit_count bits of value (1 to 32; other counts store
// nothing) at bit_offset. The other bits of the field's first byte are kept
// (unless the field starts on a byte boundary); the bytes after it are
// overwritten, so the bits behind the field in its last byte become 0 and
// fields are written in order.
void kapbb(int value, unsigned char* buf, long long bit_offset, int bit_count);

// A small GRIB edition 0 / 1 message writer for the tests: every octet is
// laid out here by hand from the format, so that the reader and the index
// builder are checked against bytes they did not make. Fields can be set to
// malformed values on purpose.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace gribw {

struct message {
  int edition = 1;
  int pds_length = 28;  // 24 or 26 leave out the century or the decimal scale
  int gds_length = 32;  // when gds
  int grid_id = 255;
  bool gds = true;
  int param = 11, level_type = 100, level = 500;
  int year = 2000, month = 1, day = 1, hour = 0, minute = 0;
  int unit = 1, p1 = 0, p2 = 0, time_range = 0;
  int decimal_scale = 0;  // D: values are divided by 10^D
  int ni = 4, nj = 3;
  // Where the points lie: the first point and the steps to the next column
  // and row (degrees), the grid type and the scanning mode octet.
  double lat1 = -60, lon1 = 0, dlat = 60, dlon = 90;
  int data_rep = 0, scan = 64;
  std::vector<int> bitmap;  // one 0/1 per point; empty: no bit map
  int bitmap_table = 0;
  int bits = 16;
  int binary_scale = 0;           // E
  double reference = 0;           // must be exact in IBM single precision
  int data_flags = 0;             // high nibble of BDS octet 4
  std::vector<uint32_t> fields;   // one per set point
  long long total_override = -1;  // edition 1 total length as written
};

// IBM single precision: sign, excess-64 power of 16, 24-bit fraction.
inline void put_ibm(std::string& s, double v) {
  unsigned char b[4] = {0, 0, 0, 0};
  if (v != 0) {
    int sign = v < 0;
    double m = std::fabs(v);
    int e = 64;
    while (m >= 1) m /= 16, e++;
    while (m < 1.0 / 16) m *= 16, e--;
    uint32_t f = static_cast<uint32_t>(std::llround(m * 16777216.0));
    if (f == 16777216u) f >>= 4, e++;
    b[0] = static_cast<unsigned char>(sign << 7 | e);
    b[1] = static_cast<unsigned char>(f >> 16);
    b[2] = static_cast<unsigned char>(f >> 8);
    b[3] = static_cast<unsigned char>(f);
  }
  s.append(reinterpret_cast<char*>(b), 4);
}

inline void put(std::string& s, long long v, int octets) {
  for (int i = octets - 1; i >= 0; i--) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// Sign and magnitude in `octets` octets.
inline void put_signed(std::string& s, int v, int octets) {
  long long top = 1LL << (8 * octets - 1);
  put(s, v < 0 ? top | -v : v, octets);
}

// Bits laid one by one, most significant first.
inline std::string pack(const std::vector<uint32_t>& f, int bits) {
  std::vector<unsigned char> out((f.size() * bits + 7) / 8, 0);
  size_t bit = 0;
  for (uint32_t v : f)
    for (int k = bits - 1; k >= 0; k--, bit++)
      if (k < 32 && ((v >> k) & 1u)) out[bit / 8] |= static_cast<unsigned char>(0x80 >> (bit % 8));
  return std::string(out.begin(), out.end());
}

inline void put_all(std::string& s, std::initializer_list<std::pair<long long, int>> fields) {
  for (auto [v, n] : fields) put(s, v, n);
}

inline std::string encode(const message& m) {
  std::string pds;
  const int yoc = m.pds_length >= 25 && m.year % 100 == 0 ? 100 : m.year % 100;
  // Octet 4 is the table version; in edition 0 it is octet 8 of the message.
  put_all(pds, {{m.pds_length, 3},
                {m.edition == 0 ? 0 : 3, 1},
                {7, 1},
                {1, 1},
                {m.grid_id, 1},
                {(m.gds ? 0x80 : 0) | (m.bitmap.empty() ? 0 : 0x40), 1},
                {m.param, 1},
                {m.level_type, 1},
                {m.level, 2},
                {yoc, 1},
                {m.month, 1},
                {m.day, 1},
                {m.hour, 1},
                {m.minute, 1},
                {m.unit, 1}});
  if (m.time_range == 10)
    put(pds, m.p1, 2);
  else
    put_all(pds, {{m.p1, 1}, {m.p2, 1}});
  put_all(pds, {{m.time_range, 1}, {0, 3}, {(m.year - 1) / 100 + 1, 1}, {0, 1}});
  put_signed(pds, m.decimal_scale, 2);
  pds.resize(m.pds_length, '\0');  // cut or padded to the stated length

  std::string gds;
  if (m.gds) {
    auto milli = [](double deg) { return static_cast<int>(std::lround(deg * 1000)); };
    put_all(gds, {{m.gds_length, 3}, {0, 1}, {255, 1}, {m.data_rep, 1}, {m.ni, 2}, {m.nj, 2}});
    put_signed(gds, milli(m.lat1), 3);
    put_signed(gds, milli(m.lon1), 3);
    put(gds, 0x80, 1);
    put_signed(gds, milli(m.lat1 + (m.nj - 1) * m.dlat), 3);
    put_signed(gds, milli(m.lon1 + (m.ni - 1) * m.dlon), 3);
    // Steps beyond 65.535 degrees don't fit: marked missing.
    for (double d : {m.dlon, m.dlat}) put(gds, std::min(milli(std::fabs(d)), 65535), 2);
    put(gds, m.scan, 1);
    gds.resize(m.gds_length, '\0');
  }

  std::string bms;
  if (!m.bitmap.empty()) {
    std::string map = pack(std::vector<uint32_t>(m.bitmap.begin(), m.bitmap.end()), 1);
    if (map.size() % 2) map.push_back('\0');
    put_all(bms, {{6 + (long long)map.size(), 3},
                  {(8 - (long long)m.bitmap.size() % 8) % 8, 1},
                  {m.bitmap_table, 2}});
    bms += map;
  }

  std::string packed = pack(m.fields, m.bits);
  if (packed.size() % 2) packed.push_back('\0');
  std::string bds;
  put_all(bds, {{11 + (long long)packed.size(), 3}, {m.data_flags << 4, 1}});
  put_signed(bds, m.binary_scale, 2);
  put_ibm(bds, m.reference);
  put(bds, m.bits, 1);
  bds += packed;

  std::string body = pds + gds + bms + bds;
  std::string out = "GRIB";
  if (m.edition == 1) {
    long long total = m.total_override >= 0 ? m.total_override : 8 + body.size() + 4;
    put(out, total, 3);
    put(out, 1, 1);
  }
  return out + body + "7777";
}

}  // namespace gribw

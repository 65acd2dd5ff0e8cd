// Helpers for the descriptor parser tests: scratch files, parsing with the
// printed messages captured, and byte-level writers for binary map files.
#pragma once

#include <vector>

#include "data/gribindex.h"
#include "test_gridread_support.h"

namespace dtest {

using grtest::contains;
using grtest::put_host;
using grtest::record;

struct parsed {
  int rc = -1;
  std::string out;
  record pfi;
};

// Parses the descriptor at path with the map switch as given; the session
// calendar starts unset for each parse unless keep_calendar is set.
inline parsed parse_file(const std::string& path, int mflag = 1, bool keep_calendar = false) {
  if (!keep_calendar) mfcmn.calendar_365 = -999;
  parsed r;
  r.pfi.reset(getpfi());
  StdoutCapture cap;
  r.rc = kaddes(path.c_str(), r.pfi.get(), mflag);
  r.out = cap.text();
  return r;
}

// Writes text as name.ctl in dir and parses it.
inline parsed parse_text(const vemra_test::TempDir& dir, const std::string& text, int mflag = 1,
                         const std::string& name = "d.ctl") {
  vemra_test::write_file(dir.file(name), text);
  return parse_file(dir.file(name), mflag);
}

// The last line of every refused descriptor.
inline const char* const kClosing = "  The data file was not opened. \n";

// Appends a 4-byte big-endian two's-complement integer.
inline void put_be(std::string& s, uint32_t v) {
  for (int sh = 24; sh >= 0; sh -= 8) s += static_cast<char>((v >> sh) & 0xff);
}

// Appends a 4-byte big-endian sign-and-magnitude integer.
inline void put_sm(std::string& s, int v) {
  uint32_t m = v < 0 ? (uint32_t(-int64_t(v)) | 0x80000000u) : uint32_t(v);
  put_be(s, m);
}

// IBM single-precision bytes of a few exactly representable values, worked
// out by hand: 1.0 = 41 10 00 00, -100.0 = C2 64 00 00, 0.5 = 40 80 00 00.
inline void put_ibm(std::string& s, float v) {
  if (v == 1.0f)
    s += std::string("\x41\x10\x00\x00", 4);
  else if (v == -100.0f)
    s += std::string("\xc2\x64\x00\x00", 4);
  else if (v == 0.5f)
    s += std::string("\x40\x80\x00\x00", 4);
  else
    s += std::string("\x00\x00\x00\x00", 4);
}

}  // namespace dtest

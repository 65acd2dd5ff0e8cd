// Checking and applying users' number formats.
#include "base/userfmt.h"

#include <cstdio>
#include <cstring>

namespace {

// Reads at most three digits; false when the number exceeds 255.
bool small_number(const char*& p) {
  int v = 0;
  int digits = 0;
  while (*p >= '0' && *p <= '9') {
    v = v * 10 + (*p - '0');
    if (++digits > 3 || v > 255) return false;
    ++p;
  }
  return true;
}

}  // namespace

int kafmtok(const char* fmt) {
  if (!fmt) return 0;
  int conversions = 0;
  for (const char* p = fmt; *p; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    while (*p && std::strchr("-+ #0", *p)) ++p;
    if (!small_number(p)) return 0;
    if (*p == '.') {
      ++p;
      if (!small_number(p)) return 0;
    }
    if (*p == 'l') ++p;  // "%lf" is a double as well
    if (!*p || !std::strchr("eEfFgGaA", *p)) return 0;
    if (++conversions > 1) return 0;
  }
  return conversions == 1;
}

int kafmtv(char* out, std::size_t size, const char* fmt, double v) {
  if (!out || size == 0) return -1;
  out[0] = '\0';
  if (!kafmtok(fmt)) return -1;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  int n = std::snprintf(out, size, fmt, v);
#pragma GCC diagnostic pop
  if (n < 0) {
    out[0] = '\0';
    return -1;
  }
  return static_cast<std::size_t>(n) >= size ? static_cast<int>(size - 1) : n;
}

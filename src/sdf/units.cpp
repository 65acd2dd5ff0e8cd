#include "sdf/units.h"

namespace {
int started = 0;
}

int ud_start() {
  if (started) return 0;
  // An empty path makes the library read its own database (or the one its
  // environment names).
  int rc = utInit("");
  if (rc == 0) started = 1;
  return rc;
}

int ud_started() { return started; }

int ud_converts(const ud_unit& unit, const char* to, double* slope, double* intercept) {
  ud_unit target;
  if (target.scan(to) != 0) return 0;
  double s = 0, i = 0;
  if (utConvert(unit.get(), target.get(), &s, &i) != 0) return 0;
  if (slope) *slope = s;
  if (intercept) *intercept = i;
  return 1;
}

int ud_is_time(const char* text) {
  if (!started || !text) return 0;
  ud_unit u;
  if (u.scan(text) != 0) return 0;
  return ud_converts(u, "second");
}

#include "sdf/units.h"

#include <cstdlib>

#include "base/inputfile.h"
#include "base/message.h"

namespace {
int started = 0;
}

int ud_start() {
  if (started) return 0;
  // An empty path makes the library read its own database (or the one its
  // environment names). A named one must be a regular file: the library
  // would wait for ever on a pipe.
  if (const char* db = std::getenv("UDUNITS2_XML_PATH"); db && *db) {
    if (check_input(db) == input_status::not_regular) {
      kaprnt(msg_level::error, input_refusal(db, input_status::not_regular, 0) + "\n");
      return -1;
    }
  }
  int rc = utInit("");
  if (rc == 0) started = 1;
  return rc;
}

int ud_started() { return started; }

int ud_convert(const ud_unit& from, const ud_unit& to, double* slope, double* intercept) {
  // The older interface's conversion leaves a converter behind at every
  // call; the converter is taken and released here instead.
  if (!from.get()->unit2 || !to.get()->unit2) return 0;
  cv_converter* cv = ut_get_converter(from.get()->unit2, to.get()->unit2);
  if (!cv) return 0;
  double i = cv_convert_double(cv, 0.0);
  double s = cv_convert_double(cv, 1.0) - i;
  cv_free(cv);
  if (slope) *slope = s;
  if (intercept) *intercept = i;
  return 1;
}

int ud_converts(const ud_unit& unit, const char* to, double* slope, double* intercept) {
  ud_unit target;
  if (target.scan(to) != 0) return 0;
  return ud_convert(unit, target, slope, intercept);
}

int ud_is_time(const char* text) {
  if (!started || !text) return 0;
  ud_unit u;
  if (u.scan(text) != 0) return 0;
  return ud_converts(u, "second");
}

// The units library through its older interface: a unit value that is
// initialised and released as the library requires, the one-time start of
// the library, and the tests the self-describing files make on units.
#pragma once

#include <udunits.h>

class ud_unit {
 public:
  ud_unit() { utIni(&u_); }
  ~ud_unit() { utFree(&u_); }
  ud_unit(const ud_unit&) = delete;
  ud_unit& operator=(const ud_unit&) = delete;
  // 0 when the text is a unit.
  int scan(const char* text) { return utScan(text, &u_); }
  const utUnit* get() const { return &u_; }

 private:
  utUnit u_;
};

// Starts the units library once per process from its own database; 0 done
// (also when it had been started before), non-zero when it cannot start.
int ud_start();
// 1 once the library has been started.
int ud_started();

// 1 when the text is a unit that converts to seconds (a unit of time or a
// time since an origin).
int ud_is_time(const char* text);
// 1 when from converts to to; to = slope * from + intercept.
int ud_convert(const ud_unit& from, const ud_unit& to, double* slope = nullptr,
               double* intercept = nullptr);
// 1 when unit converts to the unit named by to; slope and intercept given.
int ud_converts(const ud_unit& unit, const char* to, double* slope = nullptr,
                double* intercept = nullptr);

// Services shared by the LATS interface and its two format writers:
// messages, trimmed copies, the time model, the tables and quality control.
#pragma once

#include <cstdio>
#include <string>

#include "lats/lats.h"

// ---- Messages ----

// Where the writer reports, held for the process: the public operation
// running, which messages name, and the quality-control log, opened by the
// first field checked and closed with the statistics of a file.
struct lats_reports {
  const char* routine = nullptr;
  std::FILE* qc_log = nullptr;
  std::string qc_log_name;     // as named when opened
  bool qc_log_failed = false;  // a write to the open log failed (said once)
};
lats_reports& latsReports();

// Each public operation names itself on entry; messages print that name.
void latsSetRoutine(const char* name);
// "LATS error (routine): " + text + newline on standard error while
// messages are printed; then exits with status 1 while errors are fatal.
void latsError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// "LATS warning (routine): " + text + newline while messages are printed.
void latsWarning(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Errors reported while one lives do not end the process; the setting before
// comes back however the scope is left, an exception included.
class lats_errors_not_fatal {
 public:
  lats_errors_not_fatal() : saved_(latsOptions().lats_fatal) { latsOptions().lats_fatal = 0; }
  ~lats_errors_not_fatal() { latsOptions().lats_fatal = saved_; }
  lats_errors_not_fatal(const lats_errors_not_fatal&) = delete;
  lats_errors_not_fatal& operator=(const lats_errors_not_fatal&) = delete;

 private:
  int saved_;
};

// Leading and trailing white space dropped, at most size - 1 characters,
// always terminated. The second also lower-cases.
char* latsCpyTrim(char* dst, const char* src, int size);
char* latsCpyLower(char* dst, const char* src, int size);

// "Jan" .. "Dec"; "???" outside 1..12.
const char* latsMonthName(int month);

// ---- Time model ----

enum lats_time_unit {
  LATS_UNIT_MINUTES = 1,
  LATS_UNIT_HOURS = 2,
  LATS_UNIT_DAYS = 3,
  LATS_UNIT_WEEKS = 4,
  LATS_UNIT_MONTHS = 5,
  LATS_UNIT_SEASONS = 6,
  LATS_UNIT_YEARS = 7,
  LATS_UNIT_SECONDS = 8,
};

struct latsCompTime {
  long year;
  short month;
  short day;
  double hour;
};

// The working form: a composite time with its base year and calendar word.
struct latsHumanTime {
  long year;
  short month;
  short day;
  double hour;
  long baseyear;
  int timetype;  // calendar word
};

// The number of days of a month (1-12) in a year under a calendar word.
int latsMonthDays(int calendar, long year, int month);
// -1, 0 or 1 by year, month, day, then hour.
int latsTimeCmp(long year1, int month1, int day1, double hour1, long year2, int month2, int day2,
                double hour2);
// The value of a composite time in a units text ("hours since 1979-1-1 0").
// Returns 1, or 0 after a message (value left unset).
int latsComp2Rel(int calendar, long year, int month, int day, double hour, const char* units,
                 double* value);
// 0 on success, 1 after a message.
int latsParseRelunits(int calendar, const char* units, lats_time_unit* unit, latsCompTime* base);
// 1 on success, 0 after a message.
int latsChar2Comp(int calendar, const char* text, latsCompTime* out);
// Epochal hours (years from the base year) and back.
void latsh2e(const latsHumanTime* htime, double* hours);
void latse2h(double hours, int calendar, long baseyear, latsHumanTime* htime);

// ---- Tables ----

int latsParmCreateTable(const char* path);
int latsParmCreateDefaultTable();
// Loads the tables on first use (LATS_PARMS or the built-in rows).
int latsLoadTablesOnce();
latsParm* latsParmLookup(const char* name);
latsVertType* latsVertTypeLookup(const char* name);
latsCenter* latsCenterLookup(const char* name);
latsQC* latsQCLookup(const char* var, const char* levtype, double value, double delta);
// Prints the level types to standard error, the first time only.
void latsVertTypeList();

// ---- Quality control ----

int latsStatVar(latsFile* file, latsVar* var, latsQC* qc, int levindex, int timeindex, int year,
                int month, int day, int hour, void* data);
int latsStatFile(latsFile* file);

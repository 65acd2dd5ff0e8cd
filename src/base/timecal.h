// Time and calendar: the date_time record, the time axis of a data set,
// calendar arithmetic under the session's calendar switch (mfcmn), the
// absolute and relative time grammars and the text forms of a time.
// Calendar arithmetic is done here by the calendar's own rules, never by the
// C library's time functions.
#pragma once

#include <string>

// A point in time, or an offset when used as an increment.
struct date_time {
  int year;    // full year; 9999 marks a climatological year in text output
  int month;   // 1..12 (an offset: months)
  int day;     // 1..31 (an offset: days)
  int hour;    // 0..23
  int minute;  // 0..59
};

// The time axis of a data set: eight floats. Start fields are read back as
// integers by adding 0.1 and truncating. A minute axis has increment_minutes
// above 0.1, else it is a month axis.
struct time_scaling {
  float start_year, start_month, start_day, start_hour, start_minute;
  float increment_months;
  float increment_minutes;
  float end_mark;  // -999.9
};

// Views a float array of eight (as kept in scaling slots) as a time_scaling.
time_scaling time_scaling_from(const float* eight);
// The start time of a scaling; fields beyond the int range are held at its ends.
date_time time_scaling_start(const time_scaling* scaling);

// 1 when the year has a 29 February under the session calendar.
int qleap(int year);
// Days in a month of a year under the session calendar.
int days_in_month(int year, int month);

// time += increment (months and years first, then minutes, hours and days
// are carried). Increments are meant to be non-negative (timsub subtracts);
// negative fields borrow rather than leave an impossible time.
void timadd(const date_time* increment, date_time* time);
// offset = base - offset (the result is written over the second argument).
void timsub(const date_time* base, date_time* offset);
// Minutes from `from` to `to` (negative when `to` is earlier), in 64 bits.
long long timdif(const date_time* from, const date_time* to);

// The time a whole number of months from start as a month axis counts it:
// the start's day where the month has it, else the month's last day (31 March
// plus one month is 30 April), so that steps and times round-trip. timadd
// instead folds the day into the next month.
void month_step(const date_time* start, long long months, date_time* out);

// timadd and timsub with the offset's months and years moved as month_step
// moves them (31 January plus one month is the last of February), for times
// a data request is formed from. timadd and timsub keep folding the day over
// the month's end, as stored forecast times rely on.
void timadd_months(const date_time* increment, date_time* time);
void timsub_months(const date_time* base, date_time* offset);

// Grid coordinate of a time on an axis (1 = the axis start).
float t2gr(const time_scaling* scaling, const date_time* time);
float t2gr(const float* scaling, const date_time* time);
// The same in double, which holds every step a grid index reaches (a float
// moves steps past 2^24 to a neighbour): for the environment's times.
double t2gr_exact(const time_scaling* scaling, const date_time* time);
double t2gr_exact(const float* scaling, const date_time* time);
// Time at a grid coordinate. Coordinates so far away that the time would leave
// the representable years are held at about a million years from the start.
void gr2t(const time_scaling* scaling, double g, date_time* out);
void gr2t(const float* scaling, double g, date_time* out);

// Absolute time [hh[:mm]z][dd][mmm][yyyy] on lower-case text; parts left out
// come from def. Returns the position past the time, or null after a
// level-0 message. Sets mfcmn.year_digits when a year is read.
const char* adtprs(const char* text, const date_time* def, date_time* out);
char* adtprs(char* text, const date_time* def, date_time* out);
// Relative offset: number and code (yr mo dy hr mn), repeated, e.g. 1dy12hr.
// Returns the position past the last code, or null after a level-0 message.
const char* rdtprs(const char* text, date_time* out);
char* rdtprs(char* text, date_time* out);

// Text of a time at level 1 (year) to 5 (hh:mmZddMMMyyyy); "???" for other
// levels. out needs kat2ch_size bytes. Returns the length written.
inline constexpr int kat2ch_size = 64;
int kat2ch(const date_time* time, int level, char* out);
std::string kat2ch(const date_time& time, int level);

// Day of the week, 0 Sunday to 6 Saturday, for any year.
int dayweek(const date_time* time);

// Session-wide data switches shared by the data layer, the time parser and
// the self-describing files.
#pragma once

struct mfcmn_words {
  // -999 until the first data set is opened; then 1 for the 365-day
  // calendar, 0 for the standard one.
  int calendar_365;
  // Year-digit flag of the last absolute time parsed: 1 a year of three or
  // more digits, 0 a two-digit year, -999 unset.
  int year_digits;
  // Data warnings print while this is above 0 (2 at start, "set warn" 1/0).
  int warn_level;
};

extern mfcmn_words mfcmn;

// Start values of the switches (start-up, "reset", "reinit").
void mfcmn_init();

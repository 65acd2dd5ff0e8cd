#include "base/mfcmn.h"

mfcmn_words mfcmn = {-999, -999, 2};

void mfcmn_init() {
  mfcmn.calendar_365 = -999;
  mfcmn.year_digits = -999;
  mfcmn.warn_level = 2;
}

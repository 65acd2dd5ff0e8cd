// The time stamp at the lower right of the page: the wall-clock date and
// time of drawing.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>

#include "base/session.h"
#include "gx/gx.h"
#include "plot/plot2d.h"

namespace {
// year, month, day, hour, minute, second, day of year, raw time (low word).
int timeobj[32];
}  // namespace

const int* katmobj() { return timeobj; }

int get_tm_struct(long long t) {
  if (t < static_cast<long long>(std::numeric_limits<time_t>::min()) ||
      t > static_cast<long long>(std::numeric_limits<time_t>::max())) {
    std::fprintf(stderr, "error in gmtime function,errno = %d\n", EOVERFLOW);
    return -1;
  }
  time_t tt = static_cast<time_t>(t);
  struct tm parts;
  errno = 0;
  if (!localtime_r(&tt, &parts)) {
    // A failed conversion loses the stamp, never the session.
    std::fprintf(stderr, "error in gmtime function,errno = %d\n", errno);
    return -1;
  }
  char jday[8];
  if (std::strftime(jday, sizeof jday, "%j", &parts) == 0) return -1;
  timeobj[0] = parts.tm_year + 1900;
  timeobj[1] = parts.tm_mon + 1;
  timeobj[2] = parts.tm_mday;
  timeobj[3] = parts.tm_hour;
  timeobj[4] = parts.tm_min;
  timeobj[5] = parts.tm_sec;
  timeobj[6] = std::atoi(jday);
  timeobj[7] = static_cast<int>(t);
  return timeobj[6];
}

int sys_time() {
  errno = 0;
  time_t t = std::time(nullptr);
  if (t == static_cast<time_t>(-1)) {
    std::fprintf(stderr, "error in time function,errno = %d\n", errno);
    return -1;
  }
  return get_tm_struct(static_cast<long long>(t));
}

void katmlb(session_state* pcm) {
  int varying = 0;
  for (int d = 0; d < 4; d++)
    if (pcm->dim_varying[d]) varying++;
  if (varying > 2) return;
  if (sys_time() < 0) return;
  char text[64];
  int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d-%02d:%02d", timeobj[0], timeobj[1],
                        timeobj[2], timeobj[3], timeobj[4]);
  if (n < 0) return;
  if (n >= int(sizeof text)) n = int(sizeof text) - 1;
  float width = pcm->real_page_width > 0 ? pcm->real_page_width : pcm->page_width;
  gxchpl(text, n, width - 1.36f, 0.05f, 0.1f, 0.08f, 0.0f);
}

// Quality control of the LATS writer: area-weighted statistics of each float
// field against its reference row; exceptions go to a log file.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/safefile.h"
#include "lats/latsint.h"

namespace {

// "%4d%2d..." with blanks turned into zeros.
void zero_fill(char* s) {
  for (; *s; ++s)
    if (*s == ' ') *s = '0';
}

}  // namespace

int latsStatVar(latsFile* file, latsVar* var, latsQC* qc, int levindex, int /*timeindex*/, int year,
                int month, int day, int hour, void* data) {
  (void)file;
  if (!latsOptions().lats_qc || !qc || var->parm->datatype == LATS_INT) return 1;
  lats_reports& reports = latsReports();
  std::FILE*& qc_log = reports.qc_log;
  if (!qc_log) {
    const char* name = std::getenv("LATS_LOG");
    if (!name) name = "lats.log";
    // A pipe is written once its reader is there, or given up at an interrupt.
    qc_log = fopen_appending(name);
    if (!qc_log) {
      latsError("Cannot open log file: %s for append", name);
      return 0;
    }
    reports.qc_log_name = name;
    reports.qc_log_failed = false;
  }
  const latsGrid* g = var->grid;
  const float* v = static_cast<const float*>(data);
  double s = 0.0, s1 = 0.0, s2 = 0.0;
  float vmin = 0.0f, vmax = 0.0f;
  bool any = false;
  for (int j = 0; j < g->nlat; ++j) {
    for (int i = 0; i < g->nlon; ++i) {
      float x = v[static_cast<size_t>(j) * static_cast<size_t>(g->nlon) + static_cast<size_t>(i)];
      if (var->hasmissing && std::fabs(x - var->missing.f) <= var->missdelta) continue;
      double w = g->latweight[j] * g->lonweight[i];
      s += w;
      s1 += w * x;
      s2 += w * x * x;
      if (!any || x < vmin) vmin = x;
      if (!any || x > vmax) vmax = x;
      any = true;
    }
  }
  // A field without a present value has nothing to compare.
  if (!any || s == 0.0) return 1;
  double mean = s1 / s;
  double variance = (s2 - mean * s1) / s;
  double sd = variance < 0.0 ? 0.0 : std::sqrt(variance);
  qc->obs_mean = static_cast<float>(mean);
  qc->obs_max = vmax;
  qc->obs_min = vmin;
  qc->obs_std = static_cast<float>(sd);

  const char* kind = nullptr;
  double value = 0.0, ref = 0.0, limit = 0.0;
  double mean_limit = static_cast<double>(qc->tolerance) * qc->std;
  double range_limit = static_cast<double>(qc->rangetol) * qc->range;
  if (std::fabs(mean - qc->mean) > mean_limit) {
    kind = "mean";
    value = mean;
    ref = qc->mean;
    limit = mean_limit;
  } else if (static_cast<double>(vmax) - vmin > range_limit) {
    kind = "range";
    value = static_cast<double>(vmax) - vmin;
    ref = qc->range;
    limit = range_limit;
  }
  if (!kind) return 1;
  char when[32], now[32];
  std::snprintf(when, sizeof when, "%4d%2d%2d%2d", year, month, day, hour);
  zero_fill(when);
  std::time_t t = std::time(nullptr);
  std::tm lt{};
  localtime_r(&t, &lt);
  std::snprintf(now, sizeof now, "%4d%2d%2d%2d%2d%2d", lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday,
                lt.tm_hour, lt.tm_min, lt.tm_sec);
  zero_fill(now);
  double level = levindex >= 0 && var->levs ? var->levs[levindex] : 0.0;
  errno = 0;
  std::fprintf(qc_log, "E|%s|%s|%f|%s|%f|%f|%f|%s\n", var->name, when, level, kind, value, ref,
               limit, now);
  // A line the log did not take (a full disk) is said, once for the log.
  if ((std::fflush(qc_log) != 0 || std::ferror(qc_log)) && !reports.qc_log_failed) {
    reports.qc_log_failed = true;
    latsError("Writing log file %s failed: %s; quality-control lines are lost",
              reports.qc_log_name.c_str(), std::strerror(errno ? errno : EIO));
  }
  return 0;
}

int latsStatFile(latsFile* file) {
  for (latsVar* v = file->varlist; v; v = v->next) {
    if (v->ntimewritten == 0) {
      latsWarning("Variable declared but never written, file %s, variable %s", file->path, v->name);
    } else if (v->nlev > 0 && v->nlevwritten < v->nlev) {
      latsWarning(
          "Fewer levels written (%d) then declared (%d), file %s, variable %s, time = %dZ %d %s "
          "%d: The output file may be unnecessarily large",
          v->nlevwritten, v->nlev, file->path, v->name, static_cast<int>(file->lasthour),
          file->lastday, latsMonthName(file->lastmonth), file->lastyear);
    }
  }
  std::FILE*& qc_log = latsReports().qc_log;
  if (latsOptions().lats_qc && qc_log) {
    std::fclose(qc_log);
    qc_log = nullptr;
  }
  return 1;
}

// Messages and trimmed copies of the LATS writer.
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lats/latsint.h"

lats_options& latsOptions() {
  static lats_options o;
  return o;
}

lats_reports& latsReports() {
  static lats_reports r;
  return r;
}

namespace {

void report(const char* kind, const char* fmt, va_list ap) {
  // The caller may still want the reason of the failure it reports.
  const int saved_errno = errno;
  // Standard output first, so that a log taking both streams keeps the
  // order in which things happened.
  std::fflush(stdout);
  const char* routine = latsReports().routine;
  std::fprintf(stderr, "LATS %s (%s): ", kind, routine ? routine : "unknown routine");
  std::vfprintf(stderr, fmt, ap);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  errno = saved_errno;
}
}  // namespace

void latsSetRoutine(const char* name) { latsReports().routine = name; }

void latsError(const char* fmt, ...) {
  if (latsOptions().lats_verbose) {
    va_list ap;
    va_start(ap, fmt);
    report("error", fmt, ap);
    va_end(ap);
  }
  if (latsOptions().lats_fatal) std::exit(1);
}

void latsWarning(const char* fmt, ...) {
  if (!latsOptions().lats_verbose) return;
  va_list ap;
  va_start(ap, fmt);
  report("warning", fmt, ap);
  va_end(ap);
}

char* latsCpyTrim(char* dst, const char* src, int size) {
  if (size <= 0) return dst;
  const char* b = src ? src : "";
  while (*b && std::isspace(static_cast<unsigned char>(*b))) ++b;
  size_t n = std::strlen(b);
  while (n > 0 && std::isspace(static_cast<unsigned char>(b[n - 1]))) --n;
  if (n > static_cast<size_t>(size - 1)) n = static_cast<size_t>(size - 1);
  std::memmove(dst, b, n);
  dst[n] = '\0';
  return dst;
}

char* latsCpyLower(char* dst, const char* src, int size) {
  latsCpyTrim(dst, src, size);
  for (char* p = dst; *p; ++p) *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  return dst;
}

const char* latsMonthName(int month) {
  static const char* const names[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  return month >= 1 && month <= 12 ? names[month - 1] : "???";
}

int lats_erropt(int flags) {
  latsOptions().lats_fatal = flags & 1;
  latsOptions().lats_verbose = (flags >> 1) & 1;
  return 1;
}

int lats_qcopt(int flags) {
  latsOptions().lats_qc = flags & 1;
  return 1;
}

#include "base/fnmtemplate.h"
#include "base/words.h"

#include <cstdio>
#include <cstring>

#include <cstdlib>

namespace {

void append_word(std::string& out, const char* p) {
  while (!word_end(*p)) out += *p++;
}

const char* const month_lower[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                     "jul", "aug", "sep", "oct", "nov", "dec"};

void append_int(std::string& out, const char* fmt, long long v) {
  char buf[32];
  int n = std::snprintf(buf, sizeof buf, fmt, v);
  if (n > 0) out.append(buf, static_cast<std::size_t>(n) < sizeof buf ? n : sizeof buf - 1);
}

// Replaces the two-character code c0 c1 for time t; false when it is no code.
bool time_code(std::string& out, char c0, char c1, const date_time* t) {
  switch (c0) {
    case 'y':
      if (c1 == '2') return append_int(out, "%02lld", ((t->year % 100) + 100) % 100), true;
      if (c1 == '4') return append_int(out, "%04lld", t->year), true;
      return false;
    case 'm':
      if (c1 == '1') return append_int(out, "%lld", t->month), true;
      if (c1 == '2') return append_int(out, "%02lld", t->month), true;
      if (c1 == 'c') {
        out += (t->month >= 1 && t->month <= 12) ? month_lower[t->month - 1] : "???";
        return true;
      }
      if (c1 == 'h') return out += (t->day < 16 ? 'a' : 'b'), true;
      if (c1 == 'H') return out += (t->day < 16 ? 'A' : 'B'), true;
      return false;
    case 'd':
      if (c1 == '1') return append_int(out, "%lld", t->day), true;
      if (c1 == '2') return append_int(out, "%02lld", t->day), true;
      return false;
    case 'h':
      if (c1 == '1') return append_int(out, "%lld", t->hour), true;
      if (c1 == '2') return append_int(out, "%02lld", t->hour), true;
      if (c1 == '3') return append_int(out, "%03lld", t->hour), true;
      return false;
    case 'n':
      if (c1 == '2') return append_int(out, "%02lld", t->minute), true;
      return false;
    default: return false;
  }
}

}  // namespace

int fnmexp(std::string& out, const char* name, const char* descriptor, std::string* missing) {
  if (name[0] == '^') {
    std::string dir;
    const char* slash = nullptr;
    for (const char* p = descriptor; !word_end(*p); ++p)
      if (*p == '/') slash = p;
    if (slash) dir.assign(descriptor, static_cast<std::size_t>(slash - descriptor + 1));
    append_word(dir, name + 1);
    out = dir;
    return 0;
  }
  if (name[0] == '$') {
    // The whole variable name counts, however long: a cut name would look
    // up the wrong variable.
    const char* p = name + 1;
    std::string var;
    while (*p != '/' && !word_end(*p)) var += *p++;
    const char* value = var.empty() ? nullptr : std::getenv(var.c_str());
    if (!value) {
      if (missing) *missing = var;
      return 1;
    }
    std::string r = value;
    append_word(r, p);
    out = r;
    return 0;
  }
  std::string r;
  append_word(r, name);
  out = r;
  return 0;
}

std::string kafndt(const char* tmpl, const date_time* valid, const date_time* initial,
                   const time_scaling* scaling) {
  std::string out;
  const char* p = tmpl;
  while (*p) {
    if (*p != '%') {
      out += *p++;
      continue;
    }
    if (p[1] == 'i' && p[2] && time_code(out, p[2], p[3], initial)) {
      p += 4;
      continue;
    }
    if (p[1] == 'f' && (p[2] == '2' || p[2] == '3')) {
      date_time start = time_scaling_start(scaling);
      long long hours = (timdif(&start, valid) + 30) / 60;
      append_int(out, p[2] == '2' ? "%02lld" : "%03lld", hours);
      p += 3;
      continue;
    }
    if (p[1] && time_code(out, p[1], p[2], valid)) {
      p += 3;
      continue;
    }
    out += *p++;
  }
  return out;
}

std::string kafndt(const char* tmpl, const date_time* valid, const date_time* initial,
                   const float* scaling) {
  time_scaling s = time_scaling_from(scaling);
  return kafndt(tmpl, valid, initial, &s);
}

std::string kafndt(const char* tmpl, const date_time* valid, const date_time* initial,
                   const float* scaling, size_t literal) {
  size_t n = std::strlen(tmpl);
  if (literal > n) literal = n;
  return std::string(tmpl, literal) + kafndt(tmpl + literal, valid, initial, scaling);
}

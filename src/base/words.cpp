// Words and numbers of the command language.
#include "base/words.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }
inline bool is_end(char c) { return c == '\0' || c == '\n'; }
inline bool is_word_end(char c) { return is_blank(c) || is_end(c); }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

template <typename T>
const char* parse_integer(const char* p, T* val, T max) {
  *val = 0;
  bool neg = false;
  if (*p == '-' || *p == '+') {
    neg = (*p == '-');
    ++p;
  }
  if (!is_digit(*p)) return nullptr;
  // Accumulate the magnitude as negative so the most negative value fits.
  T v = 0;
  const T lim = -max - (neg ? 1 : 0);
  while (is_digit(*p)) {
    T d = static_cast<T>(*p - '0');
    if (v < (lim + d) / 10) return nullptr;
    v = static_cast<T>(v * 10 - d);
    ++p;
  }
  if (!neg) v = -v;
  *val = v;
  return p;
}

}  // namespace

int cmpwrd(const char* a, const char* b) {
  while (is_blank(*a)) ++a;
  while (is_blank(*b)) ++b;
  while (*a == *b) {
    if (is_word_end(*a)) return 1;
    ++a;
    ++b;
  }
  return (is_word_end(*a) && is_word_end(*b)) ? 1 : 0;
}

const char* nxtwrd(const char* p) {
  if (!p) return nullptr;
  while (!is_blank(*p)) {
    if (is_end(*p)) return nullptr;
    ++p;
  }
  while (is_blank(*p)) ++p;
  if (is_end(*p)) return nullptr;
  return p;
}

char* nxtwrd(char* p) { return const_cast<char*>(nxtwrd(static_cast<const char*>(p))); }

void getwrd(char* out, const char* in, int max) {
  int n = 0;
  while (n < max && in[n] != ' ' && !is_end(in[n])) {
    out[n] = in[n];
    ++n;
  }
  out[n] = '\0';
}

void getstr(char* out, const char* in, int max) {
  int n = 0;
  while (n < max && !is_end(in[n])) {
    out[n] = in[n];
    ++n;
  }
  while (n > 0 && out[n - 1] == ' ') --n;
  out[n] = '\0';
}

const char* intprs(const char* p, int* val) { return parse_integer<int>(p, val, INT_MAX); }
char* intprs(char* p, int* val) {
  return const_cast<char*>(intprs(static_cast<const char*>(p), val));
}
const char* longprs(const char* p, long* val) { return parse_integer<long>(p, val, LONG_MAX); }
char* longprs(char* p, long* val) {
  return const_cast<char*>(longprs(static_cast<const char*>(p), val));
}

namespace {

// The float literal at p, finite or not; the position past it or null.
// Accumulated in T, so a double keeps every whole number up to 2^53.
template <typename T>
const char* number_literal(const char* p, T* val) {
  bool dflg = false, pflg = false, eflg = false, edig = false;
  bool mneg = false, mpos = false, eneg = false, epos = false;
  T v = 0;
  double step = 0.1, ex = 0.0;
  bool fail = false;
  for (;; ++p) {
    char c = *p;
    if (is_digit(c)) {
      dflg = true;
      int d = c - '0';
      if (eflg) {
        ex = ex * 10.0 + d;
        edig = true;
      } else if (pflg) {
        v = static_cast<T>(v + d * step);
        step /= 10.0;
      } else {
        v = static_cast<T>(v * 10.0 + d);
      }
    } else if (c == '-' || c == '+') {
      bool minus = (c == '-');
      if (!eflg || edig) {
        if (dflg) break;
        bool& seen = minus ? mneg : mpos;
        if (seen) {
          fail = true;
          break;
        }
        seen = true;
      } else {
        bool& seen = minus ? eneg : epos;
        if (seen) {
          fail = true;
          break;
        }
        seen = true;
      }
    } else if (c == '.') {
      if (pflg || eflg) break;
      pflg = true;
    } else if (c == 'e') {
      if (eflg) {
        if (!edig) fail = true;
        break;
      }
      if (!dflg) {
        fail = true;
        break;
      }
      eflg = true;
    } else {
      break;
    }
  }
  if (fail || !dflg) return nullptr;
  if (mneg) v = -v;
  if (eflg && edig) {
    if (eneg) ex = -ex;
    v = static_cast<T>(v * std::pow(10.0, ex));
  }
  *val = v;
  return p;
}

const char* float_literal(const char* p, float* val) { return number_literal(p, val); }

}  // namespace

const char* valprs(const char* p, float* val) {
  float v;
  const char* q = float_literal(p, &v);
  // Beyond the float range (1e39, 0e400) no setting, coordinate or grid
  // could use the value.
  if (!q || !std::isfinite(v)) return nullptr;
  *val = v;
  return q;
}

const char* dblprs(const char* p, double* val) {
  double v;
  const char* q = number_literal(p, &v);
  if (!q || !std::isfinite(v)) return nullptr;
  *val = v;
  return q;
}

bool beyond_float_range(const char* p) {
  float v;
  return float_literal(p, &v) && !std::isfinite(v);
}

char* valprs(char* p, float* val) {
  return const_cast<char*>(valprs(static_cast<const char*>(p), val));
}

void lowcas(char* p) {
  bool quoted = false;
  for (; !is_end(*p); ++p) {
    if (*p == '"')
      quoted = !quoted;
    else if (!quoted && *p >= 'A' && *p <= 'Z')
      *p = static_cast<char>(*p + ('a' - 'A'));
  }
}

void uppcas(char* p) {
  for (; !is_end(*p); ++p)
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - ('a' - 'A'));
}

int karemb(char* p) {
  bool quoted = false;
  char* out = p;
  for (const char* in = p; !is_end(*in); ++in) {
    if (*in == '"') {
      quoted = !quoted;
      continue;
    }
    if (*in == ' ' && !quoted) continue;
    *out++ = *in;
  }
  *out = '\0';
  return static_cast<int>(out - p);
}

int cmpch(const char* a, const char* b, int n) {
  for (int i = n - 1; i >= 0; --i)
    if (a[i] != b[i]) return 1;
  return 0;
}

int kaedit(float value, char* out, int decimals) {
  float v = static_cast<float>(value * std::pow(10.0, decimals));
  // Too many decimals for a float: keep as many as fit.
  while (!std::isfinite(v) && decimals > 0) {
    --decimals;
    v = static_cast<float>(value * std::pow(10.0, decimals));
  }
  if (!std::isfinite(v)) {
    std::strcpy(out, std::isnan(v) ? "nan" : (v < 0 ? "-inf" : "inf"));
    return static_cast<int>(std::strlen(out));
  }
  bool neg = v < 0;
  if (neg) v = -v;
  char digits[64];
  std::snprintf(digits, sizeof digits, "%.0f", std::floor(static_cast<double>(v) + 0.5));
  if (std::strcmp(digits, "0") == 0) {
    std::strcpy(out, "0");
    return 1;
  }
  // Built from the right, as the digits come.
  std::string rev;
  int left = decimals;
  for (size_t i = std::strlen(digits); i-- > 0;) {
    rev.push_back(digits[i]);
    --left;
    if (left == 0) rev.push_back('.');
  }
  if (left > 0) {
    rev.append(static_cast<size_t>(left), '0');
    rev.push_back('.');
  }
  if (rev.back() == '.') rev.push_back('0');
  if (neg) rev.push_back('-');
  std::string text(rev.rbegin(), rev.rend());
  std::memcpy(out, text.c_str(), text.size() + 1);
  return static_cast<int>(text.size());
}

int gxdeci(float value) {
  double f = std::fabs(static_cast<double>(value));
  f -= std::floor(f);
  int count = 0;
  while (count < 4 && f > 0.01) {
    f *= 10.0;
    f -= std::floor(f);
    ++count;
  }
  return count;
}

namespace {

// Length of the well-formed UTF-8 character of more than one byte that
// begins at s[i], else 0.
size_t utf8_length(std::string_view s, size_t i) {
  const auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = at(i);
  size_t n = 0;
  unsigned char lo = 0x80, hi = 0xbf;  // range of the second byte
  if (c >= 0xc2 && c <= 0xdf) {
    n = 2;
    if (c == 0xc2) lo = 0xa0;  // U+0080 to U+009F are control characters
  } else if (c >= 0xe0 && c <= 0xef) {
    n = 3;
    if (c == 0xe0) lo = 0xa0;  // no overlong forms
    if (c == 0xed) hi = 0x9f;  // no surrogates
  } else if (c >= 0xf0 && c <= 0xf4) {
    n = 4;
    if (c == 0xf0) lo = 0x90;
    if (c == 0xf4) hi = 0x8f;  // nothing past U+10FFFF
  }
  if (n == 0 || i + n > s.size() || at(i + 1) < lo || at(i + 1) > hi) return 0;
  for (size_t k = 2; k < n; k++)
    if (at(i + k) < 0x80 || at(i + k) > 0xbf) return 0;
  return n;
}

}  // namespace

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\t' || (c >= 0x20 && c < 0x7f)) {
      out += text[i++];
      continue;
    }
    if (const size_t n = utf8_length(text, i)) {
      out.append(text.substr(i, n));
      i += n;
      continue;
    }
    static const char kHex[] = "0123456789abcdef";
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
    i++;
  }
  return out;
}

// Function calls in script expressions: argument reading, the built-in
// string, file, switch and mathematical functions, and the script's own
// functions with function files loaded on demand.
#include <cerrno>
#include <cmath>
#include <cstring>

#include "script/gsint.h"

namespace {

using arg_list = std::vector<std::string>;

void say(const char* text) { fputs(text, gs_out()); }

// An argument that must be an integer greater than 0.
bool positive_int(const std::string& s, long& v) {
  double d;
  return gsnum(s, &v, &d) == 1 && v > 0;
}

// ---- string built-ins --------------------------------------------------------

int gsfsub(script_run* run, const arg_list& a) {
  long start, len;
  if (a.size() < 1) return say("Error in substr:  1st argument missing\n"), 1;
  if (a.size() < 2) return say("Error in substr:  2nd argument missing\n"), 1;
  if (!positive_int(a[1], start)) return say("Error in substr:  2nd argument invalid.\n"), 1;
  if (a.size() < 3) return say("Error in substr:  3rd argument missing\n"), 1;
  if (!positive_int(a[2], len)) return say("Error in substr:  3rd argument invalid.\n"), 1;
  size_t s = static_cast<size_t>(start - 1);
  run->retstr = s < a[0].size() ? a[0].substr(s, static_cast<size_t>(len)) : std::string();
  return 0;
}

bool word_sep(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Start and end of the n-th word, or false when there are fewer words.
bool find_word(const std::string& s, long n, size_t& b, size_t& e) {
  size_t i = 0;
  for (long w = 1;; w++) {
    while (i < s.size() && word_sep(s[i])) i++;
    if (i >= s.size()) return false;
    b = i;
    while (i < s.size() && !word_sep(s[i])) i++;
    e = i;
    if (w == n) return true;
  }
}

int gsfwrd(script_run* run, const arg_list& a) {
  long n;
  if (a.size() < 1) return say("Error in subwrd:  1st argument missing\n"), 1;
  if (a.size() < 2) return say("Error in subwrd:  2nd argument missing\n"), 1;
  if (!positive_int(a[1], n)) return say("Error in subwrd:  2nd argument invalid.\n"), 1;
  size_t b, e;
  run->retstr = find_word(a[0], n, b, e) ? a[0].substr(b, e - b) : std::string();
  return 0;
}

int gsfpwd(script_run* run, const arg_list& a) {
  long n;
  if (a.size() < 1) return say("Error in wrdpos:  1st argument missing\n"), 1;
  if (a.size() < 2) return say("Error in wrdpos:  2nd argument missing\n"), 1;
  if (!positive_int(a[1], n)) return say("Error in wrdpos:  2nd argument invalid.\n"), 1;
  size_t b, e;
  run->retstr = find_word(a[0], n, b, e) ? std::to_string(b + 1) : std::string("0");
  return 0;
}

int gsflin(script_run* run, const arg_list& a) {
  long n;
  if (a.size() < 1) return say("Error in sublin:  1st argument missing\n"), 1;
  if (a.size() < 2) return say("Error in sublin:  2nd argument missing\n"), 1;
  if (!positive_int(a[1], n)) return say("Error in sublin:  2nd argument invalid.\n"), 1;
  const std::string& s = a[0];
  size_t b = 0;
  for (long k = 1; k < n; k++) {
    size_t nl = s.find('\n', b);
    if (nl == std::string::npos) {
      b = s.size() + 1;
      break;
    }
    b = nl + 1;
  }
  if (b >= s.size()) {
    run->retstr = std::string();
  } else {
    size_t nl = s.find('\n', b);
    run->retstr = s.substr(b, nl == std::string::npos ? std::string::npos : nl - b);
  }
  return 0;
}

int gsfval(script_run* run, const arg_list& a) {
  if (a.empty()) return say("Error in valnum:  Argument missing\n"), 1;
  long iv;
  double dv;
  run->retstr = std::to_string(gsnum(a[0], &iv, &dv));
  return 0;
}

// ---- file built-ins ----------------------------------------------------------

// A file built-in's error: the message and the file's name are printed and
// the code is the function's value.
int file_error(script_run* run, const char* msg, const std::string& name, const char* code) {
  say(msg);
  fprintf(gs_out(), "  File name = %s\n", name.c_str());
  run->retstr = code;
  return 0;
}

// The line under a failed write's file name: the system's reason.
int system_reason(int err) {
  fprintf(gs_out(), "  %s\n", std::strerror(err ? err : EIO));
  return 0;
}

// A wait on a pipe ended by the user: the built-in fails, which ends the
// script.
int interrupted(const char* fn, const std::string& name) {
  fprintf(gs_out(), "Error in %s:  interrupted\n", fn);
  fprintf(gs_out(), "  File name = %s\n", name.c_str());
  return 1;
}

script_open_file* find_open(script_run* run, const std::string& name) {
  for (auto& f : run->open_files) {
    if (f.name == name) return &f;
  }
  return nullptr;
}

int gsfrd(script_run* run, const arg_list& a) {
  if (a.empty()) return say("Error in read:  File name missing\n"), 1;
  if (a[0].empty()) return say("Error in read:  NULL File Name\n"), 1;
  script_open_file* of = find_open(run, a[0]);
  if (of && of->mode != 1)
    return file_error(run, "Error in read:  attempt to read a file open for write\n", a[0], "8\n");
  if (!of) {
    script_open_file opened;
    opened.name = a[0];
    const gs_io st = gs_open_read(a[0], opened);
    if (st == gs_io::interrupted) return interrupted("read", a[0]);
    if (st != gs_io::done) {
      run->retstr = "1\n";
      return 0;
    }
    run->open_files.push_back(opened);
    of = &run->open_files.back();
  }
  // One line, at most 596 characters; a longer line goes on at the next read.
  std::string line;
  const gs_io st = gs_read_record(*of, line, 596);
  if (st == gs_io::interrupted) return interrupted("read", a[0]);
  if (st == gs_io::failed) {
    run->retstr = "9\n";
  } else if (!line.empty()) {
    run->retstr = "0\n" + line;
  } else {
    run->retstr = "2\n";
  }
  return 0;
}

int gsfwt(script_run* run, const arg_list& a) {
  if (a.empty()) return say("Error in write:  File name missing\n"), 1;
  if (a[0].empty()) return say("Error in write:  NULL File Name\n"), 1;
  if (a.size() < 2) return say("Error in write:  Output Record arg is missing\n"), 1;
  script_open_file* of = find_open(run, a[0]);
  if (of && of->mode != 2)
    return file_error(run, "Error in write: attempt to write a file open for read\n", a[0], "8");
  if (!of) {
    script_open_file opened;
    opened.name = a[0];
    const gs_io st = gs_open_write(a[0], a.size() > 2, opened);
    if (st == gs_io::interrupted) return interrupted("write", a[0]);
    if (st != gs_io::done) {
      run->retstr = "1";
      return 0;
    }
    run->open_files.push_back(opened);
    of = &run->open_files.back();
  }
  const gs_io st = gs_write_record(*of, a[1]);
  if (st == gs_io::interrupted) return interrupted("write", a[0]);
  if (st != gs_io::done) {
    const int why = errno;
    file_error(run, "Error in write:  write failed\n", a[0], "9");
    return system_reason(why);
  }
  run->retstr = "0";
  return 0;
}

int gsfcl(script_run* run, const arg_list& a) {
  if (a.empty()) return say("Error in close:  File name missing\n"), 1;
  if (a[0].empty()) return say("Error in close:  NULL File Name\n"), 1;
  for (size_t k = 0; k < run->open_files.size(); k++) {
    if (run->open_files[k].name != a[0]) continue;
    // A delayed write failure shows only here; it must not pass as done.
    int bad = fclose(run->open_files[k].stream) != 0;
    const int why = errno;
    run->open_files.erase(run->open_files.begin() + static_cast<long>(k));
    if (bad) {
      file_error(run, "Error in close:  write failed\n", a[0], "9");
      return system_reason(why);
    }
    run->retstr = "0";
    return 0;
  }
  return file_error(run, "Error in close:  file not open\n", a[0], "1");
}

// ---- function-file switches ----------------------------------------------------

int gsfallw(script_run* run, const arg_list& a) {
  if (a.empty()) return say("Error in gsfallow:  Argument missing\n"), 1;
  const std::string& w = a[0];
  if (w == "on" || w == "On" || w == "ON") {
    run->gsfallow = 1;
    run->retstr = "1";
  } else if (w == "off" || w == "Off" || w == "OFF") {
    run->gsfallow = 0;
    run->retstr = "0";
  } else {
    run->retstr = "999";
  }
  return 0;
}

int gsfpath(script_run* run, const arg_list& a) {
  if (a.empty()) return say("Error in gsfpath:  Argument missing\n"), 1;
  run->fpath = a[0];
  run->fpath_set = true;
  run->retstr = "1";
  return 0;
}

// ---- mathematics ----------------------------------------------------------------

enum math_fn {
  M_LOG,
  M_LOG10,
  M_COS,
  M_SIN,
  M_TAN,
  M_ATAN,
  M_ATAN2,
  M_SQRT,
  M_ABS,
  M_ACOSH,
  M_ASINH,
  M_ATANH,
  M_COSH,
  M_SINH,
  M_EXP,
  M_FMOD,
  M_POW,
  M_TANH,
  M_ACOS,
  M_ASIN,
  M_FORMAT,
  M_NINT,
  M_INT,
  M_MOD,
  M_STRLEN
};

struct math_name {
  const char* name;
  const char* shortname;
  math_fn fn;
};

const math_name math_names[] = {
    {"math_log", "log", M_LOG},          {"math_log10", "log10", M_LOG10},
    {"math_cos", "cos", M_COS},          {"math_sin", "sin", M_SIN},
    {"math_tan", "tan", M_TAN},          {"math_atan", "atan", M_ATAN},
    {"math_atan2", "atan2", M_ATAN2},    {"math_sqrt", "sqrt", M_SQRT},
    {"math_abs", "abs", M_ABS},          {"math_acosh", "acosh", M_ACOSH},
    {"math_asinh", "asinh", M_ASINH},    {"math_atanh", "atanh", M_ATANH},
    {"math_cosh", "cosh", M_COSH},       {"math_sinh", "sinh", M_SINH},
    {"math_exp", "exp", M_EXP},          {"math_fmod", "fmod", M_FMOD},
    {"math_pow", "pow", M_POW},          {"math_tanh", "tanh", M_TANH},
    {"math_acos", "acos", M_ACOS},       {"math_asin", "asin", M_ASIN},
    {"math_format", "format", M_FORMAT}, {"math_nint", "nint", M_NINT},
    {"math_int", "int", M_INT},          {"math_mod", "mod", M_MOD},
    {"math_strlen", "strlen", M_STRLEN},
};

const size_t GS_MATH_MAX = 31;  // longest written result

}  // namespace

// Checks a user's number format: exactly one floating conversion with
// optional flags, width and precision; "%%" may stand anywhere.
bool gs_check_format(const std::string& f) {
  // The format goes to the C library as a C string: a NUL would cut it.
  if (f.find('\0') != std::string::npos) return false;
  int conversions = 0;
  for (size_t i = 0; i < f.size(); i++) {
    if (f[i] != '%') continue;
    i++;
    if (i < f.size() && f[i] == '%') continue;
    while (i < f.size() && strchr("-+ #0", f[i])) i++;
    size_t digits = 0;
    while (i < f.size() && gs_digit(f[i])) i++, digits++;
    if (digits > 2) return false;
    if (i < f.size() && f[i] == '.') {
      i++;
      digits = 0;
      while (i < f.size() && gs_digit(f[i])) i++, digits++;
      if (digits > 2) return false;
    }
    if (i < f.size() && f[i] == 'l') i++;
    if (i >= f.size() || !strchr("eEfFgGaA", f[i])) return false;
    conversions++;
  }
  return conversions == 1;
}

namespace {

int gsfmath(script_run* run, const math_name& m, const arg_list& a) {
  FILE* o = gs_out();
  const char* sn = m.shortname;
  if (a.empty()) {
    fprintf(o, "Error in math_%s:  Argument missing\n", sn);
    return 1;
  }
  long iv;
  double x = 0, y = 0;
  if (m.fn != M_FORMAT && m.fn != M_STRLEN && gsnum(a[0], &iv, &x) == 0) {
    fprintf(o, "Error in math_%s:  Argument not a valid numeric\n", sn);
    return 1;
  }
  if (m.fn == M_FORMAT && a[0].size() > 14) {
    fprintf(o, "Error in math_%s:  argument: %s  too long < 15\n", sn, a[0].c_str());
    return 1;
  }
  if ((m.fn == M_LOG || m.fn == M_LOG10) && x <= 0) {
    fprintf(o, "Error in math_%s:  Argument less than or equal to zero\n", sn);
    return 1;
  }
  if (m.fn == M_FMOD || m.fn == M_POW || m.fn == M_ATAN2 || m.fn == M_MOD || m.fn == M_FORMAT) {
    if (a.size() < 2) {
      fprintf(o, "Error in %s:  2rd argument missing\n", sn);
      return 1;
    }
    if (gsnum(a[1], &iv, &y) == 0) {
      fprintf(o, "Error in %s:  2rd argument invalid.\n", sn);
      return 1;
    }
  }
  double r = 0;
  switch (m.fn) {
    case M_LOG: r = std::log(x); break;
    case M_LOG10: r = std::log10(x); break;
    case M_COS: r = std::cos(x); break;
    case M_SIN: r = std::sin(x); break;
    case M_TAN: r = std::tan(x); break;
    case M_ATAN: r = std::atan(x); break;
    case M_ATAN2: r = std::atan2(x, y); break;
    case M_SQRT: r = std::sqrt(x); break;
    case M_ABS: r = std::fabs(x); break;
    case M_ACOSH: r = std::acosh(x); break;
    case M_ASINH: r = std::asinh(x); break;
    case M_ATANH: r = std::atanh(x); break;
    case M_COSH: r = std::cosh(x); break;
    case M_SINH: r = std::sinh(x); break;
    case M_EXP: r = std::exp(x); break;
    case M_FMOD: r = std::fmod(x, y); break;
    case M_POW: r = std::pow(x, y); break;
    case M_TANH: r = std::tanh(x); break;
    case M_ACOS: r = std::acos(x); break;
    case M_ASIN: r = std::asin(x); break;
    case M_NINT: r = std::floor(x + 0.5); break;
    case M_INT: r = std::floor(x); break;
    case M_MOD: r = std::floor(std::fmod(x, y)); break;
    case M_STRLEN: run->retstr = std::to_string(a[0].size()); return 0;
    case M_FORMAT: {
      if (!gs_check_format(a[0])) {
        fprintf(o, "Error in math_%s:  invalid format: %s\n", sn, a[0].c_str());
        fprintf(o, "  Use one floating conversion such as %%8.3f\n");
        return 1;
      }
      char buf[GS_MATH_MAX + 1];
      // The format was checked above: one double conversion and literal text.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
      int n = snprintf(buf, sizeof buf, a[0].c_str(), y);
#pragma GCC diagnostic pop
      if (n < 0 || static_cast<size_t>(n) > GS_MATH_MAX) {
        fprintf(o, "Error in math_%s:  result longer than %zu characters\n", sn, GS_MATH_MAX);
        return 1;
      }
      run->retstr = std::string(buf, static_cast<size_t>(n));
      return 0;
    }
  }
  run->retstr = gs_fmt_double(r);
  return 0;
}

// Finds and runs a script function; false on failure (reported).
bool gs_script_function(script_run* run, const std::string& name16) {
  auto find = [&]() -> int {
    for (const auto& f : run->funcs) {
      if (f.name == name16) return f.first;
    }
    return -1;
  };
  int start = find();
  if (start < 0 && run->gsfallow) {
    arg_list keep = std::move(run->args);
    run->args.clear();
    int r = gsgsfrd(run, 1, name16);
    run->args = std::move(keep);
    if (r == 0) {
      start = find();
      if (start < 0) {
        fprintf(gs_out(), "Loaded function file %s\n", run->files[run->current].name.c_str());
        say("  But... ");
      }
    } else if (r != 9) {
      fprintf(gs_out(), "Error while loading function: %s\n", name16.c_str());
      run->args.clear();
      return false;
    }
  }
  if (start < 0) {
    fprintf(gs_out(), "Function not found: %s\n", name16.c_str());
    run->args.clear();
    return false;
  }
  return gsrunf(start, run) == GSR_GO;
}

}  // namespace

namespace {

const char* gs_call(const char* p, const std::string& name16, script_run* run) {
  p++;
  arg_list args;
  while (*p != ')') {
    const char* s = p;
    int depth = 0;
    char quote = 0;
    for (;;) {
      char c = *p;
      if (!c) {
        say("Unmatched parens on function call\n");
        return nullptr;
      }
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '\'' || c == '"') {
        quote = c;
      } else if (c == '(') {
        depth++;
      } else if (c == ')') {
        if (depth == 0) break;
        depth--;
      } else if (c == ',' && depth == 0) {
        break;
      }
      p++;
    }
    std::string text(s, p);
    auto v = gsexpr(text.c_str(), run);
    if (!v) {
      say("Error occurred processing function arguments\n");
      return nullptr;
    }
    args.push_back(std::move(*v));
    if (*p == ',') p++;
  }
  p++;

  run->retstr.reset();
  const char* n = name16.c_str();
  using builtin = int (*)(script_run*, const arg_list&);
  static const struct {
    const char* name;
    builtin fn;
  } builtins[] = {
      {"substr", gsfsub},    {"subwrd", gsfwrd},   {"sublin", gsflin}, {"wrdpos", gsfpwd},
      {"valnum", gsfval},    {"read", gsfrd},      {"write", gsfwt},   {"close", gsfcl},
      {"gsfallow", gsfallw}, {"gsfpath", gsfpath},
  };
  for (const auto& b : builtins) {
    if (gs_cmpwrd(n, b.name)) return b.fn(run, args) ? nullptr : p;
  }
  for (const auto& m : math_names) {
    if (gs_cmpwrd(n, m.name)) return gsfmath(run, m, args) ? nullptr : p;
  }
  run->args = std::move(args);
  return gs_script_function(run, name16) ? p : nullptr;
}

}  // namespace

const char* gsfunc(const char* p, const std::string& name16, script_run* run) {
  if (!gs_call_allowed()) return nullptr;
  gs_nesting_scope in_call(gs_nesting().calls);
  return gs_call(p, name16, run);
}

// Script expressions: every value is a string; numbers are strings that read
// as numbers. The parser builds a chain of operands, operators and
// parentheses and reduces the innermost group at each closing parenthesis.
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "base/nesting.h"
#include "script/gsint.h"

namespace {

enum { IT_OPERAND = 0, IT_OPERATOR = 1, IT_LPAREN = 2, IT_RPAREN = 3 };

// An operand's text is value, or a local variable's text (head) followed by
// value: appending to such an operand leaves the variable's text uncopied.
struct expression_item {
  int kind;
  int op = 0;
  std::string value;
  const std::string* head = nullptr;
};

// The operand's whole text, made in place.
std::string& text_of(expression_item& it) {
  if (it.head) it.value = gs_value{it.head, std::move(it.value)}.take();
  it.head = nullptr;
  return it.value;
}

size_t length_of(const expression_item& it) {
  return (it.head ? it.head->size() : 0) + it.value.size();
}

expression_item mk(int kind, int op = 0, std::string value = std::string()) {
  return expression_item{kind, op, std::move(value)};
}

enum {
  OP_OR = 1,
  OP_AND,
  OP_EQ,
  OP_NE,
  OP_GT,
  OP_GE,
  OP_LT,
  OP_LE,
  OP_CAT,
  OP_ADD,
  OP_SUB,
  OP_MUL,
  OP_DIV,
  OP_NOT,
  OP_NEG
};

struct op_spelling {
  const char* text;
  int code;
};

// Two-character spellings first, so that ">=" is never read as ">".
const op_spelling opchars[] = {
    {"!=", OP_NE}, {">=", OP_GE}, {"<=", OP_LE}, {"|", OP_OR},  {"&", OP_AND},
    {"=", OP_EQ},  {">", OP_GT},  {"<", OP_LT},  {"%", OP_CAT}, {"+", OP_ADD},
    {"-", OP_SUB}, {"*", OP_MUL}, {"/", OP_DIV},
};

// Precedence levels as ranges of codes, applied first to last.
const int opmins[] = {14, 12, 10, 9, 3, 2, 1};
const int opmaxs[] = {15, 13, 11, 9, 8, 2, 1};

bool is_comparison(int op) { return op >= OP_EQ && op <= OP_LE; }
bool is_arith(int op) { return (op >= OP_ADD && op <= OP_DIV) || op == OP_NEG; }

void say(const char* text) { fputs(text, gs_out()); }

std::optional<std::string> binary(int op, const std::string& a, const std::string& b) {
  switch (op) {
    case OP_OR: return std::string(a == "0" && b == "0" ? "0" : "1");
    case OP_AND: return std::string(a == "0" || b == "0" ? "0" : "1");
    case OP_CAT: return a + b;
    default: break;
  }
  long ia = 0, ib = 0;
  double da = 0, db = 0;
  int ta = gsnum(a, &ia, &da);
  int tb = gsnum(b, &ib, &db);
  int mode = (ta == 1 && tb == 1) ? 1 : (ta && tb) ? 2 : 0;
  if (is_comparison(op)) {
    int cmp;
    if (mode == 1) {
      cmp = ia < ib ? -1 : ia > ib ? 1 : 0;
    } else if (mode == 2) {
      cmp = da < db ? -1 : da > db ? 1 : 0;
    } else {
      // Byte by byte as signed characters; the shorter string is the lesser.
      size_t k = 0;
      cmp = 0;
      while (k < a.size() && k < b.size()) {
        signed char ca = static_cast<signed char>(a[k]);
        signed char cb = static_cast<signed char>(b[k]);
        if (ca != cb) {
          cmp = ca < cb ? -1 : 1;
          break;
        }
        k++;
      }
      if (cmp == 0 && a.size() != b.size()) cmp = a.size() < b.size() ? -1 : 1;
    }
    bool r = false;
    switch (op) {
      case OP_EQ: r = cmp == 0; break;
      case OP_NE: r = cmp != 0; break;
      case OP_GT: r = cmp > 0; break;
      case OP_GE: r = cmp >= 0; break;
      case OP_LT: r = cmp < 0; break;
      case OP_LE: r = cmp <= 0; break;
    }
    return std::string(r ? "1" : "0");
  }
  if (is_arith(op)) {
    if (mode == 0) {
      say("Non-numeric args to numeric operation\n");
      return std::nullopt;
    }
    double r = 0;
    switch (op) {
      case OP_ADD: r = da + db; break;
      case OP_SUB: r = da - db; break;
      case OP_MUL: r = da * db; break;
      case OP_DIV:
        if (db == 0) {
          say("Divide by zero\n");
          return std::nullopt;
        }
        r = da / db;
        break;
    }
    return gs_fmt_double(r);
  }
  say("Logic error 12 in gsoper\n");
  return std::nullopt;
}

std::optional<std::string> unary(int op, const std::string& a) {
  if (op == OP_NOT) return std::string(a == "0" || a.empty() ? "1" : "0");
  if (op != OP_NEG) {
    say("Logic error 12 in gsoper\n");
    return std::nullopt;
  }
  long ia = 0;
  double da = 0;
  int t = gsnum(a, &ia, &da);
  if (t == 0) {
    say("Non-numeric args to numeric operation\n");
    return std::nullopt;
  }
  if (t == 1) return std::to_string(-ia);
  return gs_fmt_double(-da);
}

// Reduces the innermost group: the chain ends with a right parenthesis.
bool gseval(std::vector<expression_item>& ch) {
  int r = static_cast<int>(ch.size()) - 1;
  int l = r - 1;
  while (l >= 0 && ch[l].kind != IT_LPAREN) l--;
  if (l < 0) {
    say("Unmatched parens\n");
    return false;
  }
  // Each level is one pass that packs the items left behind towards the
  // group's start, so a long chain costs time in proportion to its length.
  for (int lev = 0; lev < 7; lev++) {
    size_t w = static_cast<size_t>(l) + 1;
    size_t k = w;
    bool stuck = false;
    while (ch[k].kind != IT_RPAREN) {
      expression_item& it = ch[k];
      bool here = !stuck && it.kind == IT_OPERATOR && it.op >= opmins[lev] && it.op <= opmaxs[lev];
      if (here && it.op >= OP_NOT) {
        if (ch[k + 1].kind != IT_OPERAND) {
          stuck = true;
        } else {
          auto v = unary(it.op, text_of(ch[k + 1]));
          if (!v) return false;
          ch[w++] = mk(IT_OPERAND, 0, std::move(*v));
          k += 2;
          continue;
        }
      } else if (here) {
        if (ch[w - 1].kind != IT_OPERAND || ch[k + 1].kind != IT_OPERAND) {
          stuck = true;
        } else if (it.op == OP_CAT) {
          if (length_of(ch[w - 1]) + length_of(ch[k + 1]) > GS_STRING_MAX) {
            say(("String too long: more than " + std::to_string(GS_STRING_MAX) + " characters\n")
                    .c_str());
            return false;
          }
          ch[w - 1].value += text_of(ch[k + 1]);
          k += 2;
          continue;
        } else {
          auto v = binary(it.op, text_of(ch[w - 1]), text_of(ch[k + 1]));
          if (!v) return false;
          ch[w - 1].value = std::move(*v);
          k += 2;
          continue;
        }
      }
      if (w != k) ch[w] = std::move(ch[k]);
      w++;
      k++;
    }
    if (w != k) ch[w] = std::move(ch[k]);
    ch.resize(w + 1);
  }
  if (ch.size() != static_cast<size_t>(l) + 3 || ch[l + 1].kind != IT_OPERAND) {
    say("Logic error 8 in gseval \n");
    return false;
  }
  expression_item res = std::move(ch[l + 1]);
  ch.resize(l);
  ch.push_back(std::move(res));
  return true;
}

// A constant: digits with one '.' and an optional exponent, kept as written,
// or a quoted string in which a doubled quote stands for one.
bool gscnst(const char*& p, std::string& out) {
  out.clear();
  if (gs_digit(*p)) {
    const char* s = p;
    bool dot = false;
    while (gs_digit(*p) || (*p == '.' && !dot)) {
      if (*p == '.') dot = true;
      p++;
    }
    if (*p == 'e' || *p == 'E') {
      const char* q = p + 1;
      if (*q == '+' || *q == '-') q++;
      if (gs_digit(*q)) {
        while (gs_digit(*q)) q++;
        p = q;
      }
    }
    out.assign(s, p);
    return true;
  }
  char quote = *p++;
  for (;;) {
    if (!*p) {
      say("Non-terminated constant\n");
      return false;
    }
    if (*p == quote) {
      if (p[1] == quote) {
        out += quote;
        p += 2;
        continue;
      }
      p++;
      return true;
    }
    out += *p++;
  }
}

// A variable or a function call.
bool gsgopd(const char*& p, script_run* run, expression_item& out) {
  std::string name;
  while (gs_alpha(*p) || gs_digit(*p) || *p == '.' || *p == '_') {
    if (name.size() >= static_cast<size_t>(GS_NAMELEN)) {
      fprintf(gs_out(), "Variable name too long - 1st 16 chars are: %s\n", name.c_str());
      return false;
    }
    name += *p++;
  }
  std::string name16 = gs_pad(name);
  while (gs_blank(*p)) p++;
  if (*p != '(') {
    auto v = gsfvar_value(name16, run);
    if (!v) return false;
    out.head = v->head;
    out.value = std::move(v->tail);
    return true;
  }
  if (name.find('.') != std::string::npos) {
    fprintf(gs_out(), "Invalid function name: %s\n", name16.c_str());
    return false;
  }
  const char* q = gsfunc(p, name16, run);
  if (!q) return false;
  p = q;
  out.value = run->retstr ? std::move(*run->retstr) : std::string();
  run->retstr.reset();
  return true;
}

}  // namespace

std::string gs_fmt_double(double v) {
  char buf[64];
  snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

int gsnum(const std::string& s, long* ival, double* dval) {
  size_t n = s.size();
  size_t i = 0;
  if (i < n && (s[i] == '+' || s[i] == '-')) i++;
  int digits = 0;
  bool dot = false;
  for (; i < n; i++) {
    if (gs_digit(s[i])) {
      digits++;
    } else if (s[i] == '.' && !dot) {
      dot = true;
    } else {
      break;
    }
  }
  if (digits == 0) return 0;
  bool exp = false;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    exp = true;
    i++;
    if (i < n && (s[i] == '+' || s[i] == '-')) i++;
    int ed = 0;
    while (i < n && gs_digit(s[i])) {
      i++;
      ed++;
    }
    if (ed == 0) return 0;
  }
  if (i != n) return 0;
  if (!dot && !exp && n <= 9) {
    *ival = atol(s.c_str());
    *dval = static_cast<double>(*ival);
    return 1;
  }
  *dval = strtod(s.c_str(), nullptr);
  *ival = 0;
  return 2;
}

namespace {

std::optional<gs_value> gsexpr_chain(const char* text, script_run* run) {
  std::vector<expression_item> ch;
  ch.push_back(mk(IT_LPAREN));
  bool want_operand = true;
  bool last_unary = false;
  open_levels levels;
  const char* p = text;
  for (;;) {
    while (gs_blank(*p)) p++;
    char c = *p;
    if (!c) {
      if (want_operand) {
        say("Syntax Error\n");
        return std::nullopt;
      }
      ch.push_back(mk(IT_RPAREN));
      if (!gseval(ch)) return std::nullopt;
      if (ch.size() != 1 || ch[0].kind != IT_OPERAND) {
        say("Unmatched parens\n");
        return std::nullopt;
      }
      return gs_value{ch[0].head, std::move(ch[0].value)};
    }
    if (want_operand) {
      // Every open level stays in the chain until its group is reduced.
      if ((c == '(' || c == '-' || c == '!') && levels.size() >= GS_EXPR_NEST_MAX) {
        fprintf(gs_out(), "Error:  Expression nested too deeply (%zu levels)\n", levels.size());
        return std::nullopt;
      }
      if (c == '(') {
        levels.open_group();
        ch.push_back(mk(IT_LPAREN));
        last_unary = false;
        p++;
        continue;
      }
      if (c == '-' || c == '!') {
        if (last_unary) {
          say("Syntax Error\n");
          return std::nullopt;
        }
        ch.push_back(mk(IT_OPERATOR, c == '-' ? OP_NEG : OP_NOT));
        levels.open_prefix();
        last_unary = true;
        p++;
        continue;
      }
      expression_item v = mk(IT_OPERAND);
      if (gs_digit(c) || c == '\'' || c == '"') {
        if (!gscnst(p, v.value)) return std::nullopt;
      } else if (gs_alpha(c) || c == '_') {
        if (!gsgopd(p, run, v)) return std::nullopt;
      } else {
        say("Syntax Error\n");
        return std::nullopt;
      }
      ch.push_back(std::move(v));
      levels.operand_done();
      want_operand = false;
      last_unary = false;
      continue;
    }
    if (c == ')') {
      levels.close_group();
      ch.push_back(mk(IT_RPAREN));
      p++;
      if (!gseval(ch)) return std::nullopt;
      continue;
    }
    if (c == '\'' || c == '"' || gs_digit(c) || gs_alpha(c) || c == '_') {
      ch.push_back(mk(IT_OPERATOR, OP_CAT));
      want_operand = true;
      continue;
    }
    int code = 0;
    for (const auto& o : opchars) {
      if (o.text[0] == c && (o.text[1] == '\0' || o.text[1] == p[1])) {
        code = o.code;
        p += strlen(o.text);
        break;
      }
    }
    if (!code) {
      say("Syntax Error\n");
      return std::nullopt;
    }
    ch.push_back(mk(IT_OPERATOR, code));
    want_operand = true;
  }
}

}  // namespace

std::optional<gs_value> gsexpr_value(const char* text, script_run* run) {
  // Values have no size limit, so a script that keeps doubling a string runs
  // out of memory here; that fails the expression, not the program.
  try {
    return gsexpr_chain(text, run);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  say("Memory allocation error\n");
  return std::nullopt;
}

std::optional<std::string> gsexpr(const char* text, script_run* run) {
  auto v = gsexpr_value(text, run);
  if (!v) return std::nullopt;
  try {
    return std::move(*v).take();
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  say("Memory allocation error\n");
  return std::nullopt;
}

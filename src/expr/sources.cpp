#include "expr/sources.h"

#include <cstring>

#include "base/words.h"
#include "expr/eval.h"
#include "expr/func.h"
#include "expr/udf.h"
#include "expr/varop.h"

namespace {

struct source_scan {
  const eval_state* pst;
  expression_sources found;

  void take(const file_descriptor* f) {
    if (!found.one)
      found.one = f;
    else if (found.one != f)
      found.several = true;
  }

  // The text from p to end, as the evaluator scans it: operands, operators
  // and parentheses. False where it would fail.
  bool scan(const char* p, const char* end, int depth) {
    if (depth > kExprNestMax) return false;
    while (p < end) {
      const char c = *p;
      if (c >= '0' && c <= '9') {
        float v;
        p = valprs(p, &v);
        if (!p || p > end) return false;
        continue;
      }
      if (c < 'a' || c > 'z') {
        if (!std::strchr("()+-*/", c)) return false;
        p++;
        continue;
      }
      operand_name op;
      switch (name_operand(p, pst, &op)) {
        case operand_kind::data:
        case operand_kind::dimension:
          take(op.file);
          p = op.after;
          // A variable's own dimension expressions read nothing.
          if (p < end && *p == '(') p = past_parens(p, end);
          if (!p) return false;
          continue;
        case operand_kind::function:
          p = arguments(op.name, op.after, end, depth);
          if (!p) return false;
          continue;
        default: return false;
      }
    }
    return true;
  }

  // The arguments of a call from p (at "(" or not); the position after
  // them, or null.
  const char* arguments(const char* name, const char* p, const char* end, int depth) {
    const user_function* uf = kaufnd(name);
    const builtin_function* fn = uf ? nullptr : builtin_named(name);
    if (!uf && !fn) return nullptr;
    auto expression = [&](int k) {
      return uf ? k < kUdfMaxKinds && uf->arg_types[k] == udf_arg_kind::expr : k < fn->expressions;
    };
    if (p >= end || *p != '(') return p;
    const char* close = past_parens(p, end);
    if (!close) return nullptr;
    const char* start = p + 1;
    int level = 0, k = 0;
    for (const char* q = start; q < close; q++) {
      if (*q == '(') level++;
      if (*q == ')') level--;
      const bool last = q == close - 1;
      if ((*q == ',' && level == 0) || last) {
        if (q > start && expression(k) && !scan(start, q, depth + 1)) return nullptr;
        start = q + 1;
        k++;
      }
    }
    return close;
  }

  // Past the parenthesised group that starts at p, or null when it does not
  // close before end.
  static const char* past_parens(const char* p, const char* end) {
    int level = 0;
    for (; p < end; p++) {
      if (*p == '(') level++;
      if (*p == ')' && --level == 0) return p + 1;
    }
    return nullptr;
  }
};

}  // namespace

expression_sources sources_of(const char* const* texts, int count, const eval_state* pst) {
  source_scan s{pst, {}};
  for (int k = 0; k < count; k++)
    if (!s.scan(texts[k], texts[k] + std::strlen(texts[k]), 0)) return {};
  if (s.found.several) s.found.one = nullptr;
  return s.found;
}

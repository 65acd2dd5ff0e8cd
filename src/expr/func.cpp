// Function calls: table lookup, argument splitting and the call itself.
#include "expr/func.h"

#include <cctype>
#include <memory>
#include <string>

#include "expr/evalstate.h"
#include "base/message.h"
#include "base/words.h"
#include "expr/farea.h"
#include "expr/fave.h"
#include "expr/fcoll.h"
#include "expr/fdiv.h"
#include "expr/felem.h"
#include "expr/fg2s.h"
#include "expr/fint.h"
#include "expr/foa.h"
#include "expr/fscorr.h"
#include "expr/fstn.h"
#include "expr/ftloop.h"
#include "expr/ftmask.h"
#include "expr/futil.h"
#include "expr/fvint.h"
#include "expr/fvirt.h"
#include "expr/udf.h"

// The built-in functions by name, with how many of their first arguments
// are expressions (the others are bounds, numbers or options).
const builtin_function builtin_functions[kBuiltinCount] = {
    {"sqrt", ffsqrt, 1},   {"sin", ffsin, 1},     {"cos", ffcos, 1},      {"tan", fftan, 1},
    {"asin", ffasin, 1},   {"acos", ffacos, 1},   {"exp", ffexp, 1},      {"log", fflog, 1},
    {"log10", fflog10, 1}, {"abs", ffabs, 1},     {"pow", ffpow, 2},      {"ave", ffave, 1},
    {"mag", ffmag, 2},     {"atan2", ffatan, 2},  {"hdivg", ffhdiv, 2},   {"hcurl", ffhcrl, 2},
    {"vint", ffvint, 2},   {"tloop", fftlp, 1},   {"aave", ffaav, 1},     {"scorr", ffscor, 2},
    {"tcorr", fftcor, 2},  {"tmave", fftmav, 2},  {"maskout", ffmask, 2}, {"gr2stn", ffg2s, 2},
    {"tvrh2q", fftv2q, 2}, {"tvrh2t", fftv2t, 2}, {"gint", ffgint, 1},    {"oacres", ffoacr, 2},
    {"oabin", ffoabn, 2},  {"smth9", ffsmth, 1},  {"stnave", ffsave, 1},  {"stnmin", ffsmin, 1},
    {"stnmax", ffsmax, 1}, {"skip", ffskip, 1},   {"const", ffcnst, 1},   {"cdiff", ffcdif, 1},
    {"mean", ffmn, 1},     {"amean", ffamn, 1},   {"sum", ffsum, 1},      {"sumg", ffsumg, 1},
    {"asum", ffasum, 1},   {"asumg", ffasumg, 1}, {"coll2gr", ffclgr, 0}, {"min", ffmin, 1},
    {"max", ffmax, 1},     {"minloc", ffminl, 1}, {"maxloc", ffmaxl, 1},  {"fndlvl", ffflvl, 2},
    {"sregr", ffsreg, 2},  {"tregr", fftreg, 2},
};

namespace {

bool end_of_text(char c) { return c == '\0' || c == '\n'; }

}  // namespace

const builtin_function* builtin_named(const char* name) {
  for (const builtin_function& f : builtin_functions)
    if (cmpwrd(f.name, name)) return &f;
  return nullptr;
}

const char* kaargs(const char* text, const char* name, function_args* a) {
  a->count = 0;
  if (*text != '(') return text;
  if (text[1] == ')') return text + 2;
  const char* p = text + 1;
  int depth = 0;
  int n = 0;
  a->args[a->count++] = a->text;
  while (true) {
    const char c = *p;
    if (end_of_text(c)) {
      kaprnt(msg_level::error, "Syntax Error:  Unmatched parens\n");
      return nullptr;
    }
    if (n >= kFunctionArgText - 1) {
      kaprntf(msg_level::error, "Syntax Error:  Arguments of %s longer than %i characters\n", name,
              kFunctionArgText - 1);
      return nullptr;
    }
    if (c == ')' && depth == 0) {
      a->text[n] = '\0';
      return p + 1;
    }
    if (c == ',' && depth == 0) {
      if (a->count >= kMaxFunctionArgs) {
        kaprntf(msg_level::error, "Syntax Error:  More than %i arguments for %s\n",
                kMaxFunctionArgs, name);
        return nullptr;
      }
      a->text[n++] = '\0';
      a->args[a->count++] = a->text + n;
    } else {
      if (c == '(')
        depth++;
      else if (c == ')')
        depth--;
      a->text[n++] = c;
    }
    p++;
  }
}

const char* rtnprs(const char* text, const char* name, eval_state* pst) {
  // User functions come first, so that they can replace built-in ones.
  user_function* uf = kaufnd(name);
  const builtin_function* fn = uf ? nullptr : builtin_named(name);
  if (!uf && !fn) {
    kaprnt(msg_level::error, "Syntax Error:  Invalid Operand \n");
    kaprntf(msg_level::error, "  '%s' not a variable or function name\n", name);
    return nullptr;
  }
  auto args = std::make_unique<function_args>();
  const char* after = kaargs(text, name, args.get());
  if (!after) return nullptr;
  eval_state copy = *pst;
  copy.result = std::monostate{};
  int rc;
  try {
    rc = uf ? ffuser(uf, args.get(), &copy) : fn->handler(args.get(), &copy);
  } catch (...) {
    // A function that runs out of memory may leave its working grid here.
    kafree(&copy);
    throw;
  }
  if (rc == -1) kaprntf(msg_level::error, "Error in %s : Arg was stn data type\n", name);
  if (rc != 0) {
    kaprntf(msg_level::error, "Operation Error:  Error from %s function\n", name);
    return nullptr;
  }
  if (!grid_in(copy.result) && !stations_in(copy.result)) {
    kaprntf(msg_level::error, "Operation Error:  %s function gave no result\n", name);
    return nullptr;
  }
  pst->result = std::move(copy.result);
  return after;
}

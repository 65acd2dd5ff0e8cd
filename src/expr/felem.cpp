#include "expr/felem.h"

#include <cmath>

#include "expr/evalstate.h"
#include "base/message.h"
#include "expr/eval.h"
#include "expr/fshared.h"
#include "expr/func.h"
#include "data/result.h"

namespace {

// How a value that lies outside a function's domain is treated.
enum domain : int { kAny, kNonNegative, kPositive, kUnit };

struct unary {
  const char* name;    // upper case, for messages
  const char* count1;  // the two lines of a wrong argument count
  const char* count2;
  double (*fn)(double);
  domain dom;
  const char* warn1;  // null: values outside the domain are dropped silently
  const char* warn2;
};

int count_error(const char* l1, const char* l2) {
  kaprnt(msg_level::error, l1);
  kaprnt(msg_level::error, l2);
  return 1;
}

bool in_domain(domain d, double v) {
  switch (d) {
    case kNonNegative: return v >= 0.0;
    case kPositive: return v > 0.0;
    case kUnit: return v >= -1.0 && v <= 1.0;
    default: return true;
  }
}

// Applies f to one defined value; returns false when the value becomes
// undefined through the domain rule. Anything that is not a finite number
// (exp overflow, tan at a pole) is stored as undefined.
inline float apply(const unary& f, float v, float undef, bool* dropped) {
  *dropped = false;
  if (!in_domain(f.dom, v)) {
    *dropped = true;
    return undef;
  }
  const double r = f.fn(double(v));
  if (!std::isfinite(r)) return undef;
  const float rf = static_cast<float>(r);
  return std::isfinite(rf) ? rf : undef;
}

// An operation on two results kept one of them as its result r and released
// the other: both slots let go of their pointers and the first holds r.
template <typename Owner, typename Result>
void keep_only(Result* r, eval_state* first, eval_state* second) {
  std::get<Owner>(first->result).release();
  std::get<Owner>(second->result).release();
  first->result = Owner(r);
  second->result = std::monostate{};
}

int run_unary(const unary& f, function_args* args, eval_state* pst) {
  if (args->count != 1) return count_error(f.count1, f.count2);
  int rc = kaexpr(args->args[0], pst);
  if (rc) return rc;
  long long dropped_count = 0;
  bool dropped;
  if (grid_in(pst->result)) {
    grid_field* g = grid_in(pst->result);
    const float u = g->undef;
    const long long n = static_cast<long long>(g->isiz) * g->jsiz;
    float* v = g->values;
    for (long long i = 0; i < n; i++) {
      if (v[i] == u) continue;
      v[i] = apply(f, v[i], u, &dropped);
      dropped_count += dropped;
    }
    if (g->idim < 0) g->max_value = g->min_value;
  } else {
    station_set* s = stations_in(pst->result);
    const float u = s->undef;
    for (station_report* r = s->first_report; r; r = r->next) {
      if (r->value == u) continue;
      r->value = apply(f, r->value, u, &dropped);
      dropped_count += dropped;
    }
  }
  if (dropped_count > 0 && f.warn1) {
    kaprntf(msg_level::info, f.warn1, int(dropped_count));
    kaprnt(msg_level::info, f.warn2);
  }
  return 0;
}

const char* const kOneArg = "                 One argument expected \n";

const unary kSqrt{"SQRT",
                  "Error from SQRT: Too many or too few args \n",
                  kOneArg,
                  [](double v) { return std::sqrt(v); },
                  kNonNegative,
                  "Warning from SQRT:  Data has %i values < zero \n",
                  "                    These were set to the undefined value \n"};
const unary kSin{"SIN",   "Error from SIN:  Too many or too few args \n",
                 kOneArg, [](double v) { return std::sin(v); },
                 kAny,    nullptr,
                 nullptr};
const unary kCos{"COS",   "Error from COS:  Too many or too few args \n",
                 kOneArg, [](double v) { return std::cos(v); },
                 kAny,    nullptr,
                 nullptr};
const unary kTan{"TAN",   "Error from TAN:  Too many or too few args \n",
                 kOneArg, [](double v) { return std::tan(v); },
                 kAny,    nullptr,
                 nullptr};
const unary kAsin{"ASIN",
                  "Error from ASIN:  Too many or too few args \n",
                  "                  One argument expected \n",
                  [](double v) { return std::asin(v); },
                  kUnit,
                  nullptr,
                  nullptr};
const unary kAcos{"ACOS",  "Error from ACOS:  Too many or too few args \n",
                  kOneArg, [](double v) { return std::acos(v); },
                  kUnit,   nullptr,
                  nullptr};
const unary kExp{"EXP",   "Error from EXP:  Too many or too few args \n",
                 kOneArg, [](double v) { return std::exp(v); },
                 kAny,    nullptr,
                 nullptr};
const unary kLog{"LOG",
                 "Error from LOG:  Too many or too few args \n",
                 kOneArg,
                 [](double v) { return std::log(v); },
                 kPositive,
                 "Warning from LOG:  Data has %i values <= zero \n",
                 "                   These were set to the undefined value \n"};
const unary kLog10{"LOG10",
                   "Error from LOG10:  Too many or too few args \n",
                   "                   One argument expected \n",
                   [](double v) { return std::log10(v); },
                   kPositive,
                   "Warning from LOG10:  Data has %i values <= zero \n",
                   "                     These were set to the undefined value \n"};
const unary kAbs{"ABS",   "Error from ABS:  Too many or too few args \n",
                 kOneArg, [](double v) { return std::fabs(v); },
                 kAny,    nullptr,
                 nullptr};

int run_binary(const char* l1, const char* l2, int op, function_args* args, eval_state* pst) {
  if (args->count != 2) return count_error(l1, l2);
  int rc = kaexpr(args->args[0], pst);
  if (rc) return rc;
  eval_state second;
  rc = eval_second(args->args[1], pst, &second);
  if (rc) return rc;
  rc = kafopr(pst, &second, op);
  if (rc) {
    kafree(pst);
    kafree(&second);
  }
  return rc;
}

}  // namespace

int ffsqrt(function_args* a, eval_state* s) { return run_unary(kSqrt, a, s); }
int ffsin(function_args* a, eval_state* s) { return run_unary(kSin, a, s); }
int ffcos(function_args* a, eval_state* s) { return run_unary(kCos, a, s); }
int fftan(function_args* a, eval_state* s) { return run_unary(kTan, a, s); }
int ffasin(function_args* a, eval_state* s) { return run_unary(kAsin, a, s); }
int ffacos(function_args* a, eval_state* s) { return run_unary(kAcos, a, s); }
int ffexp(function_args* a, eval_state* s) { return run_unary(kExp, a, s); }
int fflog(function_args* a, eval_state* s) { return run_unary(kLog, a, s); }
int fflog10(function_args* a, eval_state* s) { return run_unary(kLog10, a, s); }
int ffabs(function_args* a, eval_state* s) { return run_unary(kAbs, a, s); }

int ffpow(function_args* a, eval_state* s) {
  return run_binary("Error from POW:  Too many or too few args \n",
                    "                 Two arguments expected \n", kOpPower, a, s);
}
int ffmag(function_args* a, eval_state* s) {
  return run_binary("Error from MAG:  Too many or too few args \n",
                    "                 Two arguments expected \n", kOpMagnitude, a, s);
}
int ffatan(function_args* a, eval_state* s) {
  return run_binary("Error from ATAN2:  Too many or too few args \n",
                    "                   Two arguments expected \n", kOpAtan2, a, s);
}

int kafopr(eval_state* first, eval_state* second, int op) {
  if (grid_in(first->result) && grid_in(second->result)) {
    grid_field* g = kagrop(grid_in(first->result), grid_in(second->result), op, 1);
    if (!g) return 1;
    keep_only<grid_ptr>(g, first, second);
    if (g->idim < 0) g->max_value = g->min_value;
    return 0;
  }
  if (stations_in(first->result) && stations_in(second->result)) {
    station_set* s = kastop(stations_in(first->result), stations_in(second->result), op, 1);
    if (!s) return 1;
    keep_only<station_ptr>(s, first, second);
    return 0;
  }
  const bool grid_first = grid_in(first->result);
  grid_field* g = grid_first ? grid_in(first->result) : grid_in(second->result);
  station_set* s = grid_first ? stations_in(second->result) : stations_in(first->result);
  if (g->idim != -1 || g->jdim != -1) {
    kaprnt(msg_level::error, "Operation Error: Incompatable Data Types\n");
    kaprnt(msg_level::error, "  One operand was stn data, other was grid\n");
    return 1;
  }
  if (!kascop(s, g->values[0], op, grid_first ? 1 : 0)) return 1;
  // The set is the result; the grid goes with the slot that held it.
  first->result = extract_stations(grid_first ? second->result : first->result);
  second->result = std::monostate{};
  return 0;
}

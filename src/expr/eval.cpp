// Expression evaluation: the scan with its operand/operator stack, the
// reduction, and the arithmetic between results.
#include "base/alloc.h"
#include "expr/eval.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "expr/evalstate.h"
#include "base/message.h"
#include "base/nesting.h"
#include "base/session.h"
#include "base/words.h"
#include "data/result.h"
#include "expr/varop.h"

namespace {

constexpr float kConstUndef = -9.99e33f;

// An operand's value says whether it is a grid or a station set.
enum cell_kind : int { kDead = 0, kOperand = -1, kOperator = 1, kOpen = 2, kClose = 3 };

// An operand cell owns its result: whatever stops the evaluation, the
// stack's results are released with it.
struct expr_cell {
  int kind = kDead;
  int op = 0;
  result_value value;
};

bool is_operand(const expr_cell& c) { return c.kind == kOperand; }

grid_field* grid_of(expr_cell& c) { return std::get<grid_ptr>(c.value).get(); }
station_set* stations_of(expr_cell& c) { return std::get<station_ptr>(c.value).get(); }

void kill_cell(expr_cell& c) {
  c.kind = kDead;
  c.value = std::monostate{};
}

bool valid_op(int op) {
  return op == kOpMultiply || op == kOpDivide || op == kOpAdd || op == kOpPower ||
         op == kOpMagnitude || op == kOpAtan2 || op == kOpMaskout;
}

// One value of an operation on two defined values; undef where the operation
// has no value. Nothing that is not a finite number reaches a result.
inline float combine(float first, float second, int op, float undef) {
  float r;
  switch (op) {
    case kOpMultiply: r = first * second; break;
    case kOpDivide:
      if (second == 0.0f) return undef;
      r = first / second;
      break;
    case kOpAdd: r = first + second; break;
    case kOpPower: r = static_cast<float>(std::pow(double(first), double(second))); break;
    case kOpMagnitude: r = static_cast<float>(std::hypot(double(first), double(second))); break;
    case kOpAtan2:
      if (first == 0.0f && second == 0.0f) return 0.0f;
      r = static_cast<float>(std::atan2(double(first), double(second)));
      break;
    default:  // kOpMaskout
      return second < 0.0f ? undef : first;
  }
  return std::isfinite(r) ? r : undef;
}

// The place, level or time by which station reports are paired. Equality is
// float equality: -0 and 0 hash alike, and a NaN pairs with nothing.
struct match_key {
  float a, b;
  bool comparable() const { return a == a && b == b; }
  bool operator==(const match_key& o) const { return a == o.a && b == o.b; }
};
struct match_key_hash {
  size_t operator()(const match_key& k) const {
    uint32_t x, y;
    const float a = k.a + 0.0f, b = k.b + 0.0f;
    std::memcpy(&x, &a, 4);
    std::memcpy(&y, &b, 4);
    return std::hash<uint64_t>()((uint64_t(x) << 32) | y);
  }
};

int varying_count(const grid_field* g) { return (g->idim >= 0) + (g->jdim >= 0); }

void incompatible_grids() { kaprnt(msg_level::error, "Operation error:  Incompatable grids \n"); }

int range_error(const grid_field* s, const grid_field* b, int d) {
  incompatible_grids();
  kaprnt(msg_level::info, "  Dimension ranges aren't equivalent\n");
  kaprntf(msg_level::result, "  Dimension = %i\n", d);
  kaprntf(msg_level::result, "  1st grid range = %i %i   2nd = %i %i \n", s->dim_min[d],
          s->dim_max[d], b->dim_min[d], b->dim_max[d]);
  return 1;
}

// Walks b's values with s's paired value; first/second follow the expression
// order.
template <int OP>
void apply_grid(grid_field* b, const grid_field* s, int mode, bool s_first) {
  const float bu = b->undef, su = s->undef;
  float* bv = b->values;
  const float* sv = s->values;
  const long ni = b->isiz, nj = b->jsiz;
  auto one = [&](float& out, float sval) {
    float bval = out;
    if (sval == su || bval == bu) {
      out = bu;
      return;
    }
    out = s_first ? combine(sval, bval, OP, bu) : combine(bval, sval, OP, bu);
  };
  for (long j = 0; j < nj; j++) {
    float* row = bv + j * ni;
    for (long i = 0; i < ni; i++) {
      float sval;
      switch (mode) {
        case 0: sval = sv[j * ni + i]; break;  // one to one
        case 1: sval = sv[0]; break;           // a single value
        case 2: sval = sv[i]; break;           // s along b's i
        default: sval = sv[j]; break;          // s along b's j
      }
      one(row[i], sval);
    }
  }
}

void apply_grid_op(int op, grid_field* b, const grid_field* s, int mode, bool s_first) {
  switch (op) {
    case kOpMultiply: apply_grid<kOpMultiply>(b, s, mode, s_first); break;
    case kOpDivide: apply_grid<kOpDivide>(b, s, mode, s_first); break;
    case kOpAdd: apply_grid<kOpAdd>(b, s, mode, s_first); break;
    case kOpPower: apply_grid<kOpPower>(b, s, mode, s_first); break;
    case kOpMagnitude: apply_grid<kOpMagnitude>(b, s, mode, s_first); break;
    case kOpAtan2: apply_grid<kOpAtan2>(b, s, mode, s_first); break;
    default: apply_grid<kOpMaskout>(b, s, mode, s_first); break;
  }
}

// Applies the operator of cells[l] op cells[r] into cells[dst]; the consumed
// cells are marked dead. On failure the cells are left as they were.
int kaoper(std::vector<expr_cell>& cells, int l, int r, int dst, int op) {
  expr_cell& a = cells[l];
  expr_cell& b = cells[r];
  expr_cell result;
  if (grid_in(a.value) && grid_in(b.value)) {
    grid_field* g = kagrop(grid_of(a), grid_of(b), op, 0);
    if (!g) return 1;
    result = {kOperand, 0, std::move(g == grid_of(a) ? a.value : b.value)};
  } else if (stations_in(a.value) && stations_in(b.value)) {
    station_set* s = kastop(stations_of(a), stations_of(b), op, 0);
    if (!s) return 1;
    result = {kOperand, 0, std::move(s == stations_of(a) ? a.value : b.value)};
  } else {
    const bool set_left = stations_in(a.value) != nullptr;
    expr_cell& set = set_left ? a : b;
    grid_field* g = grid_of(set_left ? b : a);
    if (g->idim != -1 || g->jdim != -1) {
      kaprnt(msg_level::error, "Operation Error: Incompatable Data Types\n");
      kaprnt(msg_level::error, "  One operand was stn data, other was grid\n");
      return 1;
    }
    if (!kascop(stations_of(set), g->values[0], op, set_left ? 0 : 1)) return 1;
    result = {kOperand, 0, std::move(set.value)};
  }
  kill_cell(a);
  kill_cell(b);
  cells[dst] = std::move(result);
  return 0;
}

// Reduces the stack from the top as far as precedence allows. top is set to
// the cell where the walk stopped, also on failure, so that the cells below
// and including it are exactly the live ones.
int eval(int final, std::vector<expr_cell>& cells, int& top) {
  bool closed = false;
  int k = top;
  int rc = 0;
  while (true) {
    expr_cell& c = cells[k];
    if (c.kind == kClose) {
      closed = true;
      c.kind = kDead;
      if (k == 0) break;
      k--;
      continue;
    }
    if (!is_operand(c)) {
      rc = 1;
      break;
    }
    if (k == 0) break;
    expr_cell& below = cells[k - 1];
    if (below.kind == kOpen) {
      if (!closed) break;
      below = std::move(c);
      kill_cell(c);
      closed = false;
      k--;
      continue;
    }
    if (below.kind == kOperator) {
      if (k < 2 || !is_operand(cells[k - 2])) {
        kaprnt(msg_level::error, "Internal logic check 12 \n");
        rc = 1;
        break;
      }
      int op = below.op;
      if (op == kOpMultiply || op == kOpDivide || closed || final) {
        if (kaoper(cells, k - 2, k, k - 2, op)) {
          rc = 1;
          break;
        }
        below.kind = kDead;
        k -= 2;
        continue;
      }
      break;
    }
    kaprnt(msg_level::error, "Internal logic check 14 \n");
    rc = 1;
    break;
  }
  top = k;
  return rc;
}

void push_constant(std::vector<expr_cell>& cells, int& top, float v) {
  cells[++top] = {kOperand, 0, grid_ptr(kagrvl(v))};
}

void push_op(std::vector<expr_cell>& cells, int& top, int op) {
  cells[++top] = {kOperator, op, {}};
}

bool end_of_text(char c) { return c == '\0' || c == '\n'; }

void too_deep() { kaprnt(msg_level::error, "Syntax Error:  Expression nested too deeply\n"); }

// The state's nesting seen by a function call's arguments, for as long as
// the call runs.
struct nest_scope {
  eval_state* st;
  int saved;
  nest_scope(eval_state* s, int levels) : st(s), saved(s->nest) { st->nest = levels; }
  ~nest_scope() { st->nest = saved; }
  nest_scope(const nest_scope&) = delete;
  nest_scope& operator=(const nest_scope&) = delete;
};

}  // namespace

int kaexpr(const char* text, eval_state* pst) {
  if (kaqsig()) return 1;
  // Function calls recurse through here: too deep a nesting for the stack
  // ends as a syntax error, not in a crash.
  if (pst->nest >= kExprNestMax || stack_low()) {
    too_deep();
    return 1;
  }
  // The depth of nested evaluations (a function's arguments), also when a
  // failed allocation ends this one.
  struct pass_scope {
    eval_state* st;
    explicit pass_scope(eval_state* s) : st(s) { st->pass++; }
    ~pass_scope() { st->pass--; }
    pass_scope(const pass_scope&) = delete;
    pass_scope& operator=(const pass_scope&) = delete;
  } scope(pst);
  size_t len = 0;
  while (!end_of_text(text[len])) len++;
  std::vector<expr_cell> cells;
  try {
    cells.resize(3 * len + 1);
  } catch (const std::bad_alloc&) {
    throw alloc_error("Memory Allocation Error:  parser stack\n");
  }
  int top = -1;
  size_t pos = 0;
  bool operand = true;
  bool failed = false;
  int terms = 0;
  open_levels levels;
  auto depth = [&] { return pst->nest + int(levels.size()); };
  while (true) {
    const char c = text[pos];
    if (operand && c != '(' && c != '-' && ++terms > kExprTermsMax) {
      kaprntf(msg_level::error, "Syntax Error:  More than %i terms in the expression\n",
              kExprTermsMax);
      failed = true;
      break;
    }
    if (operand && (c == '(' || c == '-') && depth() >= kExprNestMax) {
      too_deep();
      failed = true;
      break;
    }
    if (operand) {
      if (c == '(') {
        cells[++top] = {kOpen, 0, {}};
        levels.open_group();
        pos++;
      } else if (c == '-') {
        push_constant(cells, top, -1.0f);
        push_op(cells, top, kOpMultiply);
        levels.open_prefix();
        pos++;
      } else if (c >= '0' && c <= '9') {
        float v;
        const char* q = valprs(text + pos, &v);
        // A literal too large for a float would put an infinity in a grid.
        if (!q || !std::isfinite(v)) {
          kaprnt(msg_level::error, "Syntax Error:  Invalid numeric value\n");
          failed = true;
          break;
        }
        push_constant(cells, top, v);
        levels.operand_done();
        pos = q - text;
        if (eval(0, cells, top)) {
          failed = true;
          break;
        }
        operand = false;
      } else if (c >= 'a' && c <= 'z') {
        pst->result = std::monostate{};
        const char* q;
        {
          nest_scope call(pst, depth() + 1);
          q = varprs(text + pos, pst);
        }
        if (!q) {
          failed = true;
          break;
        }
        cells[++top] = {kOperand, 0, std::exchange(pst->result, std::monostate{})};
        levels.operand_done();
        pos = q - text;
        if (eval(0, cells, top)) {
          failed = true;
          break;
        }
        operand = false;
      } else {
        kaprnt(msg_level::error, "Syntax Error:  Expected operand or '('\n");
        failed = true;
        break;
      }
    } else {
      if (c == ')') {
        cells[++top] = {kClose, 0, {}};
        levels.close_group();
        if (eval(0, cells, top)) {
          failed = true;
          break;
        }
        pos++;
      } else if (c == '*' || c == '/' || c == '+') {
        push_op(cells, top, c == '*' ? kOpMultiply : c == '/' ? kOpDivide : kOpAdd);
        pos++;
        operand = true;
      } else if (c == '-') {
        push_op(cells, top, kOpAdd);
        push_constant(cells, top, -1.0f);
        push_op(cells, top, kOpMultiply);
        pos++;
        operand = true;
      } else {
        kaprnt(msg_level::error, "Syntax Error:  Expected operator or ')'\n");
        failed = true;
        break;
      }
    }
    if (end_of_text(text[pos])) break;
  }
  if (!failed) {
    pos = len;
    if (eval(1, cells, top)) {
      failed = true;
    } else if (top != 0) {
      kaprnt(msg_level::error, "Syntax Error:  Unmatched Parens\n");
      failed = true;
    } else if (is_operand(cells[0])) {
      pst->result = std::move(cells[0].value);
    } else {
      kaprnt(msg_level::error, "KAEXPR Logic Error Number 29\n");
      failed = true;
    }
  }
  if (failed && pst->pass == 1)
    kaprntf(msg_level::error, "  Error ocurred at column %i\n", int(pos + 1));
  return failed ? 1 : 0;
}

grid_field* kagrvl(float v) {
  grid_field* g = static_cast<grid_field*>(
      kacalloc(1, sizeof(grid_field), "Unable to allocate memory for grid structure \n"));
  g->values = &g->min_value;
  g->min_value = g->max_value = v;
  g->undef = kConstUndef;
  g->isiz = g->jsiz = 1;
  g->idim = g->jdim = -1;
  return g;
}

grid_field* kagrop(grid_field* left, grid_field* right, int op, int rel) {
  const bool swapped = varying_count(left) > varying_count(right);
  grid_field* s = swapped ? right : left;
  grid_field* b = swapped ? left : right;
  const int ns = varying_count(s), nb = varying_count(b);
  int mode;
  if (ns == 0) {
    mode = 1;
  } else if (ns == nb) {
    if (s->idim != b->idim || s->jdim != b->jdim) {
      incompatible_grids();
      kaprnt(msg_level::info, "   Varying dimensions are different\n");
      kaprntf(msg_level::result, "  1st grid dims = %i %i   2nd = %i %i \n", s->idim, s->jdim,
              b->idim, b->jdim);
      return nullptr;
    }
    if (kagchk(s, b, s->idim)) {
      range_error(s, b, s->idim);
      return nullptr;
    }
    if (ns == 2 && kagchk(s, b, s->jdim)) {
      range_error(s, b, s->jdim);
      return nullptr;
    }
    mode = 0;
  } else {
    if (kagchk(s, b, s->idim)) {
      range_error(s, b, s->idim);
      return nullptr;
    }
    mode = s->idim == b->idim ? 2 : 3;
  }
  if (!valid_op(op)) {
    kaprnt(msg_level::error, "Internal logic check 17: invalid oper value\n");
    return nullptr;
  }
  apply_grid_op(op, b, s, mode, !swapped);
  if (rel) kagfre(s);
  return b;
}

station_set* kastop(station_set* left, station_set* right, int op, int rel) {
  int mode;
  if (left->idim == 0 && left->jdim == 1 && right->idim == 0 && right->jdim == 1)
    mode = 0;
  else if (left->idim == 2 && left->jdim == -1 && right->idim == 2 && right->jdim == -1)
    mode = 1;
  else if (left->idim == 3 && left->jdim == -1 && right->idim == 3 && right->jdim == -1)
    mode = 2;
  else {
    kaprnt(msg_level::error, "Invalid dimension environment for station data");
    kaprnt(msg_level::error, " operation\n");
    return nullptr;
  }
  if (!valid_op(op)) {
    kaprnt(msg_level::error, "Internal logic check 57: invalid oper value\n");
    return nullptr;
  }
  const bool swapped = right->report_count < left->report_count;
  station_set* recv = swapped ? right : left;
  station_set* other = swapped ? left : right;
  const float ru = recv->undef, ou = other->undef;
  // Each key holds the first defined report of the other set in chain order,
  // the one a search from its head would find.
  std::unordered_map<match_key, const station_report*, match_key_hash> first_match;
  first_match.reserve(size_t(other->report_count > 0 ? other->report_count : 0));
  auto key_of = [mode](const station_report* p) {
    return mode == 0 ? match_key{p->lat, p->lon} : match_key{mode == 1 ? p->lev : p->time, 0.0f};
  };
  for (const station_report* m = other->first_report; m; m = m->next) {
    const match_key k = key_of(m);
    if (m->value != ou && k.comparable()) first_match.emplace(k, m);
  }
  for (station_report* r = recv->first_report; r; r = r->next) {
    if (r->value == ru) continue;
    const match_key k = key_of(r);
    auto it = k.comparable() ? first_match.find(k) : first_match.end();
    if (it == first_match.end()) {
      r->value = ru;
      continue;
    }
    const float mv = it->second->value;
    r->value = swapped ? combine(mv, r->value, op, ru) : combine(r->value, mv, op, ru);
  }
  if (rel) kasfre(other);
  return recv;
}

station_set* kascop(station_set* set, float c, int op, int side) {
  if (!valid_op(op)) {
    kaprnt(msg_level::error, "Internal logic check 57: invalid oper value\n");
    return nullptr;
  }
  const float u = set->undef;
  for (station_report* r = set->first_report; r; r = r->next) {
    const float v = r->value;
    if (v == u) continue;
    // As for grids, the second operand is the mask: the constant when the
    // set comes first, the report's own value when the constant does.
    if (op == kOpMaskout)
      r->value = side == 0 ? (c < 0.0f ? u : v) : (v < 0.0f ? u : c);
    else
      r->value = side == 0 ? combine(v, c, op, u) : combine(c, v, op, u);
  }
  return set;
}

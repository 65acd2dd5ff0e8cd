// The expression evaluator: one left-to-right scan over an operand and
// operator stack, and the arithmetic between grids and station sets that the
// evaluator and the two-argument functions share.
#pragma once

struct eval_state;
struct grid_field;
struct station_set;

// Operation codes of kagrop, kastop and kascop.
enum : int {
  kOpMultiply = 0,
  kOpDivide = 1,
  kOpAdd = 2,
  kOpPower = 10,
  kOpMagnitude = 11,
  kOpAtan2 = 12,
  kOpMaskout = 13,
};

// Evaluates a lower-cased, blank-free expression. 0: the result (a grid or a
// station set) is in the state and belongs to the caller;
// 1: failure after its messages, nothing left allocated.
int kaexpr(const char* text, eval_state* pst);

// Most operands (variables, function calls, numbers) in one expression; a
// function's arguments are expressions of their own. A sum keeps every term
// until its end, so endless terms would otherwise hold endless grids.
inline constexpr int kExprTermsMax = 1000;

// Deepest nesting of an expression: parentheses, unary minus signs and
// function calls together, counted through the arguments. Each level holds
// a cell or a grid, and each call a stack frame; the stack is guarded on
// its own as well, so a small stack stops the nesting earlier.
inline constexpr int kExprNestMax = 1000;

// Grid with grid: the result is one of the two (the one with more varying
// dimensions, the right one when equal); with rel set the other is released
// on success. Null after a message when the grids do not fit together.
grid_field* kagrop(grid_field* left, grid_field* right, int op, int rel);
// Station set with station set, matched by place, level or time; the set with
// fewer reports receives the result.
station_set* kastop(station_set* left, station_set* right, int op, int rel);
// Station set with a constant; side 0: the set is the left operand. Never
// releases anything.
station_set* kascop(station_set* set, float c, int op, int side);
// A new one-point grid holding v.
grid_field* kagrvl(float v);

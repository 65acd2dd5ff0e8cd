// The expression evaluator: the language of constants and operators, its
// error texts and columns, and the arithmetic between grids and station sets.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "expr/evalstate.h"
#include "base/scaling.h"
#include "base/session.h"
#include "support/stdout_capture.h"
#include "expr/eval.h"
#include "expr/func.h"
#include "data/result.h"

namespace {

constexpr float kConstUndef = -9.99e33f;

struct Eval {
  int rc;
  std::string out;
  float value;  // the 0-D result's value (NaN when none)
};

Eval evaluate(const char* text) {
  eval_state st{};
  st.idim = st.jdim = -1;
  StdoutCapture cap;
  int rc = kaexpr(text, &st);
  Eval e{rc, cap.text(), std::nanf("")};
  if (rc == 0) {
    grid_ptr g = extract_grid(st.result);
    EXPECT_NE(g, nullptr);
    if (!g) return e;
    EXPECT_EQ(g->idim, -1);
    EXPECT_EQ(g->undef, kConstUndef);
    e.value = g->values[0];
  }
  EXPECT_EQ(st.pass, 0);
  return e;
}

TEST(ExprLanguage, PrecedenceGroupingAndSigns) {
  struct {
    const char* text;
    float value;
  } cases[] = {
      {"1+2*3", 7},    {"8/2*4", 16},        {"10-4-3", 3},       {"2--3", 5},     {"--3", 3},
      {"2/-4", -0.5f}, {"-(2+3)*2", -10},    {"2*(3+(4-1))", 12}, {"0.5+1", 1.5f}, {"1+2)", 3},
      {"3)*2", 6},     {"4/0", kConstUndef}, {"1\nignored", 1},
  };
  for (const auto& c : cases) {
    Eval e = evaluate(c.text);
    EXPECT_EQ(e.rc, 0) << c.text << "\n" << e.out;
    EXPECT_EQ(e.out, "") << c.text;
    EXPECT_FLOAT_EQ(e.value, c.value) << c.text;
  }
}

TEST(ExprLanguage, SyntaxErrorsNameTheColumn) {
  const std::string operand = "Syntax Error:  Expected operand or '('\n";
  const std::string op = "Syntax Error:  Expected operator or ')'\n";
  auto col = [](int c) { return "  Error ocurred at column " + std::to_string(c) + "\n"; };
  struct {
    const char* text;
    std::string out;
  } cases[] = {
      {"", operand + col(1)},
      {"1+A", operand + col(3)},
      {"2*", col(3)},
      {"(1+2", "Syntax Error:  Unmatched Parens\n" + col(5)},
      {"2 3", op + col(2)},
      {"2+1e39", "Syntax Error:  Invalid numeric value\n" + col(3)},
      {"foo(1)",
       "Syntax Error:  Invalid Operand \n  'foo' not a variable or function name\n" + col(1)},
  };
  for (const auto& c : cases) {
    Eval e = evaluate(c.text);
    EXPECT_EQ(e.rc, 1) << c.text;
    EXPECT_EQ(e.out, c.out) << c.text;
  }
  // A failure inside a function's argument: one column line, at the name.
  Eval f = evaluate("2+sqrt(1+)");
  EXPECT_EQ(f.rc, 1);
  const std::string tail = "Operation Error:  Error from sqrt function\n" + col(3);
  ASSERT_GE(f.out.size(), tail.size());
  EXPECT_EQ(f.out.substr(f.out.size() - tail.size()), tail);
  EXPECT_EQ(f.out.find("column"), f.out.rfind("column"));
  // The same inside a second argument, which runs on a copy of the state.
  Eval g = evaluate("2+pow(2,1+)");
  EXPECT_EQ(g.rc, 1);
  ASSERT_GE(g.out.size(), col(3).size());
  EXPECT_EQ(g.out.substr(g.out.size() - col(3).size()), col(3)) << g.out;
  EXPECT_EQ(g.out.find("column"), g.out.rfind("column")) << g.out;
  // An interrupt stops the next evaluation without a word.
  gcmn->interrupt = 1;
  Eval e = evaluate("1+2");
  gcmn->interrupt = 0;
  EXPECT_EQ(e.rc, 1);
  EXPECT_EQ(e.out, "");
}

// "(1,1,...)" with n arguments.
std::string arg_list(int n) {
  std::string s = "(1";
  for (int i = 1; i < n; i++) s += ",1";
  return s + ")";
}

TEST(FunctionArgs, SplitAtTopLevelCommasWithinTheRecordsLimits) {
  function_args a;
  const char* after = kaargs("(z(t=1,lev=500),t=1,t=12)+1", "ave", &a);
  ASSERT_NE(after, nullptr);
  EXPECT_STREQ(after, "+1");
  ASSERT_EQ(a.count, 3);
  EXPECT_STREQ(a.args[0], "z(t=1,lev=500)");
  EXPECT_STREQ(a.args[2], "t=12");
  EXPECT_STREQ(kaargs("()*2", "f", &a), "*2");
  EXPECT_EQ(a.count, 0);
  ASSERT_NE(kaargs(arg_list(20).c_str(), "f", &a), nullptr);
  EXPECT_EQ(a.count, 20);
  struct {
    std::string text;
    std::string out;
  } cases[] = {
      {"(1,(2)", "Syntax Error:  Unmatched parens\n"},
      {arg_list(21), "Syntax Error:  More than 20 arguments for f\n"},
      {"(" + std::string(1200, '1') + ")",
       "Syntax Error:  Arguments of f longer than 999 characters\n"},
  };
  for (const auto& c : cases) {
    StdoutCapture cap;
    EXPECT_EQ(kaargs(c.text.c_str(), "f", &a), nullptr);
    EXPECT_EQ(cap.text(), c.out);
  }
}

// Grids over a 1-degree x axis from lon0 and a 10-degree y axis from 0.
struct grid_maker {
  linear_scaling xs{}, ys{};
  grid_maker() {
    linear_scaling_set(&xs, 1, 1);  // grid index k is longitude k
    linear_scaling_set(&ys, 10, 10);
  }
  grid_field* make(int idim, int jdim, int i1, int i2, int j1, int j2, std::vector<float> values,
                   float undef = -999) {
    grid_field* g = kagrvl(0);
    g->undef = undef;
    g->idim = idim;
    g->jdim = jdim;
    auto set_axis = [&](int d, int lo, int hi, conversion_fn* to_world, float** vals, int* size) {
      g->dim_min[d] = lo;
      g->dim_max[d] = hi;
      *to_world = liconv;
      *vals = d == 0 ? xs.grid_to_world : ys.grid_to_world;
      *size = hi - lo + 1;
    };
    if (idim >= 0) set_axis(idim, i1, i2, &g->i_to_world, &g->i_world_vals, &g->isiz);
    if (jdim >= 0) set_axis(jdim, j1, j2, &g->j_to_world, &g->j_world_vals, &g->jsiz);
    g->i_linear = g->j_linear = 1;
    EXPECT_EQ(values.size(), size_t(g->isiz) * g->jsiz);
    g->values = static_cast<float*>(std::malloc(values.size() * sizeof(float)));
    std::memcpy(g->values, values.data(), values.size() * sizeof(float));
    return g;
  }
};

std::vector<float> values_of(const grid_field* g) {
  return std::vector<float>(g->values, g->values + g->isiz * g->jsiz);
}

TEST(GridArithmetic, OneDimensionalGridsBroadcastOverTwo) {
  grid_maker m;
  StdoutCapture cap;
  // x grid times x-y grid: every row.
  grid_field* x = m.make(0, -1, 1, 3, 0, 0, {1, 2, 3});
  grid_field* xy = m.make(0, 1, 1, 3, 1, 2, {1, 1, 1, 10, 10, 10});
  grid_field* r = kagrop(x, xy, kOpMultiply, 1);
  ASSERT_EQ(r, xy);
  EXPECT_EQ(values_of(r), (std::vector<float>{1, 2, 3, 10, 20, 30}));
  // x-y grid divided by a y grid: the k-th row by the k-th value, in
  // expression order although the 1-D grid is the one released.
  grid_field* y = m.make(1, -1, 1, 2, 0, 0, {2, 5});
  r = kagrop(r, y, kOpDivide, 1);
  ASSERT_EQ(r, xy);
  EXPECT_EQ(values_of(r), (std::vector<float>{0.5f, 1, 1.5f, 2, 4, 6}));
  // A constant on the left: 1 - grid.
  grid_field* c = kagrvl(12);
  r = kagrop(c, r, kOpAdd, 1);
  EXPECT_EQ(values_of(r), (std::vector<float>{12.5f, 13, 13.5f, 14, 16, 18}));
  kagfre(r);
  EXPECT_EQ(cap.text(), "");
}

TEST(GridArithmetic, UndefinedPointsAndOperationsWithoutValue) {
  grid_maker m;
  const float u = -999, su = -5;
  struct {
    int op;
    std::vector<float> a, b, want;
  } cases[] = {
      {kOpDivide, {1, su, 3, 4}, {2, 2, 0, u}, {0.5f, u, u, u}},
      {kOpPower, {-8, 4, 2, 0}, {0.5f, 0.5f, 3, -1}, {u, 2, 8, u}},
      {kOpAtan2,
       {0, 1, 0, -1},
       {0, 0, 1, 0},
       {0, float(std::atan2(1.0, 0.0)), 0, float(std::atan2(-1.0, 0.0))}},
      {kOpMaskout, {1, 2, 3, 4}, {0, -1, 5, -0.5f}, {1, u, 3, u}},
      {kOpMultiply, {3e38f, 2, 1, 1}, {10, 2, 1, 1}, {u, 4, 1, 1}},
  };
  for (const auto& c : cases) {
    grid_field* a = m.make(0, -1, 1, 4, 0, 0, c.a, su);
    grid_field* b = m.make(0, -1, 1, 4, 0, 0, c.b, u);
    grid_field* r = kagrop(a, b, c.op, 1);
    ASSERT_EQ(r, b);
    std::vector<float> got = values_of(r);
    for (size_t k = 0; k < 4; k++) {
      EXPECT_FALSE(std::isnan(got[k]));
      EXPECT_FLOAT_EQ(got[k], c.want[k]) << "op " << c.op << " point " << k;
    }
    kagfre(r);
  }
}

TEST(GridArithmetic, MismatchedGridsAreRefusedAndKept) {
  grid_maker m;
  struct {
    grid_field* a;
    grid_field* b;
    std::string out;
  } cases[] = {
      {m.make(0, -1, 1, 3, 0, 0, {1, 2, 3}), m.make(0, -1, 2, 4, 0, 0, {1, 2, 3}),
       "Operation error:  Incompatable grids \n  Dimension ranges aren't equivalent\n"
       "  Dimension = 0\n  1st grid range = 1 3   2nd = 2 4 \n"},
      {m.make(0, -1, 1, 2, 0, 0, {1, 2}), m.make(1, -1, 1, 2, 0, 0, {1, 2}),
       "Operation error:  Incompatable grids \n   Varying dimensions are different\n"
       "  1st grid dims = 0 -1   2nd = 1 -1 \n"},
  };
  for (auto& c : cases) {
    StdoutCapture cap;
    EXPECT_EQ(kagrop(c.a, c.b, kOpAdd, 1), nullptr);
    EXPECT_EQ(cap.text(), c.out);
    kagfre(c.a);  // both still belong to the caller
    kagfre(c.b);
  }
}

}  // namespace

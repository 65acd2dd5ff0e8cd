// Script expressions: number classification, operators and precedence,
// constants, variables and the failure messages.
#include <gtest/gtest.h>

#include "gs_support.h"

using gs_test::ExprRun;

using gs_test::expect_failure;
using gs_test::expect_values;

TEST(ScriptNumbers, OneLeadingSignDigitsAndAnExponentWithDigits) {
  long i = -1;
  double d = -1;
  struct {
    const char* text;
    int type;
  } cases[] = {
      {"", 0},           {".", 0},         {"--1", 0},       {"1990-01", 0},
      {"1.2.3", 0},      {"1e", 0},        {"1e+", 0},       {" 1", 0},
      {"+5", 1},         {"123456789", 1}, {"-12345678", 1}, {"1234567890", 2},
      {"-123456789", 2}, {"1.", 2},        {".5", 2},        {"1E-3", 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(gsnum(c.text, &i, &d), c.type) << '"' << c.text << '"';
  }
  ASSERT_EQ(gsnum("-42", &i, &d), 1);
  EXPECT_EQ(i, -42);
  EXPECT_EQ(d, -42.0);
  ASSERT_EQ(gsnum("2.5e2", &i, &d), 2);
  EXPECT_EQ(d, 250.0);
}

TEST(ScriptExpressions, ArithmeticPrecedenceAndResultForms) {
  ExprRun r;
  expect_values(r, {
                       {"1 + 2 * 3", "7"},
                       {"(1 + 2) * 3", "9"},
                       {"7 / 2", "3.5"},
                       {"10 - 4 - 3", "3"},
                       {"64 / 4 / 2", "8"},
                       {"-(-1)", "1"},
                       {"-'2.50'", "-2.5"},
                       {"1 - -1", "2"},
                       {"1234567890 + 1", "1234567891"},
                       {"0.1 + 0.2", "0.3"},
                       {"1 / 3", "0.333333333333333"},
                       {"2 * 3 'a'", "6a"},
                       {"'x' 1 + 2", "x3"},
                   });
}

TEST(ScriptExpressions, ComparisonsByNumberOrString) {
  ExprRun r;
  expect_values(r, {
                       {"'10' > '9'", "1"},
                       {"'abc' < 'abd'", "1"},
                       {"'a' < 'ab'", "1"},
                       {"'ab' < 'a'", "0"},
                       {"'abc' != 'abd'", "1"},
                       {"'01' = '1'", "1"},
                       {"1 = 1.0", "1"},
                       {"3 >= 3", "1"},
                       {"3 <= 2", "0"},
                       {"'1990-02' > '1990-01'", "1"},
                       {"'\xc3' < 'a'", "1"},
                       {"1 + 1 = 2 & 0 | 1", "1"},
                   });
}

TEST(ScriptExpressions, LogicOnlyZeroIsFalse) {
  ExprRun r;
  expect_values(r, {
                       {"!''", "1"},
                       {"!0", "1"},
                       {"!'0.0'", "0"},
                       {"'' | 0", "1"},
                       {"0 | 0", "0"},
                       {"1 & 0", "0"},
                   });
}

TEST(ScriptExpressions, ConstantsConcatenationAndVariables) {
  ExprRun r;
  r.set("name", "wind");
  r.set("_g", "global");
  r.set("i", "3");
  r.set("a.3", "three");
  expect_values(r, {
                       {"'a' % 'b'", "ab"},
                       {"'it''s'", "it's"},
                       {"\"say \"\"hi\"\"\"", "say \"hi\""},
                       {"1.50", "1.50"},
                       {"2e", "2e"},
                       {"name'.dat'", "wind.dat"},
                       {"_g", "global"},
                       {"unset_var", "unset_var"},
                       {"a.i", "three"},
                       {"b.i.j", "b.3.j"},
                   });
}

TEST(ScriptExpressions, FailuresPrintTheirMessage) {
  ExprRun r;
  const std::string non_numeric = "Non-numeric args to numeric operation\n";
  expect_failure(r, "", "Syntax Error\n");
  expect_failure(r, "1 * - - 1", "Syntax Error\n");
  expect_failure(r, "1 ! 2", "Syntax Error\n");
  expect_failure(r, "1 / 0", "Divide by zero\n");
  expect_failure(r, "'abc' + 1", non_numeric);
  expect_failure(r, "-'abc'", non_numeric);
  expect_failure(r, "(1", "Unmatched parens\n");
  expect_failure(r, "1)", "Unmatched parens\n");
  expect_failure(r, "'abc", "Non-terminated constant\n");
  expect_failure(r, "x.y(1)", "Invalid function name: x.y" + std::string(13, ' ') + "\n");
  expect_failure(r, "abcdefghijklmnopq",
                 "Variable name too long - 1st 16 chars are: abcdefghijklmnop\n");
}

TEST(ScriptExpressions, CompoundNamesThatDoNotFitFail) {
  ExprRun r;
  r.set("i", "abcdefghijklmnop");
  std::string out;
  EXPECT_FALSE(r.eval("a.i", &out).has_value());
  EXPECT_EQ(out, "Compound variable name too long: a.i" + std::string(13, ' '));
  // Sixteen characters in all still fit.
  r.set("k", "abcdefghijklmn");
  EXPECT_EQ(r.eval("a.k").value_or("?"), "a.abcdefghijklmn");
}

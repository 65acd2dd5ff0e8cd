// Deeply nested expressions, of the expression language and of scripts: a
// nesting that real work uses still runs, one past the limit (or past what a
// small stack holds) is refused with a message and the session goes on.
#include <gtest/gtest.h>

#include <string>

#include "dataset_files.h"
#include "support/live_session.h"

using namespace vemra_test;

namespace {

std::string repeat(const std::string& s, int n) {
  std::string r;
  for (int i = 0; i < n; i++) r += s;
  return r;
}

// n calls of f around the operand.
std::string nested(const std::string& f, int n, const std::string& operand) {
  return repeat(f + "(", n) + operand + repeat(")", n);
}

constexpr rlim_t kSmallStack = 128 * 1024;
const std::string kTooDeep = "Syntax Error:  Expression nested too deeply\n";

TEST(ExpressionNesting, DeepButReasonableNestingStillWorks) {
  TempDir dir;
  dsfiles::write_grid(dir, "g", 4, 2.5, 3, "zdef 1 levels 1000", 1, 1);
  // 999 parentheses around -2, 999 unary minus signs before 2 (odd: -2),
  // 150 nested function calls.
  const std::string parens = "d " + nested("", 999, "-2");
  const std::string minus = "d " + repeat("-", 999) + "2";
  const std::string calls = "d " + nested("abs", 150, "-2");
  RunResult r =
      run_batch("open g.ctl\nset gxout stat\n" + parens + "\n" + minus + "\n" + calls + "\nquit\n",
                dir.path());
  EXPECT_TRUE(contains(dsfiles::answer(r.out, parens), "Min, Max = -2 -2\n"));
  EXPECT_TRUE(contains(dsfiles::answer(r.out, minus), "Min, Max = -2 -2\n"));
  EXPECT_TRUE(contains(dsfiles::answer(r.out, calls), "Min, Max = 2 2\n"));
  EXPECT_FALSE(contains(r.out, "nested too deeply"));
}

// Under a 128 KB stack: 150 nested calls are more than the stack holds,
// 1900 parentheses and 4000 unary minus signs more than the limit.
TEST(ExpressionNesting, TooDeepIsRefusedUnderASmallStack) {
  TempDir dir;
  dsfiles::write_grid(dir, "g", 4, 2.5, 3, "zdef 1 levels 1000", 1, 1);
  const std::string calls = "d " + nested("sqrt", 150, "1");
  const std::string parens = "d " + nested("", 1900, "1");
  const std::string minus = "d " + repeat("-", 4000) + "1";
  RunResult r = run_vemra(
      {"-b", "-l"},
      "open g.ctl\nset gxout stat\n" + calls + "\n" + parens + "\n" + minus + "\nd 1+1\nquit\n",
      dir.path(), {}, 60, kSmallStack);
  EXPECT_EQ(r.status, 0) << r.out.substr(r.out.size() > 400 ? r.out.size() - 400 : 0);
  EXPECT_EQ(dsfiles::answer(r.out, calls).rfind(kTooDeep, 0), 0u);
  // The scan stops at the first level past the limit.
  EXPECT_EQ(dsfiles::answer(r.out, parens).rfind(kTooDeep + "  Error ocurred at column 1001\n", 0),
            0u);
  EXPECT_EQ(dsfiles::answer(r.out, minus).rfind(kTooDeep + "  Error ocurred at column 1001\n", 0),
            0u);
  EXPECT_TRUE(contains(dsfiles::answer(r.out, "d 1+1"), "Min, Max = 2 2\n"));
}

// A script's own expressions have a limit of their own; an expression it
// sends as a command is refused as one typed.
TEST(ExpressionNesting, ScriptExpressionsUnderASmallStack) {
  TempDir dir;
  dsfiles::write_grid(dir, "g", 4, 2.5, 3, "zdef 1 levels 1000", 1, 1);
  write_file(dir.file("ok.gs"), "x = " + nested("", 995, "-(-(7))") + "\nsay 'ok ' x\n");
  write_file(dir.file("parens.gs"), "x = " + nested("", 1900, "1") + "\nsay 'not reached'\n");
  write_file(dir.file("minus.gs"), "x = " + nested("-", 2000, "1") + "\nsay 'not reached'\n");
  write_file(dir.file("calls.gs"), "say " + nested("math_abs", 150, "-1") + "\n");
  write_file(dir.file("cmd.gs"),
             "'set gxout stat'\n'd " + nested("sqrt", 150, "1") + "'\nsay 'rc=' rc\n");
  RunResult r = run_vemra(
      {"-b", "-l"},
      "open g.ctl\nrun ok.gs\nrun parens.gs\nrun minus.gs\nrun calls.gs\nrun cmd.gs\nquit\n",
      dir.path(), {}, 60, kSmallStack);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(dsfiles::answer(r.out, "run ok.gs"), "ok 7\n");
  const std::string refused = "Error:  Expression nested too deeply (1000 levels)\n";
  EXPECT_EQ(dsfiles::answer(r.out, "run parens.gs").rfind(refused, 0), 0u);
  EXPECT_EQ(dsfiles::answer(r.out, "run minus.gs").rfind(refused, 0), 0u);
  EXPECT_TRUE(contains(dsfiles::answer(r.out, "run calls.gs"), "Function calls nested too deeply"));
  const std::string cmd = dsfiles::answer(r.out, "run cmd.gs");
  EXPECT_TRUE(contains(cmd, kTooDeep));
  EXPECT_TRUE(contains(cmd, "rc=1\n"));
}

}  // namespace

// Built-in functions of scripts: string slicing, number test, files,
// function-file switches and mathematics, with their exact messages.
#include <gtest/gtest.h>

#include <cmath>

#include "gs_support.h"

using gs_test::expect_failure;
using gs_test::expect_value;
using gs_test::expect_values;
using gs_test::ExprRun;

TEST(ScriptBuiltins, StringSlicing) {
  ExprRun r;
  r.set("two", "first line\nsecond line");
  r.set("three", "l1\nl2\n");
  expect_values(r, {
                       {"substr('abcdef', 3, 2)", "cd"},
                       {"substr('abcdef', 5, 10)", "ef"},
                       {"substr('abc', 4, 1)", ""},
                       {"subwrd('a   b', 2)", "b"},
                       {"subwrd('a b', 3)", ""},
                       {"subwrd(two, 3)", "second"},
                       {"subwrd('  lead', 1)", "lead"},
                       {"wrdpos('  ab cd', 2)", "6"},
                       {"wrdpos('ab', 2)", "0"},
                       {"sublin(two, 2)", "second line"},
                       {"sublin(three, 3)", ""},
                       {"sublin('one', 1)", "one"},
                       {"math_strlen('abc')", "3"},
                   });
  // Nested calls and arguments holding commas and parentheses.
  expect_value(r, "subwrd(substr('x a,b (c) y', 3, 9), 2)", "(c)");
  expect_value(r, "substr('(a,b)', 2, 3)", "a,b");
}

TEST(ScriptBuiltins, StringSlicingErrors) {
  // Each message once, and each function's own count check that guards
  // its second argument.
  ExprRun r;
  expect_failure(r, "substr()", "Error in substr:  1st argument missing\n");
  expect_failure(r, "substr('abc')", "Error in substr:  2nd argument missing\n");
  expect_failure(r, "substr('abc', 1.5, 1)", "Error in substr:  2nd argument invalid.\n");
  expect_failure(r, "substr('abc', 1)", "Error in substr:  3rd argument missing\n");
  expect_failure(r, "substr('abc', 1, 'x')", "Error in substr:  3rd argument invalid.\n");
  expect_failure(r, "subwrd('a')", "Error in subwrd:  2nd argument missing\n");
  expect_failure(r, "subwrd('a', -1)", "Error in subwrd:  2nd argument invalid.\n");
  expect_failure(r, "sublin('a')", "Error in sublin:  2nd argument missing\n");
  expect_failure(r, "sublin('a', 'b')", "Error in sublin:  2nd argument invalid.\n");
  expect_failure(r, "wrdpos('a')", "Error in wrdpos:  2nd argument missing\n");
  expect_failure(r, "wrdpos('a', 0)", "Error in wrdpos:  2nd argument invalid.\n");
  expect_failure(r, "valnum()", "Error in valnum:  Argument missing\n");
}

TEST(ScriptBuiltins, ValnumAndSwitches) {
  ExprRun r;
  expect_values(r, {
                       {"valnum('12')", "1"},
                       {"valnum('-1.5')", "2"},
                       {"valnum('abc')", "0"},
                       {"gsfallow('yes')", "999"},
                   });
  EXPECT_EQ(r.run().gsfallow, 0);
  expect_value(r, "gsfallow('On')", "1");
  EXPECT_EQ(r.run().gsfallow, 1);
  expect_value(r, "gsfallow('OFF')", "0");
  EXPECT_EQ(r.run().gsfallow, 0);
  expect_value(r, "gsfpath('lib other')", "1");
  EXPECT_EQ(r.run().fpath, "lib other");
  expect_failure(r, "gsfallow()", "Error in gsfallow:  Argument missing\n");
  expect_failure(r, "gsfpath()", "Error in gsfpath:  Argument missing\n");
}

TEST(ScriptBuiltins, ArgumentLists) {
  ExprRun r;
  // f(1,) has one argument; a blank or nothing is an empty expression.
  expect_value(r, "subwrd('a b',2,)", "b");
  expect_failure(r, "subwrd(,1)", "Syntax Error\nError occurred processing function arguments\n");
  expect_failure(r, "subwrd('a', 1", "Unmatched parens on function call\n");
  expect_failure(r, "Substr('abc', 1, 1)",
                 "Function not found: Substr" + std::string(10, ' ') + "\n");
}

TEST(ScriptBuiltins, MathFunctionsAtKnownPoints) {
  ExprRun r;
  // Values printed by python3 with "%.15g".
  expect_values(r, {
                       {"math_log(2.5)", "0.916290731874155"},
                       {"math_log10(2.5)", "0.397940008672038"},
                       {"math_cos(0.7)", "0.764842187284488"},
                       {"math_sin(0.7)", "0.644217687237691"},
                       {"math_tan(0.7)", "0.842288380463079"},
                       {"math_atan(0.7)", "0.610725964389209"},
                       {"math_sqrt(2)", "1.4142135623731"},
                       {"math_acosh(1.5)", "0.962423650119207"},
                       {"math_asinh(0.7)", "0.652666566082356"},
                       {"math_atanh(0.3)", "0.309519604203112"},
                       {"math_cosh(0.7)", "1.25516900563094"},
                       {"math_sinh(0.7)", "0.758583701839533"},
                       {"math_exp(0.7)", "2.01375270747048"},
                       {"math_tanh(0.7)", "0.604367777117164"},
                       {"math_acos(0.3)", "1.2661036727795"},
                       {"math_asin(0.3)", "0.304692654015398"},
                       {"math_atan2(1, -1)", "2.35619449019234"},
                   });
  // Extra arguments are ignored.
  expect_values(r, {
                       {"math_pow(2, 10)", "1024"},
                       {"math_fmod(7.5, 2)", "1.5"},
                       {"math_int(-1.5)", "-2"},
                       {"math_nint(2.5)", "3"},
                       {"math_nint(-2.5)", "-2"},
                       {"math_mod(7.5, 2)", "1"},
                       {"math_abs(-3, 'x') + 1", "4"},
                   });
}

TEST(ScriptBuiltins, MathErrors) {
  ExprRun r;
  expect_failure(r, "math_cos()", "Error in math_cos:  Argument missing\n");
  expect_failure(r, "math_sqrt('x')", "Error in math_sqrt:  Argument not a valid numeric\n");
  expect_failure(r, "math_log(0)", "Error in math_log:  Argument less than or equal to zero\n");
  expect_failure(r, "math_pow(2)", "Error in pow:  2rd argument missing\n");
  expect_failure(r, "math_mod(2, '1-')", "Error in mod:  2rd argument invalid.\n");
}

TEST(ScriptBuiltins, MathFormatTakesOneFloatingConversion) {
  ExprRun r;
  expect_values(r, {
                       {"math_format('%.3e', 1234.5)", "1.234e+03"},
                       {"math_format('%-6.1f|', 2)", "2.0   |"},
                       {"math_format('%+08.2f', -1.5)", "-0001.50"},
                       {"math_format('%5.1f%%', 12.34)", " 12.3%"},
                       {"math_format('T=%.0lf', 7.6)", "T=8"},
                   });
  expect_value(r, "math_format('%31.1f', 1)", std::string(28, ' ') + "1.0");
  const char* bad[] = {"%n", "%f %f", "abc", "%%", "%*f", "%5.2", "%Lf", "%123f", "%.100f", "%"};
  for (const char* f : bad) {
    std::string out;
    EXPECT_FALSE(r.eval(std::string("math_format('") + f + "', 1)", &out).has_value()) << f;
    EXPECT_EQ(out.rfind("Error in math_format:  invalid format: " + std::string(f) + "\n", 0), 0u)
        << f << ": " << out;
  }
  // A NUL inside the format would cut it short on its way to the C library.
  r.set("nulfmt", std::string("%5\0f", 4));
  EXPECT_FALSE(r.eval("math_format(nulfmt, 1)").has_value());
  expect_failure(r, "math_format('%123456789012.2f', 1)",
                 "Error in math_format:  argument: %123456789012.2f  too long < 15\n");
  // Output that would not fit the result is refused, not cut or overrun.
  expect_failure(r, "math_format('%32.1f', 1)",
                 "Error in math_format:  result longer than 31 characters\n");
}

TEST(ScriptBuiltins, ReadWriteAndCloseFiles) {
  vemra_test::TempDir dir;
  ExprRun r;
  r.set("f", dir.file("out.txt"));
  r.set("missing", dir.file("none.txt"));
  expect_value(r, "read(missing)", "1\n");
  // Two writes without a third argument make a fresh file of two lines.
  vemra_test::write_file(dir.file("out.txt"), "old contents\n");
  expect_value(r, "write(f, 'line one')", "0");
  expect_value(r, "write(f, 'line two', 'append')", "0");
  std::string out;
  auto v = r.eval("read(f)", &out);
  EXPECT_EQ(v.value_or("?"), "8\n");
  EXPECT_EQ(out, "Error in read:  attempt to read a file open for write\n  File name = " +
                     dir.file("out.txt") + "\n");
  expect_value(r, "close(f)", "0");
  EXPECT_EQ(vemra_test::read_file(dir.file("out.txt")), "line one\nline two\n");
  // The first write with a third argument appends to what is there.
  expect_value(r, "write(f, 'line three', 1)", "0");
  expect_value(r, "close(f)", "0");
  EXPECT_EQ(vemra_test::read_file(dir.file("out.txt")), "line one\nline two\nline three\n");
  // Reading keeps the newline; after the last line comes code 2.
  expect_values(r, {
                       {"read(f)", "0\nline one\n"},
                       {"read(f)", "0\nline two\n"},
                       {"read(f)", "0\nline three\n"},
                       {"read(f)", "2\n"},
                   });
  v = r.eval("write(f, 'x')", &out);
  EXPECT_EQ(v.value_or("?"), "8");
  EXPECT_EQ(out, "Error in write: attempt to write a file open for read\n  File name = " +
                     dir.file("out.txt") + "\n");
  expect_value(r, "close(f)", "0");
  v = r.eval("close(f)", &out);
  EXPECT_EQ(v.value_or("?"), "1");
  EXPECT_EQ(out, "Error in close:  file not open\n  File name = " + dir.file("out.txt") + "\n");
  expect_value(r, "write('" + dir.file("no/such/dir.txt") + "', 'x')", "1");
  // Nor is a name with a NUL cut short to the name of another file.
  r.set("nulname", dir.file("cut") + std::string("\0.txt", 5));
  expect_value(r, "write(nulname, 'x')", "1");
  EXPECT_FALSE(vemra_test::file_exists(dir.file("cut")));
  expect_failure(r, "read()", "Error in read:  File name missing\n");
  expect_failure(r, "write(f)", "Error in write:  Output Record arg is missing\n");
}

TEST(ScriptBuiltins, LongLinesAreReadInPieces) {
  vemra_test::TempDir dir;
  std::string longline(1000, 'x');
  vemra_test::write_file(dir.file("long.txt"), longline + "\nend\n");
  ExprRun r;
  r.set("f", dir.file("long.txt"));
  expect_value(r, "read(f)", "0\n" + std::string(596, 'x'));
  expect_value(r, "read(f)", "0\n" + std::string(404, 'x') + "\n");
  expect_value(r, "read(f)", "0\nend\n");
  expect_value(r, "read(f)", "2\n");
}

// Word matching, stepping and the number parsers of the command language.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/words.h"

TEST(Words, CmpwrdComparesFirstWordsOnly) {
  EXPECT_EQ(cmpwrd("set\n", "set"), 1);
  EXPECT_EQ(cmpwrd("set", "setx"), 0);
  EXPECT_EQ(cmpwrd("se", "set"), 0);
  EXPECT_EQ(cmpwrd("\tclear", "clear all"), 1);
  EXPECT_EQ(cmpwrd("set   x", "set"), 1);
  EXPECT_EQ(cmpwrd("", "   "), 1);
  EXPECT_EQ(cmpwrd("Set", "set"), 0);
  EXPECT_EQ(cmpwrd("quit\n", "quit\t"), 1);
}

TEST(Words, NxtwrdStepsToNextWord) {
  const char* one = "quit\n";
  EXPECT_EQ(nxtwrd(one), nullptr);
  const char* two = "d  x";
  ASSERT_NE(nxtwrd(two), nullptr);
  EXPECT_STREQ(nxtwrd(two), "x");
  const char* trail = "d   \n";
  EXPECT_EQ(nxtwrd(trail), nullptr);
  const char* onblank = "  abc def";
  EXPECT_STREQ(nxtwrd(onblank), "abc def");
  const char* tabs = "a\tb";
  EXPECT_STREQ(nxtwrd(tabs), "b");
}

TEST(Words, GetwrdAndGetstrCopyBounded) {
  char buf[8];
  getwrd(buf, "hello world", 7);
  EXPECT_STREQ(buf, "hello");
  getwrd(buf, "a\tb c", 7);  // a tab belongs to the word
  EXPECT_STREQ(buf, "a\tb");
  getwrd(buf, "abcdefghijk", 7);
  EXPECT_STREQ(buf, "abcdefg");
  getwrd(buf, " x", 7);
  EXPECT_STREQ(buf, "");
  char line[32];
  getstr(line, "My title  \n", 31);
  EXPECT_STREQ(line, "My title");
  getstr(line, "abc\t ", 31);  // only spaces are trimmed
  EXPECT_STREQ(line, "abc\t");
  getstr(line, "    ", 31);
  EXPECT_STREQ(line, "");
  getstr(line, "abcdef", 3);
  EXPECT_STREQ(line, "abc");
}

TEST(Words, IntprsSignsDigitsAndOverflow) {
  int v = 99;
  EXPECT_EQ(intprs("-", &v), nullptr);
  EXPECT_EQ(v, 0);
  const char* t = "+12z";
  EXPECT_EQ(intprs(t, &v), t + 3);
  EXPECT_EQ(v, 12);
  EXPECT_NE(intprs("-45", &v), nullptr);
  EXPECT_EQ(v, -45);
  EXPECT_EQ(intprs(" 5", &v), nullptr);  // no skipping of blanks
  EXPECT_NE(intprs("2147483647", &v), nullptr);
  EXPECT_EQ(v, INT_MAX);
  EXPECT_NE(intprs("-2147483648", &v), nullptr);
  EXPECT_EQ(v, INT_MIN);
  EXPECT_EQ(intprs("2147483648", &v), nullptr);
  EXPECT_EQ(intprs("99999999999999999999", &v), nullptr);
  long l = 0;
  EXPECT_NE(longprs("9000000000", &l), nullptr);
  EXPECT_EQ(l, 9000000000L);
  EXPECT_EQ(longprs("9223372036854775808", &l), nullptr);
}

TEST(Words, ValprsGrammar) {
  float v = 0;
  const char* t = "1.5e-3)";
  EXPECT_EQ(valprs(t, &v), t + 6);
  EXPECT_FLOAT_EQ(v, 0.0015f);
  EXPECT_NE(valprs("-.5", &v), nullptr);
  EXPECT_FLOAT_EQ(v, -0.5f);
  EXPECT_EQ(valprs("e5", &v), nullptr);
  t = "5-3";
  EXPECT_EQ(valprs(t, &v), t + 1);
  EXPECT_FLOAT_EQ(v, 5.0f);
  t = "1E5";
  EXPECT_EQ(valprs(t, &v), t + 1);
  EXPECT_FLOAT_EQ(v, 1.0f);
  EXPECT_NE(valprs("-+5", &v), nullptr);
  EXPECT_FLOAT_EQ(v, -5.0f);
  EXPECT_NE(valprs("+-5", &v), nullptr);
  EXPECT_FLOAT_EQ(v, -5.0f);
  EXPECT_EQ(valprs("--5", &v), nullptr);
  EXPECT_EQ(valprs("1ee", &v), nullptr);
  t = "1e5e";
  EXPECT_EQ(valprs(t, &v), t + 3);
  EXPECT_FLOAT_EQ(v, 1e5f);
  t = "1e";
  EXPECT_EQ(valprs(t, &v), t + 2);
  EXPECT_FLOAT_EQ(v, 1.0f);
  t = "3.25.7";
  EXPECT_EQ(valprs(t, &v), t + 4);
  EXPECT_FLOAT_EQ(v, 3.25f);
  EXPECT_NE(valprs("2.5e+2", &v), nullptr);
  EXPECT_FLOAT_EQ(v, 250.0f);
  EXPECT_EQ(valprs("1e--2", &v), nullptr);
  EXPECT_EQ(valprs("-", &v), nullptr);
  EXPECT_EQ(valprs(".", &v), nullptr);
  EXPECT_NE(valprs("1e400", &v), nullptr);
  EXPECT_TRUE(std::isinf(v));
}

TEST(Words, CaseFoldingAndBlankRemoval) {
  char a[] = "SET STRING \"Hello\" X\n";
  lowcas(a);
  EXPECT_STREQ(a, "set string \"Hello\" x\n");
  char b[] = "abc\"d\"\nxyz";
  uppcas(b);
  EXPECT_STREQ(b, "ABC\"D\"\nxyz");
  char c[] = "a + b";
  EXPECT_EQ(karemb(c), 3);
  EXPECT_STREQ(c, "a+b");
  char d[] = "\"a b\"";
  EXPECT_EQ(karemb(d), 3);
  EXPECT_STREQ(d, "a b");
  char e[] = "x\t+ y\nrest";
  EXPECT_EQ(karemb(e), 4);
  EXPECT_STREQ(e, "x\t+y");
}

TEST(Words, CmpchComparesFixedRuns) {
  EXPECT_EQ(cmpch("abcdefgh", "abcdefgh", 8), 0);
  EXPECT_EQ(cmpch("abcdefgX", "abcdefgh", 8), 1);
  EXPECT_EQ(cmpch("Xbcdefgh", "abcdefgh", 8), 1);
  EXPECT_EQ(cmpch("abc", "xyz", 0), 0);
  EXPECT_EQ(cmpch("abc", "xyz", -3), 0);
}

TEST(Words, KaeditAndGxdeci) {
  char buf[64];
  EXPECT_EQ(kaedit(3.14159f, buf, 2), 4);
  EXPECT_STREQ(buf, "3.14");
  kaedit(-0.5f, buf, 1);
  EXPECT_STREQ(buf, "-0.5");
  kaedit(0.05f, buf, 2);
  EXPECT_STREQ(buf, "0.05");
  kaedit(0.0f, buf, 3);
  EXPECT_STREQ(buf, "0");
  kaedit(1234.0f, buf, 0);
  EXPECT_STREQ(buf, "1234");
  kaedit(0.004f, buf, 4);
  EXPECT_STREQ(buf, "0.0040");
  kaedit(-7.0f, buf, 3);
  EXPECT_STREQ(buf, "-7.000");
  kaedit(0.0004f, buf, 2);  // rounds to zero
  EXPECT_STREQ(buf, "0");
  // 10^40 does not fit a float: fewer decimals, but the digits stay right.
  EXPECT_GT(kaedit(2.0f, buf, 40), 0);
  EXPECT_NEAR(std::strtod(buf, nullptr), 2.0, 1e-6);
  EXPECT_EQ(gxdeci(2.5f), 1);
  EXPECT_EQ(gxdeci(2.125f), 3);
  EXPECT_EQ(gxdeci(7.0f), 0);
  EXPECT_EQ(gxdeci(-0.25f), 2);
  EXPECT_EQ(gxdeci(0.123456f), 4);
}

// Word matching, stepping and the number parsers of the command language.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/words.h"

TEST(Words, CmpwrdComparesFirstWordsOnly) {
  EXPECT_EQ(cmpwrd("set\n", "set"), 1);
  EXPECT_EQ(cmpwrd("set", "setx"), 0);
  EXPECT_EQ(cmpwrd("se", "set"), 0);
  EXPECT_EQ(cmpwrd("\tclear", "clear all"), 1);
  EXPECT_EQ(cmpwrd("", "   "), 1);
  EXPECT_EQ(cmpwrd("Set", "set"), 0);
}

TEST(Words, NxtwrdStepsToNextWord) {
  const char* one = "quit\n";
  EXPECT_EQ(nxtwrd(one), nullptr);
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

// Number parsers: how much of the text they take (-1: refused) and the value.
TEST(Words, NumberParsers) {
  const struct {
    const char* text;
    int used;
    int value;
  } ints[] = {{"+12z", 3, 12},
              {"-45", 3, -45},
              {"2147483647", 10, INT_MAX},
              {"-2147483648", 11, INT_MIN},
              {"-", -1, 0},
              {" 5", -1, 0},  // no skipping of blanks
              {"2147483648", -1, 0},
              {"99999999999999999999", -1, 0}};
  for (const auto& c : ints) {
    int v = 99;
    const char* end = intprs(c.text, &v);
    EXPECT_EQ(end ? end - c.text : -1, c.used) << c.text;
    if (end) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
  int v = 99;
  intprs("-", &v);
  EXPECT_EQ(v, 0);
  long l = 0;
  EXPECT_NE(longprs("9000000000", &l), nullptr);
  EXPECT_EQ(l, 9000000000L);
  EXPECT_EQ(longprs("9223372036854775808", &l), nullptr);

  const struct {
    const char* text;
    int used;
    float value;
  } vals[] = {{"1.5e-3)", 6, 0.0015f}, {"-.5", 3, -0.5f},  {"5-3", 1, 5.0f},  {"1E5", 1, 1.0f},
              {"-+5", 3, -5.0f},       {"+-5", 3, -5.0f},  {"1e5e", 3, 1e5f}, {"1e", 2, 1.0f},
              {"3.25.7", 4, 3.25f},    {"2.5e+2", 6, 250}, {"e5", -1, 0},     {"--5", -1, 0},
              {"1ee", -1, 0},          {"1e--2", -1, 0},   {"-", -1, 0},      {".", -1, 0}};
  for (const auto& c : vals) {
    float f = 0;
    const char* end = valprs(c.text, &f);
    EXPECT_EQ(end ? end - c.text : -1, c.used) << c.text;
    if (end) {
      EXPECT_FLOAT_EQ(f, c.value) << c.text;
    }
  }
  // Past the float range, by exponent or by digits, or no number at all:
  // refused, the value left as it was.
  const std::string digits = "1" + std::string(40, '0');
  for (const char* text : {"1e400", "1e39", "-3.5e38", "0e400", digits.c_str()}) {
    float f = 7;
    EXPECT_EQ(valprs(text, &f), nullptr) << text;
    EXPECT_EQ(f, 7) << text;
  }
  float f = 0;
  EXPECT_NE(valprs("3.4e38", &f), nullptr);
  EXPECT_FLOAT_EQ(f, 3.4e38f);
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

TEST(Words, KaeditAndGxdeci) {
  const struct {
    float v;
    int digits;
    const char* text;
  } cases[] = {{3.14159f, 2, "3.14"}, {-0.5f, 1, "-0.5"},   {0.05f, 2, "0.05"},
               {0.0f, 3, "0"},        {1234.0f, 0, "1234"}, {0.004f, 4, "0.0040"},
               {-7.0f, 3, "-7.000"},  {0.0004f, 2, "0"}};  // the last rounds to zero
  char buf[64];
  for (const auto& c : cases) {
    EXPECT_EQ(kaedit(c.v, buf, c.digits), static_cast<int>(std::strlen(c.text))) << c.text;
    EXPECT_STREQ(buf, c.text);
  }
  // 10^40 does not fit a float: fewer decimals, but the digits stay right.
  EXPECT_GT(kaedit(2.0f, buf, 40), 0);
  EXPECT_NEAR(std::strtod(buf, nullptr), 2.0, 1e-6);
  for (auto [v, d] : {std::pair{2.5f, 1}, {2.125f, 3}, {7.0f, 0}, {-0.25f, 2}, {0.123456f, 4}})
    EXPECT_EQ(gxdeci(v), d) << v;
}

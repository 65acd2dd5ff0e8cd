// Users' number formats: only one floating conversion reaches printf, and the
// result never overruns its buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/userfmt.h"

TEST(UserFormat, AcceptsExactlyOneFloatingConversion) {
  const char* good[] = {"%g",     "%5.1f", "%-8.3e", "%+G",        "T=%g%%",
                        "%%%f%%", "%lf",   "%.0f K", "% 010.255f", "%#a"};
  for (const char* f : good) EXPECT_EQ(kafmtok(f), 1) << f;
  const char* bad[] = {"",    "abc",    "%%",     "%d", "%s", "%g %g", "%n", "%*g",  "%.*f", "%Lf",
                       "%hf", "%1000g", "%.256f", "%",  "%5", "%g%",   "%p", "%g%s", "%i",   "%c"};
  for (const char* f : bad) EXPECT_EQ(kafmtok(f), 0) << f;
  EXPECT_EQ(kafmtok(nullptr), 0);
}

TEST(UserFormat, FormatsIntoBoundedBuffer) {
  char out[16];
  EXPECT_EQ(kafmtv(out, sizeof out, "%5.1f%%", 3.14159), 6);
  EXPECT_STREQ(out, "  3.1%");
  // A wide field is cut at the buffer, never written past it.
  char buf[32];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(kafmtv(buf, 8, "%200.3f", 1.0), 7);
  EXPECT_EQ(std::strlen(buf), 7u);
  EXPECT_EQ(buf[8], 'x');
  // A refused format writes nothing but an empty text.
  std::strcpy(out, "old");
  EXPECT_EQ(kafmtv(out, sizeof out, "%s", 1.0), -1);
  EXPECT_STREQ(out, "");
}

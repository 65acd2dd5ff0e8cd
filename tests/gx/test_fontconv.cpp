// The build-time font converter, run on small glyph files.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "support/vemra_run.h"

using vemra_test::TempDir;
using vemra_test::file_exists;
using vemra_test::read_file;
using vemra_test::write_file;

namespace {

// The converter is built beside the data directory it fills.
std::string fontconv() { return std::string(VEMRA_DATA_DIR) + "/../tools/fontconv"; }

int run(const std::string& in, const std::string& out) {
  std::string cmd = "'" + fontconv() + "' '" + in + "' '" + out + "' 2>/dev/null";
  int st = std::system(cmd.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// A glyph file line: 5-column glyph number, then the glyph.
std::string jhf(int number, const std::string& glyph) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%5d", number);
  return buf + glyph + "\n";
}

class FontConv : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(file_exists(fontconv())) << fontconv(); }
  TempDir dir;
};

TEST_F(FontConv, JoinsWrappedGlyphsAndDropsTheNumbers) {
  std::string in;
  for (int i = 0; i < 96; ++i) {
    if (i == 33)  // 'A', wrapped over two lines, CR LF line ends
      in += "  701  5H\\NJPIS\r\nFS[\r\n";
    else
      in += jhf(700 + i, "  2JZRR");
  }
  write_file(dir.file("in.jhf"), in);
  ASSERT_EQ(run(dir.file("in.jhf"), dir.file("f.dat")), 0);
  std::string out = read_file(dir.file("f.dat"));
  std::string want;
  for (int i = 0; i < 95; ++i) want += (i == 33) ? "  5H\\NJPISFS[\n" : "  2JZRR\n";
  EXPECT_EQ(out, want);
}

TEST_F(FontConv, RefusesBadInputAndWritesNothing) {
  std::string good;
  for (int i = 0; i < 95; ++i) good += jhf(1, "  2JZRR");
  const std::string cases[] = {
      good.substr(0, good.size() - 13),          // 94 glyphs
      good + jhf(1, "  3JZRR"),                  // file ends inside a glyph
      jhf(1, "  1JZRR") + good,                  // longer than its count
      jhf(1, " x2JZRR") + good,                  // count not a number
      jhf(1, "2  JZRR") + good,                  // count not blank-padded
      jhf(1, "  2JZR\x01") + good,               // control character in a pair
  };
  int k = 0;
  for (const std::string& c : cases) {
    write_file(dir.file("in.jhf"), c);
    std::string out = dir.file("out" + std::to_string(k) + ".dat");
    EXPECT_NE(run(dir.file("in.jhf"), out), 0) << "case " << k;
    EXPECT_FALSE(file_exists(out)) << "case " << k;
    EXPECT_FALSE(file_exists(out + ".tmp")) << "case " << k;
    ++k;
  }
  EXPECT_NE(run(dir.file("missing.jhf"), dir.file("m.dat")), 0);
  EXPECT_FALSE(file_exists(dir.file("m.dat")));
}

}  // namespace

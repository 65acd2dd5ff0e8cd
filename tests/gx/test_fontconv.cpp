// The build-time font converter (a dependency of this test program),
// run on small glyph files.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "support/vemra_run.h"

namespace {

int fontconv(const std::string& in, const std::string& out) {
  std::string cmd = "'" VEMRA_FONTCONV "' '" + in + "' '" + out + "' 2>/dev/null";
  int st = std::system(cmd.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// A glyph file line: a 5-column glyph number, then the glyph.
std::string jhf(const std::string& glyph) { return "  700" + glyph + "\n"; }

TEST(FontConv, JoinsWrappedGlyphsDropsNumbersAndRefusesBadInput) {
  vemra_test::TempDir dir;
  std::string in, good, want;
  for (int i = 0; i < 96; ++i) {
    // 'A' is wrapped over two lines with CR LF line ends.
    in += i == 33 ? "  701  5H\\NJPIS\r\nFS[\r\n" : jhf("  2JZRR");
    if (i < 95) good += jhf("  2JZRR");
    if (i < 95) want += i == 33 ? "  5H\\NJPISFS[\n" : "  2JZRR\n";
  }
  vemra_test::write_file(dir.file("in.jhf"), in);
  ASSERT_EQ(fontconv(dir.file("in.jhf"), dir.file("f.dat")), 0);
  EXPECT_EQ(vemra_test::read_file(dir.file("f.dat")), want);

  const std::string bad[] = {
      good.substr(0, good.size() - 13),  // 94 glyphs
      good + jhf("  3JZRR"),             // ends inside a glyph
      jhf("  1JZRR") + good,             // longer than its count
      jhf(" x2JZRR") + good,             // count not a number
      jhf("2  JZRR") + good,             // count not blank-padded
      jhf("  2JZR\x01") + good,          // control character in a pair
  };
  for (size_t k = 0; k < std::size(bad); ++k) {
    vemra_test::write_file(dir.file("in.jhf"), bad[k]);
    std::string out = dir.file("out.dat");
    EXPECT_NE(fontconv(dir.file("in.jhf"), out), 0) << k;
    EXPECT_FALSE(vemra_test::file_exists(out) || vemra_test::file_exists(out + ".tmp")) << k;
  }
  EXPECT_NE(fontconv(dir.file("missing.jhf"), dir.file("m.dat")), 0);
}

}  // namespace

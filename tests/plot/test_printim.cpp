// Plots written by printim, read back pixel by pixel: shaded bands and
// grid boxes must be their colours where the scaling puts them.
#include <gtest/gtest.h>

#include <gd.h>

#include <cstdio>
#include <string>

#include "support/vemra_run.h"

namespace {

using vemra_test::TempDir;

const std::string sample = std::string(VEMRA_DATA_DIR) + "/../sample/sample.ctl";

// RGB of the pixel under page point (x, y) inches of an 11 x 8.5 page
// written 800 x 600.
int rgb_at(const std::string& file, float x, float y) {
  FILE* f = std::fopen(file.c_str(), "rb");
  if (!f) return -1;
  gdImagePtr im = gdImageCreateFromPng(f);
  std::fclose(f);
  if (!im) return -1;
  int c = gdImageGetPixel(im, int(x * 800 / 11), int((8.5f - y) * 600 / 8.5f));
  int v = gdImageRed(im, c) << 16 | gdImageGreen(im, c) << 8 | gdImageBlue(im, c);
  gdImageDestroy(im);
  return v;
}

// The image colours 2 and 4.
constexpr int red = 240 << 16;
constexpr int blue = 31 << 16 | 61 << 8 | 250;

TEST(Printim, ShadedBandsAreTheirColours) {
  TempDir dir;
  for (const char* type : {"shaded", "grfill"}) {
    std::string png = dir.file(std::string(type) + ".png");
    auto r = vemra_test::run_batch("open " + sample +
                                       "\nset clevs 0\nset ccols 2 4\nset mpdraw off\n"
                                       "set grid off\nset gxout " + type +
                                       "\nd lat\nprintim " + png + " white\n",
                                   dir.path());
    ASSERT_NE(r.out.find("Contouring at clevs =  0\n"), std::string::npos) << r.out;
    // Global lat-lon plot: x 0.5..10.5 for 0..360, y 1.25..7.25 for -90..90.
    auto x = [](float lon) { return 0.5f + 10 * lon / 360; };
    auto y = [](float lat) { return 1.25f + 6 * (lat + 90) / 180; };
    for (float lon : {30.0f, 100.0f, 200.0f, 330.0f}) {
      EXPECT_EQ(rgb_at(png, x(lon), y(45)), blue) << type << " " << lon;
      EXPECT_EQ(rgb_at(png, x(lon), y(-45)), red) << type << " " << lon;
      EXPECT_EQ(rgb_at(png, x(lon), y(80)), blue) << type << " " << lon;
    }
    // Outside the plot area the page stays white.
    EXPECT_EQ(rgb_at(png, 5.5f, 8.0f), 0xffffff) << type;
  }
}

}  // namespace

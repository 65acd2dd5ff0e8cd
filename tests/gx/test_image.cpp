// Image output: frames built record by record in the display list, rendered
// to PNG/GIF and read back with gd.

#include <gd.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "gx/gx.h"
#include "gx/image.h"
#include "gx/metafile.h"
#include "support/vemra_run.h"

using vemra_test::TempDir;
using vemra_test::file_exists;
using vemra_test::read_file;

namespace {

struct image_deleter {
  void operator()(gdImage* im) const {
    if (im) gdImageDestroy(im);
  }
};
using image_ptr = std::unique_ptr<gdImage, image_deleter>;

image_ptr load(const std::string& name) {
  FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) return nullptr;
  char magic[4] = {};
  size_t n = std::fread(magic, 1, 4, f);
  std::rewind(f);
  gdImagePtr im = nullptr;
  if (n == 4 && std::string(magic, 3) == "GIF") im = gdImageCreateFromGif(f);
  else im = gdImageCreateFromPng(f);
  std::fclose(f);
  return image_ptr(im);
}

struct rgb {
  int r, g, b;
  bool operator==(const rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream& operator<<(std::ostream& os, const rgb& c) {
  return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

rgb at(const image_ptr& im, int x, int y) {
  int c = gdImageGetPixel(im.get(), x, y);
  return {gdImageRed(im.get(), c), gdImageGreen(im.get(), c), gdImageBlue(im.get(), c)};
}

const rgb kWhite{255, 255, 255}, kBlack{0, 0, 0}, kRed{240, 0, 0}, kBlue{31, 61, 250},
    kGreen{0, 220, 0};

// An 11 x 8.5 page rendered at 1100 x 850: one inch is 100 pixels, and the
// inch (x, y) is pixel (100 x, 850 - 100 y).
class ImageTest : public ::testing::Test {
 protected:
  void SetUp() override { gxhnew(11.0f, 8.5f); }
  void TearDown() override { gxhnew(11.0f, 8.5f); }
  int render(const std::string& name, int w = 1100, int h = 850, int bg = 1, int fmt = 0) {
    return gxhpng(dir.file(name).c_str(), w, h, bg, fmt);
  }
  image_ptr render_load(const std::string& name = "t.png") {
    EXPECT_EQ(render(name), 0);
    return load(dir.file(name));
  }
  TempDir dir;
};

TEST_F(ImageTest, DefaultSizeFollowsPageOrientation) {
  ASSERT_EQ(gxhpng(dir.file("l.png").c_str(), kImageSizeUnset, kImageSizeUnset, 1, 0), 0);
  auto l = load(dir.file("l.png"));
  ASSERT_TRUE(l);
  EXPECT_EQ(gdImageSX(l.get()), 800);
  EXPECT_EQ(gdImageSY(l.get()), 600);
  EXPECT_FALSE(gdImageTrueColor(l.get()));

  gxhnew(8.5f, 11.0f);
  ASSERT_EQ(gxhpng(dir.file("p.png").c_str(), 300, kImageSizeUnset, 1, 0), 0);
  auto p = load(dir.file("p.png"));
  ASSERT_TRUE(p);
  EXPECT_EQ(gdImageSX(p.get()), 600);
  EXPECT_EQ(gdImageSY(p.get()), 800);

  ASSERT_EQ(gxhpng(dir.file("s.png").c_str(), 320, 240, 1, 0), 0);
  auto s = load(dir.file("s.png"));
  ASSERT_TRUE(s);
  EXPECT_EQ(gdImageSX(s.get()), 320);
  EXPECT_EQ(gdImageSY(s.get()), 240);
}

TEST_F(ImageTest, BackgroundChoiceSwapsColoursZeroAndOne) {
  hout1(MF_COLOUR, 1);
  hout2(MF_MOVE, 1, 1);
  hout2(MF_DRAW, 2, 1);
  hout1(MF_COLOUR, 0);
  hout4(MF_RECT, 3, 4, 3, 4);
  ASSERT_EQ(render("w.png", 1100, 850, 1), 0);
  ASSERT_EQ(render("b.png", 1100, 850, 0), 0);
  auto w = load(dir.file("w.png")), b = load(dir.file("b.png"));
  ASSERT_TRUE(w && b);
  EXPECT_EQ(at(w, 5, 5), kWhite);
  EXPECT_EQ(at(w, 150, 750), kBlack);
  EXPECT_EQ(at(w, 350, 550), kWhite);
  EXPECT_EQ(at(b, 5, 5), kBlack);
  EXPECT_EQ(at(b, 150, 750), kWhite);
  EXPECT_EQ(at(b, 350, 550), kBlack);
  // Only the colours really drawn take palette entries.
  EXPECT_EQ(gdImageColorsTotal(w.get()), 2);
}

TEST_F(ImageTest, LinesLandOnMappedPixelsWithEndsIncluded) {
  hout1(MF_COLOUR, 2);
  hout2(MF_MOVE, 1, 1);
  hout2(MF_DRAW, 2, 1);  // row 750, columns 100..200
  hout2(MF_MOVE, 5, 1);
  hout2(MF_DRAW, 5, 2);  // column 500, rows 650..750
  auto im = render_load();
  ASSERT_TRUE(im);
  for (int x = 100; x <= 200; ++x) EXPECT_EQ(at(im, x, 750), kRed) << x;
  EXPECT_EQ(at(im, 99, 750), kWhite);
  EXPECT_EQ(at(im, 201, 750), kWhite);
  EXPECT_EQ(at(im, 150, 749), kWhite);
  EXPECT_EQ(at(im, 150, 751), kWhite);
  for (int y = 650; y <= 750; ++y) EXPECT_EQ(at(im, 500, y), kRed) << y;
  EXPECT_EQ(at(im, 500, 649), kWhite);
  EXPECT_EQ(at(im, 500, 751), kWhite);
  EXPECT_EQ(at(im, 499, 700), kWhite);
  EXPECT_EQ(at(im, 501, 700), kWhite);
}

TEST_F(ImageTest, SlopedLinesHaveNoGaps) {
  hout1(MF_COLOUR, 3);
  hout2(MF_MOVE, 1, 1);
  hout2(MF_DRAW, 3, 1.5f);  // shallow: (100,750) to (300,700)
  hout2(MF_MOVE, 6, 1);
  hout2(MF_DRAW, 6.5f, 3);  // steep: (600,750) to (650,550)
  auto im = render_load();
  ASSERT_TRUE(im);
  // Every column of the shallow line and every row of the steep line holds
  // exactly one run of line pixels.
  for (int x = 100; x <= 300; ++x) {
    int hits = 0;
    for (int y = 690; y <= 760; ++y) hits += at(im, x, y) == kGreen;
    EXPECT_GE(hits, 1) << "column " << x;
  }
  for (int y = 550; y <= 750; ++y) {
    int hits = 0;
    for (int x = 590; x <= 660; ++x) hits += at(im, x, y) == kGreen;
    EXPECT_EQ(hits, 1) << "row " << y;
  }
  EXPECT_EQ(at(im, 100, 750), kGreen);
  EXPECT_EQ(at(im, 300, 700), kGreen);
  EXPECT_EQ(at(im, 600, 750), kGreen);
  EXPECT_EQ(at(im, 650, 550), kGreen);
  // Nothing beyond the ends.
  EXPECT_EQ(at(im, 99, 750), kWhite);
  EXPECT_EQ(at(im, 301, 700), kWhite);
}

TEST_F(ImageTest, ThickLinesGainPixelsToTheSide) {
  hout1(MF_COLOUR, 2);
  hout2i(MF_WIDTH, 3, 5);
  hout2(MF_MOVE, 1, 1);
  hout2(MF_DRAW, 2, 1);  // thickness 5: one pixel
  hout2i(MF_WIDTH, 3, 6);
  hout2(MF_MOVE, 1, 2);
  hout2(MF_DRAW, 2, 2);  // 6: rows 649 and 650
  hout2i(MF_WIDTH, 6, 12);
  hout2(MF_MOVE, 1, 3);
  hout2(MF_DRAW, 2, 3);  // 12: rows 549..551
  hout2(MF_MOVE, 5, 1);
  hout2(MF_DRAW, 5.2f, 3);  // steep, 12: columns around the line
  auto im = render_load();
  ASSERT_TRUE(im);
  EXPECT_EQ(at(im, 150, 749), kWhite);
  EXPECT_EQ(at(im, 150, 750), kRed);
  EXPECT_EQ(at(im, 150, 751), kWhite);
  EXPECT_EQ(at(im, 150, 648), kWhite);
  EXPECT_EQ(at(im, 150, 649), kRed);
  EXPECT_EQ(at(im, 150, 650), kRed);
  EXPECT_EQ(at(im, 150, 651), kWhite);
  EXPECT_EQ(at(im, 150, 548), kWhite);
  EXPECT_EQ(at(im, 150, 549), kRed);
  EXPECT_EQ(at(im, 150, 550), kRed);
  EXPECT_EQ(at(im, 150, 551), kRed);
  EXPECT_EQ(at(im, 150, 552), kWhite);
  // The steep line starts at (500, 750): three pixels wide across.
  EXPECT_EQ(at(im, 498, 750), kWhite);
  EXPECT_EQ(at(im, 499, 750), kRed);
  EXPECT_EQ(at(im, 500, 750), kRed);
  EXPECT_EQ(at(im, 501, 750), kRed);
  EXPECT_EQ(at(im, 502, 750), kWhite);
}

TEST_F(ImageTest, RectanglesAndUserColours) {
  hout1(MF_COLOUR, 4);
  hout4(MF_RECT, 1, 2, 1, 2);
  hout4i(MF_DEFCOL, 20, 10, 20, 30);
  hout1(MF_COLOUR, 20);
  hout4(MF_RECT, 3, 4, 1, 2);
  hout1(MF_COLOUR, 50);  // never defined: grey
  hout4(MF_RECT, 5, 6, 1, 2);
  hout4i(MF_DEFCOL, 20, 200, 100, 50);  // redefined: a second palette entry
  hout1(MF_COLOUR, 20);
  hout4(MF_RECT, 7, 8, 1, 2);
  auto im = render_load();
  ASSERT_TRUE(im);
  EXPECT_EQ(at(im, 150, 700), kBlue);
  EXPECT_EQ(at(im, 100, 650), kBlue);
  EXPECT_EQ(at(im, 200, 750), kBlue);
  EXPECT_EQ(at(im, 99, 700), kWhite);
  EXPECT_EQ(at(im, 201, 700), kWhite);
  EXPECT_EQ(at(im, 350, 700), (rgb{10, 20, 30}));
  EXPECT_EQ(at(im, 550, 700), (rgb{125, 125, 125}));
  EXPECT_EQ(at(im, 750, 700), (rgb{200, 100, 50}));
  EXPECT_EQ(gdImageColorsTotal(im.get()), 6);
}

TEST_F(ImageTest, PolygonsFillAndCloseOnce) {
  hout1(MF_COLOUR, 2);
  hout1(MF_POLYBGN, 3);
  hout2(MF_MOVE, 1, 1);
  hout2(MF_DRAW, 3, 1);
  hout2(MF_DRAW, 2, 3);
  hout0(MF_POLYEND);
  ASSERT_EQ(render("open.png"), 0);
  gxhnew(11.0f, 8.5f);
  hout1(MF_COLOUR, 2);
  hout1(MF_POLYBGN, 4);
  hout2(MF_MOVE, 1, 1);
  hout2(MF_DRAW, 3, 1);
  hout2(MF_DRAW, 2, 3);
  hout2(MF_DRAW, 1, 1);
  hout0(MF_POLYEND);
  ASSERT_EQ(render("closed.png"), 0);
  auto a = load(dir.file("open.png")), b = load(dir.file("closed.png"));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(at(a, 200, 700), kRed);
  EXPECT_EQ(at(a, 200, 551), kRed);
  EXPECT_EQ(at(a, 110, 600), kWhite);
  EXPECT_EQ(at(a, 290, 600), kWhite);
  // The polygon's outline is not stroked: only its inside is painted.
  int diff = 0, red = 0;
  for (int y = 500; y <= 800; ++y)
    for (int x = 50; x <= 350; ++x) {
      diff += !(at(a, x, y) == at(b, x, y));
      red += at(a, x, y) == kRed;
    }
  EXPECT_EQ(diff, 0);
  // Area of the triangle is 200 * 200 / 2 pixels; the scan rounds its edges.
  EXPECT_NEAR(red, 20000, 500);
}

TEST_F(ImageTest, PolygonWithMoreThan32767Points) {
  // The 16-bit count of the record wraps; the points must all be used.
  const int n = 40000;
  hout1(MF_COLOUR, 4);
  hout1(MF_POLYBGN, n);
  for (int i = 0; i < n; ++i) {
    double a = 2 * M_PI * i / n;
    float x = static_cast<float>(5.5 + 3 * std::cos(a)), y = static_cast<float>(4.25 + 3 * std::sin(a));
    hout2(i == 0 ? MF_MOVE : MF_DRAW, x, y);
  }
  hout0(MF_POLYEND);
  auto im = render_load();
  ASSERT_TRUE(im);
  // A disc of radius 300 pixels around (550, 425).
  EXPECT_EQ(at(im, 550, 425), kBlue);
  EXPECT_EQ(at(im, 550 + 290, 425), kBlue);
  EXPECT_EQ(at(im, 550 - 290, 425), kBlue);
  EXPECT_EQ(at(im, 550, 425 + 290), kBlue);
  EXPECT_EQ(at(im, 550, 425 - 290), kBlue);
  EXPECT_EQ(at(im, 550 + 205, 425 + 205), kBlue);  // 290 px out
  EXPECT_EQ(at(im, 550 + 220, 425 + 220), kWhite);  // beyond 300 px
  EXPECT_EQ(at(im, 550 + 310, 425), kWhite);
}

TEST_F(ImageTest, FullPaletteTakesTheClosestColour) {
  // Background white and black take two entries; 254 redefinitions of one
  // colour, each used once, fill the 256-entry palette.
  for (int i = 1; i <= 254; ++i) {
    hout4i(MF_DEFCOL, 20, i, 0, 0);
    hout1(MF_COLOUR, 20);
  }
  hout4i(MF_DEFCOL, 20, 0, 0, 250);
  hout1(MF_COLOUR, 20);
  hout4(MF_RECT, 1, 2, 1, 2);
  hout1(MF_COLOUR, 3);  // a built-in colour that no longer fits either
  hout4(MF_RECT, 3, 4, 1, 2);
  auto im = render_load();
  ASSERT_TRUE(im);
  EXPECT_EQ(gdImageColorsTotal(im.get()), 256);
  EXPECT_EQ(at(im, 150, 700), kBlack);
  // (0, 220, 0) is nearest to black among white, black and the reds.
  EXPECT_EQ(at(im, 350, 700), kBlack);
  EXPECT_EQ(at(im, 5, 5), kWhite);
}

TEST_F(ImageTest, DoubleBufferingRendersTheCompletedFrame) {
  hout1(MF_COLOUR, 2);
  hout4(MF_RECT, 1, 2, 1, 2);
  gxhfrm(2);  // that frame is now on show; drawing goes on in the other set
  hout1(MF_COLOUR, 4);
  hout4(MF_RECT, 3, 4, 1, 2);
  auto im = render_load();
  ASSERT_TRUE(im);
  EXPECT_EQ(at(im, 150, 700), kRed);
  EXPECT_EQ(at(im, 350, 700), kWhite);
  gxhfrm(1);  // single buffering again: the frame being drawn is empty
  auto im2 = render_load("t2.png");
  ASSERT_TRUE(im2);
  EXPECT_EQ(at(im2, 150, 700), kWhite);
  EXPECT_EQ(at(im2, 350, 700), kWhite);
}

TEST_F(ImageTest, GifOutput) {
  hout1(MF_COLOUR, 2);
  hout4(MF_RECT, 1, 2, 1, 2);
  ASSERT_EQ(render("t.gif", 1100, 850, 1, 1), 0);
  std::string head = read_file(dir.file("t.gif")).substr(0, 4);
  EXPECT_EQ(head, "GIF8");
  auto im = load(dir.file("t.gif"));
  ASSERT_TRUE(im);
  EXPECT_EQ(gdImageSX(im.get()), 1100);
  EXPECT_EQ(at(im, 150, 700), kRed);
  EXPECT_EQ(at(im, 50, 700), kWhite);
}

TEST_F(ImageTest, PixelMappingAtThePageEdgeAndBeyondInt32) {
  // A draw to x = 11 inches maps to column 800 of an 800-wide image, one
  // past the last: ignored, no harm.
  hout1(MF_COLOUR, 2);
  hout2(MF_MOVE, 10.9f, 1);
  hout2(MF_DRAW, 11.0f, 1);
  ASSERT_EQ(render("edge.png", 800, 600), 0);
  auto e = load(dir.file("edge.png"));
  ASSERT_TRUE(e);
  // 10.9 in -> column 792; row 600 - 600 * 1000 / 8500 = 530.
  EXPECT_EQ(at(e, 792, 530), kRed);
  EXPECT_EQ(at(e, 799, 530), kRed);
  EXPECT_EQ(at(e, 791, 530), kWhite);

  // A 0.01-inch page: the largest stored coordinate maps far off the
  // image, where 32-bit products of the line walk would overflow.
  gxhnew(0.01f, 0.01f);
  hout1(MF_COLOUR, 2);
  hout2(MF_MOVE, 0, 0);
  hout2(MF_DRAW, 32.76f, 32.76f);
  ASSERT_EQ(gxhpng(dir.file("far.png").c_str(), 100, 100, 1, 0), 0);
  auto f = load(dir.file("far.png"));
  ASSERT_TRUE(f);
  // From (0, 100) to (327600, -327500): x = 100 - y on the image.
  EXPECT_EQ(at(f, 1, 99), kRed);
  EXPECT_EQ(at(f, 50, 50), kRed);
  EXPECT_EQ(at(f, 99, 1), kRed);
  EXPECT_EQ(at(f, 50, 51), kWhite);
}

TEST_F(ImageTest, BadSizesAreRefusedWithoutAFile) {
  for (auto [w, h] : {std::pair{0, 600}, {800, 0}, {-5, 600}, {800, -1}, {20000, 600}, {800, 100000}}) {
    std::string name = dir.file("bad.png");
    testing::internal::CaptureStdout();
    int rc = gxhpng(name.c_str(), w, h, 1, 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 2) << w << "x" << h;
    EXPECT_NE(out.find("refused"), std::string::npos) << out;
    EXPECT_FALSE(file_exists(name)) << w << "x" << h;
  }
}

TEST_F(ImageTest, OpenFailureIsResultOne) {
  std::string name = dir.file("no/such/dir/x.png");
  testing::internal::CaptureStdout();
  int rc = gxhpng(name.c_str(), 100, 100, 1, 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(out, "Open error on " + name + "\n");
}

TEST_F(ImageTest, FileOnlyRecordsInMemoryAreLogicErrors) {
  struct {
    int code;
    const char* msg;
  } cases[] = {{MF_EOF, "Logic Error 4 in gxhpng.  Notify Developer\n"},
               {MF_HEADER, "Logic Error 8 in gxhpng.  Notify Developer\n"},
               {MF_NEWFRAME, "Logic Error 12 in gxhpng.  Notify Developer\n"},
               {-30, "Logic Error 20 in gxhpng.  Notify Developer\n"}};
  for (const auto& c : cases) {
    gxhnew(11.0f, 8.5f);
    hout1(MF_COLOUR, 2);
    hout0(c.code);
    std::string name = dir.file("le.png");
    testing::internal::CaptureStdout();
    int rc = gxhpng(name.c_str(), 100, 100, 1, 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 2);
    EXPECT_EQ(out, c.msg);
    EXPECT_FALSE(file_exists(name));
  }
}

TEST(ImageRaster, FillRulesOnASquareAndAnEmptyPolygon) {
  image_ptr im(gdImageCreate(20, 20));
  int white = gdImageColorAllocate(im.get(), 255, 255, 255);
  int red = gdImageColorAllocate(im.get(), 255, 0, 0);
  gdImageFilldPolygon(im.get(), nullptr, 0, red);
  const int sq[] = {5, 5, 10, 5, 10, 10, 5, 10};
  gdImageFilldPolygon(im.get(), sq, 4, red);
  int count = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      bool in = x >= 5 && x <= 10 && y >= 5 && y <= 10;
      EXPECT_EQ(gdImageGetPixel(im.get(), x, y), in ? red : white) << x << "," << y;
      count += in;
    }
  EXPECT_EQ(count, 36);
}

}  // namespace

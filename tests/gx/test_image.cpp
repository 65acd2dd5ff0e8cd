// Image output: frames built record by record in the display list, rendered
// to PNG/GIF and read back with gd. An 11 x 8.5 page at 1100 x 850 pixels
// puts the inch (x, y) on pixel (100 x, 850 - 100 y).

#include <gd.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "support/library_peer.h"
#include "gx/gx.h"
#include "gx/image.h"
#include "gx/metafile.h"
#include "support/vemra_run.h"
#include "support/stdout_capture.h"

namespace {

const int kWhite = 0xffffff, kBlack = 0, kRed = 0xf00000, kBlue = 0x1f3dfa;

struct image {
  gdImagePtr im = nullptr;
  explicit image(const std::string& name) {
    if (FILE* f = std::fopen(name.c_str(), "rb")) {
      im = vemra_test::read_file(name).rfind("GIF", 0) == 0 ? peer::gdImageCreateFromGif(f)
                                                            : peer::gdImageCreateFromPng(f);
      std::fclose(f);
    }
  }
  ~image() {
    if (im) peer::gdImageDestroy(im);
  }
  int at(int x, int y) const {
    int c = peer::gdImageGetPixel(im, x, y);
    return gdImageRed(im, c) << 16 | gdImageGreen(im, c) << 8 | gdImageBlue(im, c);
  }
};

class ImageTest : public ::testing::Test {
 protected:
  void SetUp() override { gxhnew(11.0f, 8.5f); }
  void TearDown() override { gxhnew(11.0f, 8.5f); }
  std::string file(const char* n) { return dir.file(n); }
  int render(const char* n, int w = 1100, int h = 850, int bg = 1, int fmt = 0) {
    return gxhpng(file(n).c_str(), w, h, bg, fmt);
  }
  vemra_test::TempDir dir;
};

void line(float x1, float y1, float x2, float y2) {
  hout2(MF_MOVE, x1, y1);
  hout2(MF_DRAW, x2, y2);
}

TEST_F(ImageTest, LinesEndsThicknessAndBackground) {
  hout1(MF_COLOUR, 2);
  line(1, 1, 2, 1);        // row 750, columns 100..200
  line(5, 1, 5, 2);        // column 500, rows 650..750
  line(6, 1, 6.5f, 3);     // sloped: (600, 750) to (650, 550)
  hout2i(MF_WIDTH, 3, 6);  // the device thickness (second operand) counts
  line(1, 2, 2, 2);
  hout2i(MF_WIDTH, 6, 12);
  line(1, 3, 2, 3);
  line(7, 1, 7.2f, 3);  // steep: widened sideways
  hout1(MF_COLOUR, 1);
  line(8, 1, 9, 1);
  ASSERT_EQ(render("w.png"), 0);
  gxdbck(false);  // unset: the window's background, here black
  ASSERT_EQ(render("ub.png", 1100, 850, -999), 0);
  image w(file("w.png")), ub(file("ub.png"));
  ASSERT_TRUE(w.im && ub.im);
  for (int x = 100; x <= 200; ++x) EXPECT_EQ(w.at(x, 750), kRed) << x;
  for (int y = 650; y <= 750; ++y) EXPECT_EQ(w.at(500, y), kRed) << y;
  for (int y = 550; y <= 750; ++y) {  // no gaps, no doubled pixels
    int hits = 0;
    for (int x = 590; x <= 660; ++x) hits += w.at(x, y) == kRed;
    EXPECT_EQ(hits, 1) << "row " << y;
  }
  // Nothing past the ends or beside a thin line.
  for (auto [x, y] : {std::pair{99, 750},
                      {201, 750},
                      {150, 749},
                      {150, 751},
                      {500, 649},
                      {500, 751},
                      {499, 700},
                      {501, 700}})
    EXPECT_EQ(w.at(x, y), kWhite) << x << "," << y;
  // Thickness 6: a second row above; 12: a third below.
  const int rows6[] = {kWhite, kRed, kRed, kWhite}, rows12[] = {kWhite, kRed, kRed, kRed, kWhite};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(w.at(150, 648 + i), rows6[i]) << i;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(w.at(150, 548 + i), rows12[i]) << i;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(w.at(698 + i, 750), rows12[i]) << i;  // steep
  // Colour 1 is the foreground of the chosen background.
  EXPECT_EQ(w.at(5, 5), kWhite);
  EXPECT_EQ(w.at(850, 750), kBlack);
  EXPECT_EQ(ub.at(5, 5), kBlack);
  EXPECT_EQ(ub.at(850, 750), kWhite);
}

TEST_F(ImageTest, UserColoursAndAFullPalette) {
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
  ASSERT_EQ(render("c.png"), 0);
  // 250 more redefinitions, each used, fill the 256 entries; then a new
  // blue and the built-in green must take the closest existing entries:
  // colour 4 (distance 31, 61, 0) and the grey (125, 95, 125).
  for (int i = 1; i <= 250; ++i) {
    hout4i(MF_DEFCOL, 20, i, 0, 0);
    hout1(MF_COLOUR, 20);
  }
  hout4i(MF_DEFCOL, 20, 0, 0, 250);
  hout1(MF_COLOUR, 20);
  hout4(MF_RECT, 9, 10, 1, 2);
  hout1(MF_COLOUR, 3);
  hout4(MF_RECT, 9, 10, 3, 4);
  ASSERT_EQ(render("f.png"), 0);
  image c(file("c.png")), f(file("f.png"));
  ASSERT_TRUE(c.im && f.im);
  EXPECT_EQ(c.at(100, 650), kBlue);  // rectangles include their edges
  EXPECT_EQ(c.at(99, 700), kWhite);
  EXPECT_EQ(c.at(350, 700), 0x0a141e);
  EXPECT_EQ(c.at(550, 700), 0x7d7d7d);
  EXPECT_EQ(c.at(750, 700), 0xc86432);
  EXPECT_EQ(gdImageColorsTotal(c.im), 6);  // only colours really drawn
  EXPECT_EQ(gdImageColorsTotal(f.im), 256);
  EXPECT_EQ(f.at(950, 700), kBlue);
  EXPECT_EQ(f.at(950, 500), 0x7d7d7d);
}

TEST_F(ImageTest, PolygonsCloseOnceAndTakeAnyNumberOfPoints) {
  for (int closed = 0; closed < 2; ++closed) {
    gxhnew(11.0f, 8.5f);
    hout1(MF_COLOUR, 2);
    hout1(MF_POLYBGN, 3 + closed);
    line(1, 1, 3, 1);
    hout2(MF_DRAW, 2, 3);
    if (closed) hout2(MF_DRAW, 1, 1);
    hout0(MF_POLYEND);
    ASSERT_EQ(render(closed ? "c.png" : "o.png"), 0);
  }
  // More points than the 16-bit count word holds: a disc of radius 300 px.
  gxhnew(11.0f, 8.5f);
  const int n = 40000;
  hout1(MF_COLOUR, 4);
  hout1(MF_POLYBGN, n);
  for (int i = 0; i < n; ++i) {
    double a = 2 * M_PI * i / n;
    hout2(i ? MF_DRAW : MF_MOVE, static_cast<float>(5.5 + 3 * std::cos(a)),
          static_cast<float>(4.25 + 3 * std::sin(a)));
  }
  hout0(MF_POLYEND);
  ASSERT_EQ(render("d.png"), 0);
  image o(file("o.png")), c(file("c.png")), d(file("d.png"));
  ASSERT_TRUE(o.im && c.im && d.im);
  int diff = 0, red = 0;
  for (int y = 500; y <= 800; ++y)
    for (int x = 50; x <= 350; ++x) {
      diff += o.at(x, y) != c.at(x, y);
      red += o.at(x, y) == kRed;
    }
  EXPECT_EQ(diff, 0);
  EXPECT_NEAR(red, 20000, 500);  // 200 x 200 / 2, edges rounded by the scan
  EXPECT_EQ(o.at(200, 551), kRed);
  EXPECT_EQ(o.at(110, 600), kWhite);
  for (auto [dx, dy, want] : {std::tuple{0, 0, kBlue},
                              {-290, 0, kBlue},
                              {0, 290, kBlue},
                              {205, 205, kBlue},
                              {220, 220, kWhite},
                              {310, 0, kWhite}})
    EXPECT_EQ(d.at(550 + dx, 425 + dy), want) << dx << "," << dy;
}

TEST_F(ImageTest, PixelMappingAtTheEdgeAndBeyond32Bits) {
  // 11 inches on 800 pixels is column 800, one past the last: ignored.
  hout1(MF_COLOUR, 2);
  line(10.9f, 1, 11, 1);
  ASSERT_EQ(render("e.png", 800, 600), 0);
  // A 0.01-inch page sends the largest stored coordinate to pixel 327600,
  // where 32-bit products of the line walk overflow.
  gxhnew(0.01f, 0.01f);
  hout1(MF_COLOUR, 2);
  line(0, 0, 32.76f, 32.76f);
  ASSERT_EQ(render("f.png", 100, 100), 0);
  image e(file("e.png")), f(file("f.png"));
  ASSERT_TRUE(e.im && f.im);
  // 10.9 in: column 792; row 600 - 600 * 1000 / 8500 = 530.
  EXPECT_EQ(e.at(791, 530), kWhite);
  EXPECT_EQ(e.at(799, 530), kRed);
  // From (0, 100) to (327600, -327500): x = 100 - y on the image.
  EXPECT_EQ(f.at(1, 99), kRed);
  EXPECT_EQ(f.at(99, 1), kRed);
  EXPECT_EQ(f.at(50, 51), kWhite);
}

TEST_F(ImageTest, FailuresLeaveNoFile) {
  auto attempt = [&](int w, int h, int* rc) {
    StdoutCapture cap;
    *rc = render("x.png", w, h);
    std::string out = cap.text();
    EXPECT_FALSE(vemra_test::file_exists(file("x.png")));
    return out;
  };
  int rc;
  for (auto [w, h] : {std::pair{0, 600}, {800, -1}, {20000, 600}}) {
    EXPECT_NE(attempt(w, h, &rc).find("refused"), std::string::npos);
    EXPECT_EQ(rc, 2);
  }
  hout0(static_cast<metafile_opcode>(-30));  // no such record
  EXPECT_EQ(attempt(100, 100, &rc), "Logic Error 20 in gxhpng.  Notify Developer\n");
  EXPECT_EQ(rc, 2);
  gxhnew(11.0f, 8.5f);
  std::string name = file("no/such/dir/x.png");
  EXPECT_EQ(stdout_of([&] { EXPECT_EQ(gxhpng(name.c_str(), 100, 100, 1, 0), 1); }),
            "Open error on " + name + "\n  No such file or directory\n");
  // A write failure through a link to a full device reports and keeps the link.
  std::string link = file("full.png");
  ASSERT_EQ(::symlink("/dev/full", link.c_str()), 0);
  EXPECT_EQ(stdout_of([&] { EXPECT_EQ(gxhpng(link.c_str(), 100, 100, 1, 0), 2); }),
            "Write error on " + link + "\n  No space left on device\n");
  struct stat st;
  EXPECT_EQ(::lstat(link.c_str(), &st), 0);

  // A frame the display list had no room for all of gives no picture, and
  // the old file stays. While double buffering the picture is of the
  // completed frame: refused where that was cut, written where only the
  // frame drawn behind it is.
  const struct {
    const char* what;
    bool double_buffer;
    bool cut_completed;  // else the frame drawn after the swap is cut
    int rc;
  } frames[] = {
      {"a cut frame", false, false, 2},
      {"a cut completed frame", true, true, 2},
      {"a whole completed frame, the next one cut", true, false, 0},
  };
  const std::string kept = file("kept.png");
  auto fill = [] {
    for (int i = 0; i < 500; i++) line(1, 1, 2, 2);
  };
  for (const auto& f : frames) {
    SCOPED_TRACE(f.what);
    gxhnew(11.0f, 8.5f);
    gxhlimits(100, 2);
    vemra_test::write_file(kept, "old");
    const std::string drawn = stdout_of([&] {
      if (f.double_buffer) gxhfrm(frame_action::double_buffer);
      if (f.cut_completed || !f.double_buffer) fill();
      if (!f.double_buffer) return;
      gxhfrm(frame_action::double_buffer);
      if (!f.cut_completed) fill();
    });
    EXPECT_EQ(drawn, "Out of buffer space\n");
    const std::string said =
        stdout_of([&] { EXPECT_EQ(gxhpng(kept.c_str(), 100, 100, 1, 0), f.rc); });
    if (f.rc == 0) {
      EXPECT_EQ(said, "");
      EXPECT_EQ(vemra_test::read_file(kept).substr(1, 3), "PNG");
    } else {
      EXPECT_EQ(said,
                "The display list had no room for all of this frame: no picture of it is made\n");
      EXPECT_EQ(vemra_test::read_file(kept), "old");
    }
  }
  gxhlimits(0, 0);
}

TEST(ImageRaster, SquareFillIncludesItsEdges) {
  gdImagePtr im = gdImageCreate(20, 20);
  int white = gdImageColorAllocate(im, 255, 255, 255), red = gdImageColorAllocate(im, 255, 0, 0);
  gdImageFilldPolygon(im, nullptr, 0, red);
  const int sq[] = {5, 5, 10, 5, 10, 10, 5, 10};
  gdImageFilldPolygon(im, sq, 4, red);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x)
      EXPECT_EQ(peer::gdImageGetPixel(im, x, y),
                (x >= 5 && x <= 10 && y >= 5 && y <= 10) ? red : white);
  gdImageDestroy(im);
}

}  // namespace

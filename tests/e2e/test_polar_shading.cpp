// Shading on the polar maps when the grid read covers more than one turn of
// longitude: a global grid whose points miss 0 and 360 (here 1.81E every
// 1.8 degrees) read for "set lon 0 360" runs from -1.79 to 361.81, 363.6
// degrees. The image must show no blank wedge where the ends overlap.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "support/vemra_run.h"

using namespace vemra_test;

namespace {

// An image read back through ImageMagick as a binary PPM.
struct rgb_image {
  int w = 0, h = 0;
  std::string px;
  bool white(int x, int y) const {
    const size_t at = 3 * (size_t(y) * size_t(w) + size_t(x));
    return px.compare(at, 3, "\xff\xff\xff") == 0;
  }
};

rgb_image read_png(const std::string& file) {
  rgb_image im;
  FILE* p = popen(("convert '" + file + "' ppm:- 2>/dev/null").c_str(), "r");
  if (!p) return im;
  std::string all;
  char buf[65536];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) all.append(buf, n);
  pclose(p);
  std::istringstream head(all);
  std::string magic;
  int maxval = 0;
  if (!(head >> magic >> im.w >> im.h >> maxval) || magic != "P6" || maxval != 255) return {};
  const size_t start = size_t(head.tellg()) + 1;
  if (all.size() < start + 3 * size_t(im.w) * size_t(im.h)) return {};
  im.px = all.substr(start);
  return im;
}

// A field that grows with latitude: every ring a colour band.
void write_ring_grid(const TempDir& dir, float lat0) {
  const int nx = 200, ny = 31;
  write_file(dir.file("r.ctl"),
             "dset ^r.dat\nundef -9.99e33\nxdef 200 linear 1.81 1.8\nydef 31 linear " +
                 std::to_string(lat0) +
                 " 2\nzdef 1 levels 1000\ntdef 1 linear 00z01jan2000 1dy\n"
                 "vars 1\nv 0 0 ring\nendvars\n");
  std::string data;
  for (int j = 0; j < ny; j++)
    for (int i = 0; i < nx; i++) {
      const float v = float(j);
      data.append(reinterpret_cast<const char*>(&v), 4);
    }
  write_file(dir.file("r.dat"), data);
}

// Pixels of the image (800 x 600 for the 11 x 8.5 page) that are left white
// along the meridians from 3 degrees west to 3 degrees east of 0 (1 degree
// apart), between the latitudes given; the page positions come from the
// session's own map ("q ll2xy").
int blank_pixels(const std::string& proj, float lat0, float lat1, float lat2, int* looked) {
  TempDir dir;
  write_ring_grid(dir, lat0);
  std::string in = "open r.ctl\nset mproj " + proj + "\nset lon 0 360\nset lat " +
                   std::to_string(lat0) + " " + std::to_string(lat0 + 60) +
                   "\nset gxout shaded\nset mpdraw off\nset grid off\nset timelab off\n"
                   "set gxout stat\nd v\nset gxout shaded\nd v\nprintim s.png white\n";
  std::vector<std::pair<int, int>> points;
  for (int lon = -3; lon <= 3; lon++)
    for (float lat = lat1; lat <= lat2; lat += 0.5f)
      in += "q ll2xy " + std::to_string(lon) + " " + std::to_string(lat) + "\n";
  RunResult r = run_batch(in, dir.path());
  // The read really is wider than a turn.
  EXPECT_NE(r.out.find("I Dimension = -1 to 200 Linear -1.79 1.8\n"), std::string::npos) << r.out;
  rgb_image im = read_png(dir.file("s.png"));
  EXPECT_EQ(im.w, 800);
  EXPECT_EQ(im.h, 600);
  if (im.w != 800 || im.h != 600) return -1;
  std::istringstream ans(r.out);
  int blank = 0;
  *looked = 0;
  for (std::string line; std::getline(ans, line);) {
    if (line.rfind("ka-> q ll2xy", 0) != 0) continue;
    double x, y;
    std::getline(ans, line);
    if (!(std::istringstream(line) >> x >> y)) continue;
    const int px = int(x * 800 / 11), py = 599 - int(y * 600 / 8.5);
    ++*looked;
    blank += im.white(px, py);
  }
  return blank;
}

class PolarShading : public ::testing::Test {
 protected:
  void SetUp() override {
    FILE* p = popen("command -v convert", "r");
    char buf[256];
    const bool found = p && fgets(buf, sizeof buf, p);
    if (p) pclose(p);
    if (!found) GTEST_SKIP() << "ImageMagick not installed";
  }
};

}  // namespace

TEST_F(PolarShading, NoBlankWedgeOverTheNorthPole) {
  int looked = 0;
  EXPECT_EQ(blank_pixels("nps", 30, 32, 87, &looked), 0);
  EXPECT_EQ(looked, 7 * 111);
}

TEST_F(PolarShading, NoBlankWedgeOverTheSouthPole) {
  int looked = 0;
  EXPECT_EQ(blank_pixels("sps", -90, -87, -32, &looked), 0);
  EXPECT_EQ(looked, 7 * 111);
}

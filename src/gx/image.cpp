// Image output: renders the frame held in the display list into a palette
// image and writes it as PNG or GIF. Lines and polygon fills are rasterised
// here (no anti-aliasing); the image library holds the pixels, the palette
// and the encoders.

#include <gd.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "base/safefile.h"
#include "base/message.h"
#include "base/session.h"
#include "gx/gx.h"
#include "gx/image.h"
#include "gx/metafile.h"
#include "gx/xdriver.h"

namespace {

constexpr int kColours = 100;
constexpr int kMaxSide = 10000;  // pixels per side

struct image_colour {
  int r, g, b;
  bool allocated;
  int index;
};

const int kBuiltin[16][3] = {{0, 0, 0},      {255, 255, 255}, {240, 0, 0},    {0, 220, 0},
                             {31, 61, 250},  {0, 199, 199},   {220, 0, 99},   {230, 220, 51},
                             {240, 130, 41}, {161, 0, 199},   {161, 230, 51}, {0, 161, 230},
                             {230, 176, 46}, {0, 209, 140},   {110, 0, 220},  {125, 125, 125}};

// A palette entry for the colour; once the palette is full the closest
// existing entry stands in (never -1).
int palette_index(gdImagePtr im, int r, int g, int b) {
  int c = gdImageColorAllocate(im, r, g, b);
  if (c < 0) c = gdImageColorClosest(im, r, g, b);
  return c < 0 ? 0 : c;
}

void set_pixel(gdImagePtr im, int64_t x, int64_t y, int colour) {
  if (x < 0 || y < 0 || x >= gdImageSX(im) || y >= gdImageSY(im)) return;
  gdImageSetPixel(im, static_cast<int>(x), static_cast<int>(y), colour);
}

// Pixels from xa to xb (inclusive, any order) on row y, limited to the image.
void hspan(gdImagePtr im, int64_t xa, int64_t xb, int64_t y, int colour) {
  if (y < 0 || y >= gdImageSY(im)) return;
  if (xa > xb) std::swap(xa, xb);
  xa = std::max<int64_t>(xa, 0);
  xb = std::min<int64_t>(xb, gdImageSX(im) - 1);
  for (int64_t x = xa; x <= xb; ++x)
    gdImageSetPixel(im, static_cast<int>(x), static_cast<int>(y), colour);
}

void vspan(gdImagePtr im, int64_t x, int64_t ya, int64_t yb, int colour) {
  if (x < 0 || x >= gdImageSX(im)) return;
  if (ya > yb) std::swap(ya, yb);
  ya = std::max<int64_t>(ya, 0);
  yb = std::min<int64_t>(yb, gdImageSY(im) - 1);
  for (int64_t y = ya; y <= yb; ++y)
    gdImageSetPixel(im, static_cast<int>(x), static_cast<int>(y), colour);
}

// Rows outside the image are skipped without walking them, so far-off
// coordinates cost nothing.
void line64(gdImagePtr im, int64_t x1, int64_t y1, int64_t x2, int64_t y2, int colour) {
  if (x1 == x2) {
    vspan(im, x1, y1, y2, colour);
    return;
  }
  if (y1 == y2) {
    hspan(im, x1, x2, y1, colour);
    return;
  }
  if (y1 > y2) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  const int64_t dx = x2 - x1, dy = y2 - y1;
  auto xat = [&](int64_t y) { return x1 + (y - y1) * dx / dy; };
  int64_t ys = std::max<int64_t>(y1, 0);
  int64_t ye = std::min<int64_t>(y2, gdImageSY(im) - 1);
  if (ys > ye) return;
  bool first = ys == y1;
  int64_t prev = first ? 0 : xat(ys - 1);
  for (int64_t y = ys; y <= ye; ++y) {
    int64_t x = xat(y);
    set_pixel(im, x, y, colour);
    if (!first) {
      if (x > prev + 1)
        hspan(im, prev + 1, x - 1, y, colour);
      else if (x < prev - 1)
        hspan(im, x + 1, prev - 1, y, colour);
    }
    first = false;
    prev = x;
  }
}

void fill64(gdImagePtr im, const std::vector<int64_t>& pts, int colour) {
  const std::size_t n = pts.size() / 2;
  if (n == 0) return;
  int64_t miny = pts[1], maxy = pts[1];
  for (std::size_t i = 1; i < n; ++i) {
    miny = std::min(miny, pts[2 * i + 1]);
    maxy = std::max(maxy, pts[2 * i + 1]);
  }
  int64_t ys = std::max<int64_t>(miny, 0);
  int64_t ye = std::min<int64_t>(maxy, gdImageSY(im) - 1);
  std::vector<int64_t> cross;
  for (int64_t y = ys; y <= ye; ++y) {
    cross.clear();
    for (std::size_t i = 0; i < n; ++i) {
      std::size_t a = (i == 0) ? n - 1 : i - 1;
      int64_t xa = pts[2 * a], ya = pts[2 * a + 1];
      int64_t xb = pts[2 * i], yb = pts[2 * i + 1];
      if (ya == yb) continue;
      if (ya > yb) {
        std::swap(xa, xb);
        std::swap(ya, yb);
      }
      if ((y >= ya && y < yb) || (y == maxy && y > ya && y <= yb))
        cross.push_back((y - ya) * (xb - xa) / (yb - ya) + xa);
    }
    std::sort(cross.begin(), cross.end());
    for (std::size_t i = 0; i + 1 < cross.size(); i += 2)
      hspan(im, cross[i], cross[i + 1], y, colour);
  }
}

struct renderer {
  gdImagePtr im = nullptr;
  image_colour table[kColours];
  int64_t W = 0, H = 0, XR = 1, YR = 1;
  int colour = 1;
  int thick = 1;
  int64_t curx = 0, cury = 0;
  bool collecting = false;
  std::vector<int64_t> poly;

  int current() {
    image_colour& c = table[colour];
    if (!c.allocated) {
      c.index = palette_index(im, c.r, c.g, c.b);
      c.allocated = true;
    }
    return c.index;
  }
  int64_t px(int16_t ix) const { return W * ix / XR; }
  int64_t py(int16_t iy) const { return H - H * iy / YR; }
  double fpx(int16_t ix) const { return static_cast<double>(W) * ix / static_cast<double>(XR); }
  double fpy(int16_t iy) const {
    return static_cast<double>(H) - static_cast<double>(H) * iy / static_cast<double>(YR);
  }

  void draw_to(int64_t x, int64_t y) {
    int c = current();
    line64(im, curx, cury, x, y, c);
    if (thick > 5) {
      bool steep = std::llabs(x - curx) < std::llabs(y - cury);
      if (steep)
        line64(im, curx - 1, cury, x - 1, y, c);
      else
        line64(im, curx, cury - 1, x, y - 1, c);
      if (thick > 11) {
        if (steep)
          line64(im, curx + 1, cury, x + 1, y, c);
        else
          line64(im, curx, cury + 1, x, y + 1, c);
      }
    }
  }

  // 0, or the logic error number that ends the rendering.
  int record(const int16_t* r) {
    int code = r[0];
    switch (code) {
      case MF_COLOUR:
        colour = std::clamp<int>(r[1], 0, kColours - 1);
        current();
        break;
      case MF_WIDTH: thick = r[2]; break;
      case MF_DEFCOL: {
        int n = r[1];
        if (n < 0 || n >= kColours) break;
        image_colour& c = table[n];
        if (c.r != r[2] || c.g != r[3] || c.b != r[4]) {
          c.r = r[2];
          c.g = r[3];
          c.b = r[4];
          c.allocated = false;
        }
        break;
      }
      case MF_RECT: {
        // Floating point, limited to just outside the image before truncation.
        auto lim = [](double v, double hi) {
          return static_cast<int>(std::clamp(v, -1.0, hi + 1.0));
        };
        int x1 = lim(fpx(r[1]), static_cast<double>(W)),
            x2 = lim(fpx(r[2]), static_cast<double>(W));
        int y1 = lim(fpy(r[3]), static_cast<double>(H)),
            y2 = lim(fpy(r[4]), static_cast<double>(H));
        if (x1 > x2) std::swap(x1, x2);
        if (y1 > y2) std::swap(y1, y2);
        gdImageFilledRectangle(im, x1, y1, x2, y2, current());
        break;
      }
      case MF_POLYBGN:
        // The count is a 16-bit hint; the points are gathered as they come.
        poly.clear();
        if (r[1] > 0) poly.reserve(2 * (static_cast<std::size_t>(r[1]) + 1));
        collecting = true;
        break;
      case MF_MOVE:
        curx = px(r[1]);
        cury = py(r[2]);
        if (collecting) {
          poly.push_back(curx);
          poly.push_back(cury);
        }
        break;
      case MF_DRAW: {
        int64_t x = px(r[1]), y = py(r[2]);
        if (collecting) {
          std::size_t k = poly.size();
          if (k < 2 || poly[k - 2] != x || poly[k - 1] != y) {
            poly.push_back(x);
            poly.push_back(y);
          }
        } else {
          draw_to(x, y);
        }
        curx = x;
        cury = y;
        break;
      }
      case MF_POLYEND: {
        if (!collecting) return 16;
        std::size_t k = poly.size();
        if (k >= 2 && (poly[k - 2] != poly[0] || poly[k - 1] != poly[1])) {
          poly.push_back(poly[0]);
          poly.push_back(poly[1]);
        }
        fill64(im, poly, current());
        poly.clear();
        collecting = false;
        break;
      }
      default:  // fill pattern: solid fills only
        break;
    }
    return 0;
  }
};

// True when an encoded picture ends as its format ends: a PNG with its end
// chunk, a GIF with its trailer.
bool whole_encoding(const unsigned char* bytes, size_t size, int format) {
  if (format != 0) return size > 0 && bytes[size - 1] == 0x3b;
  static const unsigned char end[] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xae, 0x42, 0x60, 0x82};
  return size >= sizeof end && std::memcmp(bytes + size - sizeof end, end, sizeof end) == 0;
}

struct image_guard {
  gdImagePtr im;
  ~image_guard() {
    if (im) gdImageDestroy(im);
  }
};

}  // namespace

void gdImageLne(gdImagePtr im, int x1, int y1, int x2, int y2, int colour) {
  line64(im, x1, y1, x2, y2, colour);
}

void gdImageFilldPolygon(gdImagePtr im, const int* xy, int n, int colour) {
  if (n <= 0) return;
  std::vector<int64_t> pts(xy, xy + 2 * static_cast<std::size_t>(n));
  fill64(im, pts, colour);
}

int gxhpng(const char* name, int width, int height, int background, int format) {
  if (!name || !*name) {
    kaprntout("Open error on %s\n", name ? name : "");
    return 1;
  }
  float pw = 0, ph = 0;
  gxhpage(&pw, &ph);
  if (width == kImageSizeUnset || height == kImageSizeUnset) {
    width = pw > ph ? 800 : 600;
    height = pw > ph ? 600 : 800;
  }
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
    kaprntout("Image size %i x %i refused: each side must be 1 to %i pixels\n", width, height,
              kMaxSide);
    return 2;
  }
  const int64_t XR = static_cast<int64_t>(pw * 1000.0 + 0.5);
  const int64_t YR = static_cast<int64_t>(ph * 1000.0 + 0.5);
  if (XR < 1 || YR < 1) {
    kaprntout("Image output error: page size %g x %g\n", pw, ph);
    return 2;
  }
  if (background < -900) background = gxdbkq();
  const stored_frame which = gxhdbmode() ? stored_frame::completed : stored_frame::drawing;
  if (!gxhpicturable(which)) return 2;

  image_guard g{gdImageCreate(width, height)};
  if (!g.im) {
    kaprntout("Image output error: can't create a %i x %i image\n", width, height);
    return 2;
  }

  renderer rd;
  rd.im = g.im;
  rd.W = width;
  rd.H = height;
  rd.XR = XR;
  rd.YR = YR;
  for (int i = 0; i < kColours; ++i) rd.table[i] = {125, 125, 125, false, 0};
  for (int i = 0; i < 16; ++i)
    rd.table[i] = {kBuiltin[i][0], kBuiltin[i][1], kBuiltin[i][2], false, 0};
  // The first colour allocated is the image background.
  const int bg = background == 0 ? 0 : 255, fg = 255 - bg;
  rd.table[0] = {bg, bg, bg, true, palette_index(g.im, bg, bg, bg)};
  rd.table[1] = {fg, fg, fg, true, palette_index(g.im, fg, fg, fg)};

  // An interrupt ends the rendering; no file is made.
  constexpr int kInterrupted = -1;
  long records = 0;
  try {
    int err = gxhrecords(which, [&rd, &records](const int16_t* r) {
      if ((++records & 0xfff) == 0 && kaqsig()) return kInterrupted;
      return rd.record(r);
    });
    if (err == kInterrupted) {
      kaprntout("Image output interrupted\n");
      return 2;
    }
    if (err) {
      kaprntout("Logic Error %i in gxhpng.  Notify Developer\n", err);
      return 2;
    }
  } catch (const std::bad_alloc&) {
    kaprntout("Memory allocation error: gxhpng\n");
    return 2;
  }

  // Encoded in memory first: an interrupt during the encoding, which cannot
  // look at it, then leaves the old file as it was. An encoder that fails
  // (for want of memory) may have written part of the picture: only one it
  // reports done and that ends as its format ends is written.
  int length = 0;
  std::unique_ptr<void, decltype(&gdFree)> encoding(
      format == 0 ? gdImagePngPtr(g.im, &length) : gdImageGifPtr(g.im, &length), &gdFree);
  const size_t size = length > 0 ? static_cast<size_t>(length) : 0;
  if (!encoding ||
      !whole_encoding(static_cast<const unsigned char*>(encoding.get()), size, format)) {
    kaprntout("Image output error: the %s encoder failed; no file is written\n",
              format == 0 ? "PNG" : "GIF");
    return 2;
  }
  if (kaqsig()) {
    kaprntout("Image output interrupted\n");
    return 2;
  }

  // Written beside the old image and renamed over it only when complete.
  replacing_file out(name);
  FILE* fp = out.stream();
  if (!fp) {
    kaprntout("Open error on %s\n  %s\n", name, out.error().c_str());
    return 1;
  }
  if (std::fwrite(encoding.get(), 1, size, fp) != size) out.write_failed(errno);
  if (kaqsig()) {
    kaprntout("Image output interrupted\n");
    return 2;
  }
  if (!out.commit()) {
    kaprntout("Write error on %s\n  %s\n", name, out.error().c_str());
    return 2;
  }
  return 0;
}

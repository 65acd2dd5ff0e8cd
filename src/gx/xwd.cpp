// Window dump: the X Window Dump file of the graphics window, written
// big-endian whatever the host. Failures print their message, abandon the
// dump and return; the caller removes the partial file.
#include "gx/xwd.h"

#include <X11/Xutil.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

void put32(std::vector<unsigned char>& b, uint32_t v) {
  b.push_back(static_cast<unsigned char>(v >> 24));
  b.push_back(static_cast<unsigned char>(v >> 16));
  b.push_back(static_cast<unsigned char>(v >> 8));
  b.push_back(static_cast<unsigned char>(v));
}

void put16(std::vector<unsigned char>& b, uint16_t v) {
  b.push_back(static_cast<unsigned char>(v >> 8));
  b.push_back(static_cast<unsigned char>(v));
}

unsigned long lowbit(unsigned long m) { return m & (~m + 1); }

// An image the server handed over, destroyed with it.
struct image_deleter {
  void operator()(XImage* image) const { XDestroyImage(image); }
};
using image_ptr = std::unique_ptr<XImage, image_deleter>;

}  // namespace

long Image_Size(XImage* image) {
  long n = static_cast<long>(image->bytes_per_line) * image->height;
  return image->format == ZPixmap ? n : n * image->depth;
}

void _swaplong(char* bp, unsigned long n) {
  for (unsigned long i = 0; i + 4 <= n; i += 4) {
    std::swap(bp[i], bp[i + 3]);
    std::swap(bp[i + 1], bp[i + 2]);
  }
}

void _swapshort(char* bp, unsigned long n) {
  for (unsigned long i = 0; i + 2 <= n; i += 2) std::swap(bp[i], bp[i + 1]);
}

int Get_XColors(Display* dsp, XWindowAttributes* attr, std::vector<XColor>* colours) {
  colours->clear();
  if (!attr->colormap) return 0;
  int n = attr->visual->map_entries;
  if (n <= 0) return 0;
  try {
    colours->resize(static_cast<std::size_t>(n));
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "Out of memory!\n");
    return -1;
  }
  XColor* c = colours->data();
  Visual* v = attr->visual;
  if (v->c_class == DirectColor || v->c_class == TrueColor) {
    unsigned long red = 0, green = 0, blue = 0;
    unsigned long r1 = lowbit(v->red_mask), g1 = lowbit(v->green_mask), b1 = lowbit(v->blue_mask);
    for (int i = 0; i < n; i++) {
      c[i].pixel = red | green | blue;
      c[i].pad = 0;
      red += r1;
      if (red > v->red_mask) red = 0;
      green += g1;
      if (green > v->green_mask) green = 0;
      blue += b1;
      if (blue > v->blue_mask) blue = 0;
    }
  } else {
    for (int i = 0; i < n; i++) {
      c[i].pixel = static_cast<unsigned long>(i);
      c[i].pad = 0;
    }
  }
  XQueryColors(dsp, attr->colormap, c, n);
  return n;
}

int Window_Dump(xwd_dump& dump, Window window, std::FILE* out) {
  Display* const dsp = dump.dsp;
  const int scr = dump.scr;
  if (!dsp) return 1;
  XWindowAttributes attr;
  if (!XGetWindowAttributes(dsp, window, &attr)) {
    std::fprintf(stderr, "Can't get target window attributes.\n");
    return 1;
  }
  int absx, absy;
  Window child;
  if (!XTranslateCoordinates(dsp, window, RootWindow(dsp, scr), 0, 0, &absx, &absy, &child)) {
    std::fprintf(stderr, "unable to translate window coordinates (%d,%d)\n", absx, absy);
    return 1;
  }
  // The part of the window on the screen: the server has no pixels elsewhere.
  int x = absx, y = absy, w = attr.width, h = attr.height;
  if (x < 0) {
    w += x;
    x = 0;
  }
  if (y < 0) {
    h += y;
    y = 0;
  }
  int dw = DisplayWidth(dsp, scr), dh = DisplayHeight(dsp, scr);
  if (x + w > dw) w = dw - x;
  if (y + h > dh) h = dh - y;
  if (w <= 0 || h <= 0) {
    std::fprintf(stderr, "unable to get image at %dx%d+%d+%d\n", w, h, x - absx, y - absy);
    return 1;
  }
  const int rect_x = x - absx, rect_y = y - absy;
  const unsigned rect_w = static_cast<unsigned>(w), rect_h = static_cast<unsigned>(h);
  dump.rect_x = rect_x;
  dump.rect_y = rect_y;
  dump.rect_w = rect_w;
  dump.rect_h = rect_h;

  char* fetched = nullptr;
  std::string name = "xwdump";
  if (XFetchName(dsp, window, &fetched) && fetched && fetched[0]) name = fetched;
  if (fetched) XFree(fetched);

  image_ptr image(XGetImage(dsp, window, rect_x, rect_y, rect_w, rect_h, AllPlanes, ZPixmap));
  if (!image) {
    std::fprintf(stderr, "unable to get image at %dx%d+%d+%d\n", w, h, rect_x, rect_y);
    return 1;
  }
  std::vector<XColor> colours;
  int ncolors = Get_XColors(dsp, &attr, &colours);
  if (ncolors < 0) return 1;
  XBell(dsp, 0);
  XBell(dsp, 0);
  XFlush(dsp);

  std::vector<unsigned char> b;
  b.reserve(100 + name.size() + 1 + 12 * static_cast<std::size_t>(ncolors));
  put32(b, static_cast<uint32_t>(100 + name.size() + 1));
  put32(b, 7);
  put32(b, ZPixmap);
  put32(b, static_cast<uint32_t>(image->depth));
  put32(b, static_cast<uint32_t>(image->width));
  put32(b, static_cast<uint32_t>(image->height));
  put32(b, static_cast<uint32_t>(image->xoffset));
  put32(b, static_cast<uint32_t>(image->byte_order));
  put32(b, static_cast<uint32_t>(image->bitmap_unit));
  put32(b, static_cast<uint32_t>(image->bitmap_bit_order));
  put32(b, static_cast<uint32_t>(image->bitmap_pad));
  put32(b, static_cast<uint32_t>(image->bits_per_pixel));
  put32(b, static_cast<uint32_t>(image->bytes_per_line));
  put32(b, static_cast<uint32_t>(attr.visual->c_class));
  put32(b, static_cast<uint32_t>(attr.visual->red_mask));
  put32(b, static_cast<uint32_t>(attr.visual->green_mask));
  put32(b, static_cast<uint32_t>(attr.visual->blue_mask));
  put32(b, static_cast<uint32_t>(attr.visual->bits_per_rgb));
  put32(b, static_cast<uint32_t>(attr.visual->map_entries));
  put32(b, static_cast<uint32_t>(ncolors));
  put32(b, rect_w);
  put32(b, rect_h);
  put32(b, static_cast<uint32_t>(x));
  put32(b, static_cast<uint32_t>(y));
  put32(b, static_cast<uint32_t>(attr.border_width));
  b.insert(b.end(), name.begin(), name.end());
  b.push_back(0);
  for (int i = 0; i < ncolors; i++) {
    put32(b, static_cast<uint32_t>(colours[i].pixel));
    put16(b, colours[i].red);
    put16(b, colours[i].green);
    put16(b, colours[i].blue);
    b.push_back(static_cast<unsigned char>(colours[i].flags));
    b.push_back(0);
  }
  if (std::fwrite(b.data(), 1, b.size(), out) != b.size()) return 1;
  return 0;
}

int Pixmap_Dump(const xwd_dump& dump, Drawable drawable, std::FILE* out) {
  Display* const dsp = dump.dsp;
  if (!dsp) return 1;
  const int x = dump.rect_x, y = dump.rect_y;
  const unsigned width = dump.rect_w, height = dump.rect_h;
  image_ptr image(XGetImage(dsp, drawable, x, y, width, height, AllPlanes, ZPixmap));
  if (!image) {
    std::fprintf(stderr, "unable to get image at %ux%u+%d+%d\n", width, height, x, y);
    return 1;
  }
  std::size_t n = static_cast<std::size_t>(Image_Size(image.get()));
  return std::fwrite(image->data, 1, n, out) == n ? 0 : 1;
}

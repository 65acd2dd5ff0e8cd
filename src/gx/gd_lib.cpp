// The image library's entry points the program calls, each forwarding to the
// library opened on its first use (see base/lazylib.h): only printim loads
// it. An entry point the program starts to call needs its line here; the link
// fails until it has one (also the tests' link: they bind through these lines
// too). All but gdImageCreate take an image, which only exists once the
// library is loaded. Without the library no image is created, and
// printim reports that.

#include <gd.h>

#include "base/lazylib.h"

namespace {

lazy_library& gd() {
  static lazy_library lib("image", VEMRA_GD_SONAME);
  return lib;
}

}  // namespace

extern "C" {

LAZY_FORWARDER(gd(), gdImagePtr, gdImageCreate, nullptr, (int sx, int sy), (sx, sy))
LAZY_FORWARDER(gd(), void, gdImageDestroy, void(), (gdImagePtr im), (im))
LAZY_FORWARDER(gd(), int, gdImageColorAllocate, -1, (gdImagePtr im, int r, int g, int b),
               (im, r, g, b))
LAZY_FORWARDER(gd(), int, gdImageColorClosest, -1, (gdImagePtr im, int r, int g, int b),
               (im, r, g, b))
LAZY_FORWARDER(gd(), void, gdImageSetPixel, void(), (gdImagePtr im, int x, int y, int color),
               (im, x, y, color))
LAZY_FORWARDER(gd(), void, gdImageFilledRectangle, void(),
               (gdImagePtr im, int x1, int y1, int x2, int y2, int color),
               (im, x1, y1, x2, y2, color))
LAZY_FORWARDER(gd(), void*, gdImagePngPtr, nullptr, (gdImagePtr im, int* size), (im, size))
LAZY_FORWARDER(gd(), void*, gdImageGifPtr, nullptr, (gdImagePtr im, int* size), (im, size))
LAZY_FORWARDER(gd(), void, gdFree, void(), (void* m), (m))

}  // extern "C"

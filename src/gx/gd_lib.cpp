// The image library's entry points the program calls, each forwarding to the
// library opened on its first use (see base/lazylib.h): only printim loads
// it. An entry point the program starts to call needs its line here; the link
// fails until it has one. Without the library no image is created, and
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

gdImagePtr gdImageCreate(int sx, int sy) {
  static const auto fn = lazy_entry<decltype(&gdImageCreate)>(gd(), "gdImageCreate");
  return fn ? fn(sx, sy) : nullptr;
}

// The calls below take an image, which only exists once the library is loaded.

void gdImageDestroy(gdImagePtr im) {
  static const auto fn = lazy_entry<decltype(&gdImageDestroy)>(gd(), "gdImageDestroy");
  if (fn) fn(im);
}

int gdImageColorAllocate(gdImagePtr im, int r, int g, int b) {
  static const auto fn = lazy_entry<decltype(&gdImageColorAllocate)>(gd(), "gdImageColorAllocate");
  return fn ? fn(im, r, g, b) : -1;
}

int gdImageColorClosest(gdImagePtr im, int r, int g, int b) {
  static const auto fn = lazy_entry<decltype(&gdImageColorClosest)>(gd(), "gdImageColorClosest");
  return fn ? fn(im, r, g, b) : -1;
}

void gdImageSetPixel(gdImagePtr im, int x, int y, int color) {
  static const auto fn = lazy_entry<decltype(&gdImageSetPixel)>(gd(), "gdImageSetPixel");
  if (fn) fn(im, x, y, color);
}

void gdImageFilledRectangle(gdImagePtr im, int x1, int y1, int x2, int y2, int color) {
  static const auto fn =
      lazy_entry<decltype(&gdImageFilledRectangle)>(gd(), "gdImageFilledRectangle");
  if (fn) fn(im, x1, y1, x2, y2, color);
}

void gdImagePng(gdImagePtr im, FILE* out) {
  static const auto fn = lazy_entry<decltype(&gdImagePng)>(gd(), "gdImagePng");
  if (fn) fn(im, out);
}

void gdImageGif(gdImagePtr im, FILE* out) {
  static const auto fn = lazy_entry<decltype(&gdImageGif)>(gd(), "gdImageGif");
  if (fn) fn(im, out);
}

}  // extern "C"

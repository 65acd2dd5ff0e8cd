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

template <typename Fn>
Fn entry(const char* name) {
  return lazy_entry<Fn>(gd(), name);
}

}  // namespace

extern "C" {

gdImagePtr gdImageCreate(int sx, int sy) {
  static const auto fn = entry<decltype(&gdImageCreate)>("gdImageCreate");
  return fn ? fn(sx, sy) : nullptr;
}

// The calls below take an image, which only exists once the library is loaded.

void gdImageDestroy(gdImagePtr im) {
  static const auto fn = entry<decltype(&gdImageDestroy)>("gdImageDestroy");
  if (fn) fn(im);
}

int gdImageColorAllocate(gdImagePtr im, int r, int g, int b) {
  static const auto fn = entry<decltype(&gdImageColorAllocate)>("gdImageColorAllocate");
  return fn ? fn(im, r, g, b) : -1;
}

int gdImageColorClosest(gdImagePtr im, int r, int g, int b) {
  static const auto fn = entry<decltype(&gdImageColorClosest)>("gdImageColorClosest");
  return fn ? fn(im, r, g, b) : -1;
}

void gdImageSetPixel(gdImagePtr im, int x, int y, int color) {
  static const auto fn = entry<decltype(&gdImageSetPixel)>("gdImageSetPixel");
  if (fn) fn(im, x, y, color);
}

void gdImageFilledRectangle(gdImagePtr im, int x1, int y1, int x2, int y2, int color) {
  static const auto fn = entry<decltype(&gdImageFilledRectangle)>("gdImageFilledRectangle");
  if (fn) fn(im, x1, y1, x2, y2, color);
}

void gdImagePng(gdImagePtr im, FILE* out) {
  static const auto fn = entry<decltype(&gdImagePng)>("gdImagePng");
  if (fn) fn(im, out);
}

void gdImageGif(gdImagePtr im, FILE* out) {
  static const auto fn = entry<decltype(&gdImageGif)>("gdImageGif");
  if (fn) fn(im, out);
}

}  // extern "C"

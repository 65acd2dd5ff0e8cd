// Preloaded into the program to make its PNG encoder give back a picture
// without its end, as an encoder does that returns what it wrote when it
// fails part-way: the first picture's png_write_end writes nothing, and the
// encoder reports the picture done. Later pictures are whole. Set
// DROP_PNG_END (any value) to ask.
#include <dlfcn.h>

#include <cstdlib>

namespace {

bool asked = std::getenv("DROP_PNG_END") != nullptr;  // until the first picture

// The encoder library is opened by the program for itself alone: its entry
// points are found through it when the next object in the search has none.
void* real(const char* name) {
  if (void* fn = dlsym(RTLD_NEXT, name)) return fn;
  void* lib = dlopen("libpng16.so.16", RTLD_LAZY | RTLD_NOLOAD);
  return lib ? dlsym(lib, name) : nullptr;
}

}  // namespace

extern "C" void png_write_end(void* png, void* info) {
  using end_fn = void (*)(void*, void*);
  static const auto end = reinterpret_cast<end_fn>(real("png_write_end"));
  if (asked) {
    asked = false;
    return;
  }
  if (end) end(png, info);
}

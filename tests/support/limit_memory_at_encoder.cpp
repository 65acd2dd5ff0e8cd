// Preloaded into the program to leave it short of memory at one point of its
// work: once the PNG encoder has made its write structure, the process's
// address space is limited to what it maps then, so that the encoder's next
// allocations fail, as on a machine whose memory the picture has taken. The
// limit is lifted again when the encoder ends, so that the session can say
// what happened and go on; only the first encoder is limited. Set
// ENCODER_MEMORY_LIMIT (any value) to ask.
#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

rlimit before{RLIM_INFINITY, RLIM_INFINITY};
bool asked = std::getenv("ENCODER_MEMORY_LIMIT") != nullptr;  // until the first encoder
bool limited = false;

// The encoder library is opened by the program for itself alone: its entry
// points are found through it when the next object in the search has none.
void* real(const char* name) {
  if (void* fn = dlsym(RTLD_NEXT, name)) return fn;
  void* lib = dlopen("libpng16.so.16", RTLD_LAZY | RTLD_NOLOAD);
  return lib ? dlsym(lib, name) : nullptr;
}

// Bytes the process maps now.
rlim_t mapped() {
  long pages = 0;
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return 0;
  if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
  std::fclose(f);
  return static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

}  // namespace

extern "C" void* png_create_write_struct(const char* version, void* error_ptr, void* error_fn,
                                         void* warn_fn) {
  using create_fn = void* (*)(const char*, void*, void*, void*);
  static const auto create = reinterpret_cast<create_fn>(real("png_create_write_struct"));
  if (!create) return nullptr;
  void* png = create(version, error_ptr, error_fn, warn_fn);
  const rlim_t now = mapped();
  if (png && asked && now > 0 && getrlimit(RLIMIT_AS, &before) == 0) {
    const rlimit tight{now, before.rlim_max};
    limited = setrlimit(RLIMIT_AS, &tight) == 0;
    asked = false;
  }
  return png;
}

extern "C" void png_destroy_write_struct(void** png, void** info) {
  using destroy_fn = void (*)(void**, void**);
  static const auto destroy = reinterpret_cast<destroy_fn>(real("png_destroy_write_struct"));
  if (limited) {
    setrlimit(RLIMIT_AS, &before);
    limited = false;
  }
  if (destroy) destroy(png, info);
}

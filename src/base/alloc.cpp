// Allocation routines with one failure path.
#include "base/alloc.h"

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace {

const alloc_observer* observer = nullptr;

[[noreturn]] void fail(const char* text) {
  if (text) throw alloc_error(text);
  throw std::bad_alloc();
}

void check(bool fresh, const char* text) {
  if (observer && !observer->before_alloc(fresh)) fail(text);
}

// The value in kB of the line starting with `key` in a /proc file, in bytes;
// -1 when the file or line is missing.
double proc_bytes(const char* path, const char* key) {
  std::FILE* f = std::fopen(path, "r");
  if (!f) return -1;
  char line[256];
  double bytes = -1;
  const std::size_t n = std::strlen(key);
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, key, n) != 0) continue;
    bytes = std::strtod(line + n, nullptr) * 1024.0;
    break;
  }
  std::fclose(f);
  return bytes;
}

// Room under one limit, given what the process has of that kind.
double under_limit(int resource, const char* key) {
  rlimit lim{};
  if (getrlimit(resource, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY) {
    return std::numeric_limits<double>::infinity();
  }
  const double used = proc_bytes("/proc/self/status", key);
  const double room = double(lim.rlim_cur) - (used > 0 ? used : 0);
  return room > 0 ? room : 0;
}

}  // namespace

double kamemory_room() {
  double machine = proc_bytes("/proc/meminfo", "MemAvailable:");
  if (machine < 0) {
    const long pages = sysconf(_SC_AVPHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    machine = pages > 0 && page > 0 ? double(pages) * double(page)
                                    : std::numeric_limits<double>::infinity();
  }
  // Freed blocks the allocator keeps for reuse are not available to others
  // but are to the session.
  machine += double(mallinfo2().fordblks);
  const double as = under_limit(RLIMIT_AS, "VmSize:");
  const double data = under_limit(RLIMIT_DATA, "VmData:");
  return std::min({machine, as, data});
}

void kareserve(double points, double bytes, const char* text) {
  // Below this no grid is worth a look at /proc.
  constexpr double kMeasured = 1 << 20;
  if (bytes < kMeasured) return;
  const double room = kamemory_room();
  if (bytes <= room) return;
  throw memory_refusal(text ? text : "Memory allocation error\n", points, bytes, room);
}

void* kamalloc(std::size_t size, const char* text) {
  check(true, text);
  void* p = std::malloc(size ? size : 1);
  if (!p) fail(text);
  return p;
}

void* kacalloc(std::size_t count, std::size_t size, const char* text) {
  check(true, text);
  void* p = (count && size) ? std::calloc(count, size) : std::calloc(1, 1);
  if (!p) fail(text);
  return p;
}

void* karealloc(void* block, std::size_t size, const char* text) {
  check(block == nullptr, text);
  void* p = std::realloc(block, size ? size : 1);
  if (!p) fail(text);  // the old block stays valid and owned by the caller
  return p;
}

void kafree(void* block) noexcept {
  if (!block) return;
  std::free(block);
  if (observer && observer->after_free) observer->after_free();
}

void kakeep_freed_blocks() {
  // Blocks up to the allocator's largest threshold come from the heap, and
  // up to 256 MB freed at its top stay there: one step of a loop over a
  // quarter-degree globe frees some tens of megabytes.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

void kagive_back_freed() noexcept {
  // Also releases whole free pages inside the heap, which the threshold
  // above never does.
  malloc_trim(0);
}

void kaset_alloc_observer(const alloc_observer* o) { observer = o; }

char* kastrdup(const char* text) {
  std::size_t n = std::char_traits<char>::length(text) + 1;
  auto* p = static_cast<char*>(kamalloc(n));
  std::char_traits<char>::copy(p, text, n);
  return p;
}

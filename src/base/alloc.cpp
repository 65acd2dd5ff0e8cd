// Allocation routines with one failure path.
#include "base/alloc.h"

#include <malloc.h>

#include <cstdlib>
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

}  // namespace

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

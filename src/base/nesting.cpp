// The machine stack's floor, read from the thread's stack bounds.
#include "base/nesting.h"

#include <pthread.h>

#include <algorithm>
#include <cstdint>

namespace {

// The lowest frame address recursive work may start a level from. Read once
// per thread, when it first asks.
struct stack_floor {
  uintptr_t address = 1;  // bounds unknown: never low
  stack_floor() {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return;
    void* addr = nullptr;
    size_t size = 0;
    if (pthread_attr_getstack(&attr, &addr, &size) == 0 && addr) {
      size_t reserve = std::min<size_t>(size_t{1} << 20, size / 4);
      address = reinterpret_cast<uintptr_t>(addr) + reserve;
    }
    pthread_attr_destroy(&attr);
  }
};

thread_local const stack_floor thread_stack_floor;

}  // namespace

bool stack_low() {
  return reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) < thread_stack_floor.address;
}

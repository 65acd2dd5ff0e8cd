// Opening a library on first use.

#include "base/lazylib.h"

#include <dlfcn.h>

#include "base/message.h"

void* lazy_library::entry(const char* name) {
  std::call_once(opened_, [this] {
    // Lazy binding: only the entry points a run calls get resolved.
    handle_ = dlopen(soname_, RTLD_LAZY | RTLD_LOCAL);
    if (!handle_) {
      const char* why = dlerror();
      std::lock_guard<std::mutex> hold(lock_);
      failure_ = std::string("Cannot load the ") + what_ + " library " + soname_ + ": " +
                 (why ? why : "unknown reason");
      kaprntf(msg_level::error, "%s\n", failure_.c_str());
    }
  });
  if (!handle_) return nullptr;
  dlerror();
  void* fn = dlsym(handle_, name);
  if (!fn) {
    std::lock_guard<std::mutex> hold(lock_);
    if (failure_.empty()) {
      failure_ =
          std::string("The ") + what_ + " library " + soname_ + " has no entry point " + name;
      kaprntf(msg_level::error, "%s\n", failure_.c_str());
    }
  }
  return fn;
}

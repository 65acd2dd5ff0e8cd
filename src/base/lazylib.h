// A shared library opened on first use instead of at start-up. The netCDF and
// image libraries pull in about ninety others, and loading those cost every
// run some 18 ms, most of a short batch job, even one that reads neither.
#pragma once

#include <mutex>
#include <string>

class lazy_library {
 public:
  // what: the library as users know it ("netCDF"); soname: the file the
  // dynamic loader looks for.
  lazy_library(const char* what, const char* soname) : what_(what), soname_(soname) {}
  lazy_library(const lazy_library&) = delete;
  lazy_library& operator=(const lazy_library&) = delete;

  // The entry point NAME, loading the library first if need be; null when the
  // library or the entry point cannot be found. The first failure is printed
  // as an error; later calls fail quietly and leave the message to the caller.
  void* entry(const char* name);

  // Why the library could not be used; empty while it could.
  const std::string& failure() const { return failure_; }

 private:
  const char* what_;
  const char* soname_;
  std::once_flag opened_;
  void* handle_ = nullptr;
  std::mutex lock_;  // guards failure_
  std::string failure_;
};

// The entry point NAME of LIB as a pointer of the type of the function it
// stands for (Fn is decltype(&function)).
template <typename Fn>
Fn lazy_entry(lazy_library& lib, const char* name) {
  return reinterpret_cast<Fn>(lib.entry(name));
}

// Defines the forwarder of the entry point NAME of LIB: a function of that
// name and type that calls the library's NAME (looked up by the same name) or,
// without it, returns FAILED (void() for a function that returns nothing).
// PARAMS is the parameter list, ARGS its names as the call's arguments.
#define LAZY_FORWARDER(lib, type, name, failed, params, args)       \
  type name params {                                                \
    static const auto fn = lazy_entry<decltype(&name)>(lib, #name); \
    if (!fn) return failed;                                         \
    return fn args;                                                 \
  }

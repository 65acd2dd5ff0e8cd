// Helpers shared by the fuzz targets: silence the program's messages and
// hand an input to a parser that reads files.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// A request larger than the machine should fail as out of memory (the
// allocation routines' own path) instead of stopping the run.
// (Each target is one file, so this is defined once.)
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1:max_allocation_size_mb=1024";
}

namespace fuzz {

// Messages go to standard output; a fuzz run only wants crashes and leaks.
inline void silence() {
  static bool done = false;
  if (done) return;
  done = true;
  if (!std::getenv("VEMRA_FUZZ_VERBOSE")) std::freopen("/dev/null", "w", stdout);
}

// A private scratch directory for this process.
inline const std::string& scratch() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/vemra_fuzz_XXXXXX";
    const char* d = mkdtemp(tmpl);
    return std::string(d ? d : "/tmp");
  }();
  return dir;
}

// Writes the input to a file in the scratch directory and returns its path.
inline std::string write_input(const char* name, const uint8_t* data, size_t size) {
  std::string path = scratch() + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path;
}

}  // namespace fuzz

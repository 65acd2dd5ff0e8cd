// Preloaded into the program to send it a signal at one point of its work:
// right after the first rename onto a name that ends in a given suffix, as a
// scheduler's SIGTERM may come between two renames of one set; or right
// after the first hidden file is made whose name holds a given text, before
// the program can do anything with it.
// SIGNAL_AFTER_RENAME holds "SIGNAL SUFFIX" (e.g. "15 .grb"),
// SIGNAL_AFTER_MKOSTEMP "SIGNAL TEXT" (e.g. "15 .a.png.").
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool sent = false;
bool made = false;

void after_rename(const char* to) {
  const char* asked = std::getenv("SIGNAL_AFTER_RENAME");  // "SIGNAL SUFFIX"
  int sig = 0;
  char suffix[64];
  if (sent || !asked || !to || std::sscanf(asked, "%d %63s", &sig, suffix) != 2) return;
  const size_t n = std::strlen(to), m = std::strlen(suffix);
  if (n < m || std::strcmp(to + n - m, suffix) != 0) return;
  sent = true;
  kill(getpid(), sig);
}

}  // namespace

extern "C" int rename(const char* from, const char* to) {
  using rename_fn = int (*)(const char*, const char*);
  static const auto real = reinterpret_cast<rename_fn>(dlsym(RTLD_NEXT, "rename"));
  const int rc = real(from, to);
  if (rc == 0) after_rename(to);
  return rc;
}

extern "C" int renameat2(int from_dir, const char* from, int to_dir, const char* to,
                         unsigned flags) {
  using renameat2_fn = int (*)(int, const char*, int, const char*, unsigned);
  static const auto real = reinterpret_cast<renameat2_fn>(dlsym(RTLD_NEXT, "renameat2"));
  const int rc = real(from_dir, from, to_dir, to, flags);
  if (rc == 0) after_rename(to);
  return rc;
}

extern "C" int mkostemp(char* name, int flags) {
  using mkostemp_fn = int (*)(char*, int);
  static const auto real = reinterpret_cast<mkostemp_fn>(dlsym(RTLD_NEXT, "mkostemp"));
  const int fd = real(name, flags);
  const char* asked = std::getenv("SIGNAL_AFTER_MKOSTEMP");  // "SIGNAL TEXT"
  int sig = 0;
  char text[64];
  if (fd >= 0 && !made && asked && std::sscanf(asked, "%d %63s", &sig, text) == 2 &&
      std::strstr(name, text)) {
    made = true;
    kill(getpid(), sig);
  }
  return fd;
}

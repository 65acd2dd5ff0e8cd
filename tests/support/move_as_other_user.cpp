// Preloaded into the program to make another user's move of a file at one
// point of its work, as a user who may write the directory could in a loop:
// right before the first rename onto a name that ends in a given suffix, the
// file about to be renamed (a staged output, after its check) is exchanged
// with one of theirs, and so again before each further such rename up to a
// given count (a looping user meets the put-back too); right before the first open of a name that
// ends in a given suffix, a file of theirs is renamed onto that name. The move is made by a child
// process running as that user, and is over before the program goes on. EXCHANGE_BEFORE_RENAME
// holds "UID SUFFIX FILE [COUNT]" (exchanges before the first COUNT such renames, one by default),
// MOVE_BEFORE_OPEN "UID SUFFIX FILE [NTH]" (FILE an absolute name; the move
// made before the NTH open of such a name, the first by default).
#include <dlfcn.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int exchanges = 0;  // made so far
bool moved = false;
int opens = 0;  // of names the move asked for

// The user and file of the move asked for in var when name ends in its
// suffix; false when none is asked for here. nth: the setting's optional
// fourth word, else 1.
bool asked(const char* var, const char* name, unsigned& uid, char (&file)[4096], int* nth) {
  const char* setting = std::getenv(var);
  char suffix[256];
  *nth = 1;
  if (!setting || !name || std::sscanf(setting, "%u %255s %4095s %d", &uid, suffix, file, nth) < 3)
    return false;
  const size_t n = std::strlen(name), m = std::strlen(suffix);
  return n >= m && std::strcmp(name + n - m, suffix) == 0;
}

// Renames from onto to (exchanging the two when exchange) as uid, in a
// child, and waits for it.
void move_as(unsigned uid, const char* from, const char* to, bool exchange) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(uid) != 0 || setuid(uid) != 0) _exit(1);
    const long rc =
        syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, exchange ? RENAME_EXCHANGE : 0u);
    _exit(rc == 0 ? 0 : 1);
  }
  int st = 0;
  if (pid > 0) waitpid(pid, &st, 0);
}

void before_rename(const char* from, const char* to) {
  unsigned uid;
  char file[4096];
  int count;
  if (!asked("EXCHANGE_BEFORE_RENAME", to, uid, file, &count) || exchanges >= count) return;
  ++exchanges;
  move_as(uid, file, from, true);
}

void before_open(const char* name) {
  unsigned uid;
  char file[4096];
  int nth;
  if (moved || !asked("MOVE_BEFORE_OPEN", name, uid, file, &nth) || ++opens < nth) return;
  moved = true;
  move_as(uid, file, name, false);
}

using open_fn = int (*)(const char*, int, ...);

// The real open after the other user's move, with the mode the caller gave.
int open_after_move(open_fn real, const char* name, int flags, va_list ap) {
  const mode_t mode = flags & (O_CREAT | O_TMPFILE) ? static_cast<mode_t>(va_arg(ap, unsigned)) : 0;
  before_open(name);
  return real(name, flags, mode);
}

}  // namespace

extern "C" int rename(const char* from, const char* to) {
  using rename_fn = int (*)(const char*, const char*);
  static const auto real = reinterpret_cast<rename_fn>(dlsym(RTLD_NEXT, "rename"));
  before_rename(from, to);
  return real(from, to);
}

extern "C" int renameat2(int from_dir, const char* from, int to_dir, const char* to,
                         unsigned flags) {
  using renameat2_fn = int (*)(int, const char*, int, const char*, unsigned);
  static const auto real = reinterpret_cast<renameat2_fn>(dlsym(RTLD_NEXT, "renameat2"));
  before_rename(from, to);
  return real(from_dir, from, to_dir, to, flags);
}

extern "C" int open(const char* name, int flags, ...) {
  static const auto real = reinterpret_cast<open_fn>(dlsym(RTLD_NEXT, "open"));
  va_list ap;
  va_start(ap, flags);
  const int fd = open_after_move(real, name, flags, ap);
  va_end(ap);
  return fd;
}

extern "C" int open64(const char* name, int flags, ...) {
  static const auto real = reinterpret_cast<open_fn>(dlsym(RTLD_NEXT, "open64"));
  va_list ap;
  va_start(ap, flags);
  const int fd = open_after_move(real, name, flags, ap);
  va_end(ap);
  return fd;
}

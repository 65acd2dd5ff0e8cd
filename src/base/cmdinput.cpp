// Command input: the readline prompt and the plain reader.
#include "base/cmdinput.h"

#include <readline/history.h>
#include <readline/readline.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

// One byte of standard input: 1, or 0 at end of input or on a read error.
int read_byte(char* c) {
  for (;;) {
    ssize_t n = ::read(STDIN_FILENO, c, 1);
    if (n == 1) return 1;
    if (n < 0 && errno == EINTR) continue;
    return 0;
  }
}

}  // namespace

int nxrdln(std::string& buf, const char* prompt) {
  std::fflush(stdout);
  char* line = readline(prompt);
  if (!line) return -1;
  const char* p = line;
  while (*p == ' ') ++p;
  buf.assign(p);
  if (*p) add_history(p);
  std::free(line);
  return static_cast<int>(buf.size()) + 1;
}

int nxtcmd(std::string& buf, const char* prompt) {
  std::fputs(prompt, stdout);
  std::fputc(' ', stdout);
  std::fflush(stdout);
  buf.clear();
  bool started = false;
  char c;
  while (read_byte(&c)) {
    if (c == '\n') {
      buf.push_back('\n');
      return static_cast<int>(buf.size()) - 1;
    }
    if (!started && c == ' ') continue;
    started = true;
    buf.push_back(c);
  }
  buf.clear();
  return -1;
}

int karawln(std::string& buf) {
  std::fflush(stdout);
  buf.clear();
  char c;
  bool any = false;
  while (read_byte(&c)) {
    any = true;
    if (c == '\n') return 1;
    buf.push_back(c);
  }
  return any ? 1 : 0;
}

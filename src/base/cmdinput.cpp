// Command input: the readline prompt and the plain reader.
#include "base/cmdinput.h"

#include <readline/history.h>
#include <readline/readline.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "base/session.h"

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

enum class line_end { newline, end_of_input, too_long };

// Appends the bytes up to the newline (not stored) to buf, at most max of
// them; the rest of a longer line is read and dropped, so an endless line
// costs no memory. Leading blanks are dropped when skip_spaces is set, and
// the bytes as read go to echo when it is given.
line_end read_bounded(std::string& buf, std::size_t max, bool skip_spaces, std::string* echo) {
  bool started = !skip_spaces;
  bool over = false;
  char c;
  while (read_byte(&c)) {
    if (c == '\n') return over ? line_end::too_long : line_end::newline;
    if (over) {
      if (kaqsig()) return line_end::too_long;
      continue;
    }
    if (echo && echo->size() < 2 * max) echo->push_back(c);
    if (!started && c == ' ') continue;
    started = true;
    if (buf.size() >= max) {
      over = true;
      continue;
    }
    buf.push_back(c);
  }
  return over ? line_end::too_long : line_end::end_of_input;
}

void refuse_long_line(std::string& buf) {
  buf.clear();
  std::printf("Command line longer than %zu characters: ignored\n", kCommandLineMax);
}

}  // namespace

int nxrdln(std::string& buf, const char* prompt) {
  std::fflush(stdout);
  if (!isatty(STDIN_FILENO)) {
    std::fputs(prompt, stdout);
    std::fflush(stdout);
    buf.clear();
    std::string echo;
    line_end end = read_bounded(buf, kCommandLineMax, true, &echo);
    if (end == line_end::end_of_input && echo.empty()) return -1;
    std::fputs(echo.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (end == line_end::too_long) refuse_long_line(buf);
    return static_cast<int>(buf.size()) + 1;
  }
  static const bool stifled = (stifle_history(kHistoryMax), true);
  (void)stifled;
  char* line = readline(prompt);
  if (!line) return -1;
  const char* p = line;
  while (*p == ' ') ++p;
  buf.assign(p);
  std::free(line);
  if (buf.size() > kCommandLineMax) {
    refuse_long_line(buf);
  } else if (!buf.empty()) {
    add_history(buf.c_str());
  }
  return static_cast<int>(buf.size()) + 1;
}

int nxtcmd(std::string& buf, const char* prompt) {
  std::fputs(prompt, stdout);
  std::fputc(' ', stdout);
  std::fflush(stdout);
  buf.clear();
  switch (read_bounded(buf, kCommandLineMax, true, nullptr)) {
    case line_end::end_of_input: buf.clear(); return -1;
    case line_end::too_long: refuse_long_line(buf); break;
    case line_end::newline: break;
  }
  buf.push_back('\n');
  return static_cast<int>(buf.size()) - 1;
}

int karawln(std::string& buf, std::size_t max) {
  std::fflush(stdout);
  buf.clear();
  switch (read_bounded(buf, max, false, nullptr)) {
    case line_end::newline: return 1;
    case line_end::too_long: buf.clear(); return -2;
    case line_end::end_of_input: return buf.empty() ? 0 : 1;
  }
  return 0;
}

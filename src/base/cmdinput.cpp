// Command input: the readline prompt and the plain reader.
#include "base/cmdinput.h"

#include <readline/history.h>
#include <readline/readline.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/message.h"
#include "base/session.h"

namespace {

// ---- reading standard input up to a newline, never past it ----
//
// Other readers (the line editor, a script's "pull", a program the session
// starts) share standard input, so no byte after a line's newline may be
// taken. Reading byte by byte keeps to that but costs a system call a byte;
// where the input allows, a piece is looked at first and only the bytes up
// to the newline are then taken.

enum class input_kind { seekable, pipe, other };

// Held for the process: a private pipe that receives copies of piped input,
// made when first needed, and the piece of input looked at.
struct stdin_peek {
  int pipe[2] = {-1, -1};
  char piece[1 << 16];
};

stdin_peek peek;

// Looked at again for every line: standard input may be replaced.
input_kind stdin_kind() {
  struct stat st;
  if (::fstat(STDIN_FILENO, &st) != 0) return input_kind::other;
  if (S_ISREG(st.st_mode) && ::lseek(STDIN_FILENO, 0, SEEK_CUR) >= 0) return input_kind::seekable;
  if (S_ISFIFO(st.st_mode) && (peek.pipe[0] >= 0 || ::pipe2(peek.pipe, O_CLOEXEC) == 0))
    return input_kind::pipe;
  return input_kind::other;
}

// Position of the first newline in buf[0, n), or n.
ssize_t through_newline(const char* buf, ssize_t n) {
  const void* nl = std::memchr(buf, '\n', static_cast<size_t>(n));
  return nl ? static_cast<const char*>(nl) - buf + 1 : n;
}

// read(2) of standard input that goes on after a signal.
ssize_t read_stdin(char* buf, size_t n) {
  for (;;) {
    ssize_t got = ::read(STDIN_FILENO, buf, n);
    if (got < 0 && errno == EINTR) continue;
    return got;
  }
}

// A regular file: read a piece and give back what lies past the newline.
ssize_t piece_from_file(char* buf, size_t cap) {
  ssize_t n = read_stdin(buf, cap);
  if (n <= 0) return n < 0 ? 0 : n;
  ssize_t keep = through_newline(buf, n);
  if (keep < n && ::lseek(STDIN_FILENO, keep - n, SEEK_CUR) < 0) return n;
  return keep;
}

// A pipe: tee(2) copies what waits in it without taking it; the copy shows
// where the newline is, and then only that much is read.
ssize_t piece_from_pipe(char* buf, size_t cap) {
  ssize_t n;
  do {
    n = ::tee(STDIN_FILENO, peek.pipe[1], cap, 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return -1;  // tee refused: fall back to single bytes
  if (n == 0) return 0;  // end of input
  ssize_t copied = 0;
  while (copied < n) {
    ssize_t got = ::read(peek.pipe[0], buf + copied, static_cast<size_t>(n - copied));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return -1;
    copied += got;
  }
  ssize_t keep = through_newline(buf, n);
  ssize_t taken = 0;
  while (taken < keep) {
    ssize_t got = read_stdin(buf + taken, static_cast<size_t>(keep - taken));
    if (got <= 0) return taken;
    taken += got;
  }
  return taken;
}

// Bytes of standard input into buf (at most cap), ending at the first
// newline if one comes; 0 at end of input or on a read error.
size_t read_piece(input_kind& kind, char* buf, size_t cap) {
  if (kind == input_kind::seekable) return static_cast<size_t>(piece_from_file(buf, cap));
  if (kind == input_kind::pipe) {
    ssize_t n = piece_from_pipe(buf, cap);
    if (n >= 0) return static_cast<size_t>(n);
    kind = input_kind::other;
  }
  ssize_t n = read_stdin(buf, 1);
  return n > 0 ? 1 : 0;
}

// How a line ended: at its newline, at the end of input with nothing read
// or after a last piece without newline, or past the limit.
enum class line_end { newline, end_of_input, last_line, too_long };

// Set when the last line was cut short by an interrupt.
bool cut_by_interrupt = false;

// Waits until standard input has bytes (or its end) to read; false when an
// interrupt came first. ppoll(2) is never restarted after a signal, where a
// read would be, so a line dropped from a pipe that stays silent still ends
// at the first Ctrl-C; SIGINT is let in only inside it, so none slips in
// between the look at the flag and the wait.
bool wait_for_input() {
  sigset_t block, before;
  sigemptyset(&block);
  sigaddset(&block, SIGINT);
  if (::sigprocmask(SIG_BLOCK, &block, &before) != 0) return true;
  pollfd p{STDIN_FILENO, POLLIN, 0};
  bool ready = true;
  for (;;) {
    if (kaqsig()) {
      ready = false;
      break;
    }
    if (::ppoll(&p, 1, nullptr, &before) >= 0 || errno != EINTR) break;
  }
  ::sigprocmask(SIG_SETMASK, &before, nullptr);
  return ready;
}

// Appends the bytes up to the newline (not stored) to buf, at most max of
// them; the rest of a longer line is read and dropped, so an endless line
// costs no memory. Leading blanks are dropped when skip_spaces is set, and
// the bytes as read go to echo when it is given. An interrupt that comes
// while the rest is dropped ends the line; one that was pending before it
// began does not, so a second one can end the session.
line_end read_bounded(std::string& buf, std::size_t max, bool skip_spaces, std::string* echo) {
  bool started = !skip_spaces;
  bool over = false;
  bool any = false;
  const bool pending = kaqsig() != 0;
  cut_by_interrupt = false;
  char* const piece = peek.piece;
  input_kind kind = stdin_kind();
  auto cut = [] {
    cut_by_interrupt = true;
    return line_end::too_long;
  };
  for (;;) {
    if (over && !pending && kind != input_kind::seekable && !wait_for_input()) return cut();
    size_t n = read_piece(kind, piece, sizeof peek.piece);
    if (n == 0) break;
    any = true;
    bool at_newline = piece[n - 1] == '\n';
    size_t len = at_newline ? n - 1 : n;
    size_t i = 0;
    if (!started) {
      while (i < len && piece[i] == ' ') i++;
      started = i < len;
    }
    if (echo && echo->size() < 2 * max) echo->append(piece, std::min(len, 2 * max - echo->size()));
    if (!over) {
      size_t room = max - buf.size();
      size_t take = std::min(len - i, room);
      buf.append(piece + i, take);
      over = take < len - i;
    }
    if (at_newline) return over ? line_end::too_long : line_end::newline;
    if (over && !pending && kaqsig()) return cut();
  }
  if (over) return line_end::too_long;
  return any ? line_end::last_line : line_end::end_of_input;
}

void refuse_long_line(std::string& buf) {
  buf.clear();
  std::printf("Command line longer than %zu characters: ignored\n", kCommandLineMax);
}

}  // namespace

bool input_ready() {
  pollfd p{STDIN_FILENO, POLLIN, 0};
  int n;
  do {
    n = ::poll(&p, 1, 0);
  } while (n < 0 && errno == EINTR);
  return n > 0;
}

int nxrdln(std::string& buf, const char* prompt) {
  std::fflush(stdout);
  if (!isatty(STDIN_FILENO)) {
    std::fputs(prompt, stdout);
    std::fflush(stdout);
    buf.clear();
    std::string echo;
    line_end end = read_bounded(buf, kCommandLineMax, true, &echo);
    if (end == line_end::end_of_input) return -1;
    std::fputs(echo.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (end == line_end::too_long) refuse_long_line(buf);
    return static_cast<int>(buf.size()) + 1;
  }
  cut_by_interrupt = false;
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
    case line_end::newline:
    case line_end::last_line: break;
  }
  buf.push_back('\n');
  return static_cast<int>(buf.size()) - 1;
}

int karawln(std::string& buf, std::size_t max) {
  std::fflush(stdout);
  buf.clear();
  line_end end = read_bounded(buf, max, false, nullptr);
  // A terminal echoed the line with its end; piped input shows nothing.
  if (isatty(STDIN_FILENO)) kasetlineopen(false);
  switch (end) {
    case line_end::newline:
    case line_end::last_line: return 1;
    case line_end::too_long: buf.clear(); return -2;
    case line_end::end_of_input: return 0;
  }
  return 0;
}

bool input_interrupted() { return cut_by_interrupt; }

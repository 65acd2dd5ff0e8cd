// Message output and capture.
#include "base/message.h"

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <new>
#include <vector>

#include "base/alloc.h"

namespace {

// Capture of the messages of the command a script runs: the switch and the
// messages caught so far, in order. Held for the process; a capture saves
// and restores both around its command.
struct message_capture {
  int msgflg = 0;
  std::vector<std::string> msgstk;
};

message_capture capture;

// The last message printed left its line open (it ended without a newline).
bool line_open = false;
// A command began since: its first text written starts a line of its own.
bool break_due = false;

void write_out(const char* text, size_t n) {
  if (!n) return;
  if (break_due && line_open) std::fputc('\n', stdout);
  break_due = false;
  std::fwrite(text, 1, n, stdout);
  line_open = text[n - 1] != '\n';
}

}  // namespace

static void print_text(msg_level level, const char* text, size_t n) {
  if (capture.msgflg) {
    try {
      capture.msgstk.emplace_back(text, n);
    } catch (const std::bad_alloc&) {
      throw alloc_error("Memory allocation error:  msg buffers\n");
    }
    if (level == msg_level::error || level == msg_level::info) write_out(text, n);
  } else {
    write_out(text, n);
  }
}

void kaendline() {
  if (line_open) std::fputc('\n', stdout);
  line_open = false;
  break_due = false;
}

void kastartcommand() { break_due = true; }

void kasetlineopen(bool open) { line_open = open; }

void kaprnt(msg_level level, const char* text) {
  if (!text) return;
  print_text(level, text, std::char_traits<char>::length(text));
}

void kaprnt(msg_level level, const std::string& text) {
  print_text(level, text.data(), text.size());
}

namespace {

// Formats into a small buffer, or a string when it does not fit, and hands
// the text to put.
template <typename Put>
void vformat(const char* fmt, va_list ap, Put put) {
  va_list ap2;
  va_copy(ap2, ap);
  char small[512];
  int n = std::vsnprintf(small, sizeof small, fmt, ap);
  if (n < 0) {
    va_end(ap2);
    return;
  }
  if (static_cast<size_t>(n) < sizeof small) {
    va_end(ap2);
    put(small, static_cast<size_t>(n));
    return;
  }
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(big.data(), big.size(), fmt, ap2);
  va_end(ap2);
  put(big.data(), static_cast<size_t>(n));
}

}  // namespace

void kaprntf(msg_level level, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vformat(fmt, ap, [level](const char* text, size_t n) { print_text(level, text, n); });
  va_end(ap);
}

void kaprntout(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vformat(fmt, ap, [](const char* text, size_t n) { write_out(text, n); });
  va_end(ap);
}

void kaputout(const std::string& text) { write_out(text.data(), text.size()); }

std::optional<std::string> kacapture(const std::function<int()>& run, int& rc) {
  // A command may itself run a script that captures: keep the outer chain.
  struct capture_scope {
    int saved_flag = capture.msgflg;
    std::vector<std::string> outer;
    capture_scope() {
      outer.swap(capture.msgstk);
      capture.msgflg = 1;
    }
    // Also when run throws: the outer capture goes on.
    ~capture_scope() {
      capture.msgstk.swap(outer);
      capture.msgflg = saved_flag;
    }
    capture_scope(const capture_scope&) = delete;
    capture_scope& operator=(const capture_scope&) = delete;
  };
  std::vector<std::string> mine;
  {
    capture_scope scope;
    rc = run();
    mine.swap(capture.msgstk);
  }
  if (mine.empty()) return std::nullopt;
  try {
    size_t total = 0;
    for (const auto& m : mine) total += m.size();
    std::string joined;
    joined.reserve(total);
    for (const auto& m : mine) joined += m;
    return joined;
  } catch (const std::bad_alloc&) {
    throw alloc_error("Memory allocation error: Message Return Buffer\n");
  }
}

int kamsgflg() { return capture.msgflg; }
void kasetmsgflg(int flag) { capture.msgflg = flag; }

// Message output and capture: the one routine through which the core prints.
#pragma once

#include <functional>
#include <optional>
#include <string>

// What a message is; the numbers are the levels scripts and captures have always used.
enum class msg_level {
  error = 0,   // printed even while a script captures
  info = 1,    // information or warning, printed even while a script captures
  result = 2,  // a command's result: captured for the script when one runs the command
  notice = 3,  // handled as a result
};

void kaprnt(msg_level level, const char* text);
void kaprnt(msg_level level, const std::string& text);
// Ends the line a message left open (some end without a newline), so that
// what comes next, the prompt above all, starts a line of its own.
void kaendline();
// A command begins: the first text it writes starts a line of its own when
// the output before it (a message, a script's prompt) left one open. A
// command that writes nothing leaves the line as it is.
void kastartcommand();
// Output that reaches standard output past these routines (a script's say
// and prompt) or a terminal's echo of a line read: whether the line is left
// open.
void kasetlineopen(bool open);

// Formatted message; the format must be a literal of the program, never user text.
void kaprntf(msg_level level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// Text straight to standard output, never captured by a script (the
// graphics package's own messages), that starts and ends lines as the
// messages do. The format must be a literal of the program.
void kaprntout(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void kaputout(const std::string& text);

// Runs run() in capture mode: every message is collected (results and
// notices, only there) and returned as one text, nothing when none was
// printed; rc gets run's return code. Nested captures keep the outer chain.
std::optional<std::string> kacapture(const std::function<int()>& run, int& rc);

// Capture switch (1 while a script runs a command). Command files save it,
// switch it off and restore it.
int kamsgflg();
void kasetmsgflg(int flag);

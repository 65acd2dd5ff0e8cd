// Message output and capture: the one routine through which the core prints.
#pragma once

#include <optional>
#include <string>

struct session_state;

// Levels: 0 error, 1 information or warning, 2 result, 3 notice (as 2).
void kaprnt(int level, const char* text);
void kaprnt(int level, const std::string& text);
// Formatted message; the format must be a literal of the program, never user text.
void kaprntf(int level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Runs one command for the script interpreter in capture mode; returns the
// captured text (nothing when the command printed nothing) and the dispatcher's
// return code in rc.
std::optional<std::string> kagsdo(const std::string& command, int& rc);

// Capture switch (1 while a script runs a command). Command files save it,
// switch it off and restore it.
int kamsgflg();
void kasetmsgflg(int flag);

// The session the dispatcher records before it starts a script.
extern session_state* savpcm;

// Message output and capture: the one routine through which the core prints.
#pragma once

#include <functional>
#include <optional>
#include <string>

// Levels: 0 error, 1 information or warning, 2 result, 3 notice (as 2).
void kaprnt(int level, const char* text);
void kaprnt(int level, const std::string& text);
// Formatted message; the format must be a literal of the program, never user text.
void kaprntf(int level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Runs run() in capture mode: every message is collected (results, level 2
// and above, only there) and returned as one text, nothing when none was
// printed; rc gets run's return code. Nested captures keep the outer chain.
std::optional<std::string> kacapture(const std::function<int()>& run, int& rc);

// Capture switch (1 while a script runs a command). Command files save it,
// switch it off and restore it.
int kamsgflg();
void kasetmsgflg(int flag);

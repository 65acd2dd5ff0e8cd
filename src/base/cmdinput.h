// Reading one line of user input from standard input. Both readers take the
// input byte by byte from the descriptor, never through stdio buffering, so
// the line editor, the plain reader and the script's "pull" can share a
// piped input without losing lines.
#pragma once

#include <string>

// Line editing and history; the line (leading spaces dropped, no newline)
// replaces buf. Returns its length + 1, or -1 at end of input.
int nxrdln(std::string& buf, const char* prompt);

// Plain reading after printing the prompt and a blank; buf gets the line with
// its newline (leading spaces dropped). Returns the characters before the
// newline, or -1 at end of input (a partly read last line is dropped).
int nxtcmd(std::string& buf, const char* prompt);

// Reads one raw line without prompt (newline removed). Returns 1, or 0 at end
// of input; a last line without newline is still returned.
int karawln(std::string& buf);

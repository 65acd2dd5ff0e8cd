// Reading one line of user input from standard input. Both readers take the
// input byte by byte from the descriptor, never through stdio buffering, so
// the line editor, the plain reader and the script's "pull" can share a
// piped input without losing lines.
#pragma once

#include <cstddef>
#include <string>

// Longest command line typed or piped: room for a command and a file name of
// the longest path the system takes. A longer line is refused whole (it would
// otherwise grow without end on an endless input).
inline constexpr std::size_t kCommandLineMax = 4096;

// Longest line of a command file.
inline constexpr std::size_t kCommandFileLineMax = 299;

// Lines kept for recall by the line editor; older ones are dropped.
inline constexpr int kHistoryMax = 500;

// Line editing and history; the line (leading spaces dropped, no newline)
// replaces buf. Returns its length + 1, or -1 at end of input. When standard
// input is no terminal the line is read plainly, echoed after the prompt as
// the editor would echo it, and kept out of the history, so a long piped
// session costs the same per line as the plain reader.
int nxrdln(std::string& buf, const char* prompt);

// Plain reading after printing the prompt and a blank; buf gets the line with
// its newline (leading spaces dropped). Returns the characters before the
// newline, or -1 at end of input. A last line without newline is returned
// as if it had one: files written without a final newline lose no command.
int nxtcmd(std::string& buf, const char* prompt);

// True when standard input holds bytes (or its end) to read at once, so that
// reading the next line will not wait for its user.
bool input_ready();

// Both readers refuse a line longer than kCommandLineMax: the rest of it is
// read and dropped, the message below is printed and an empty line returned.
// The first interrupt while the rest is dropped ends the drop the same way
// (an endless line would otherwise be waited for for ever); it is then left
// pending, and input_interrupted() says so, so that the next line's reader
// does not take it for a new one and a second interrupt ends the session as
// it would at the prompt.
bool input_interrupted();

// Reads one raw line without prompt (newline removed), of at most max
// characters. Returns 1, 0 at end of input (a last line without newline is
// still returned), or -2 for a longer line, whose rest is read and dropped.
int karawln(std::string& buf, std::size_t max);

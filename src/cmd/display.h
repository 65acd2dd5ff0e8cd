// The display command's evaluation of an expression list and the release of
// its results.
#pragma once

#include <string>

struct eval_state;
struct session_state;
class memory_refusal;

// Splits the list at ";" and evaluates every part (at most 16) into the
// session's result slots. 0 done; 1 after the messages, with every result of
// the list released.
int kapars(const char* expressions, eval_state* pst, session_state* pcm);
// The expression list of a command line starting at p: its first line with
// the blanks removed.
std::string kaexprline(const char* p);
// Releases the session's display results.
void kagrel(session_state* pcm);
// Default contour colour of a plot pass: -1 (rainbow) for pass 0, then
// single colours; passes past the table cycle through its single colours.
int kadcolor(int plot_pass);
// Says that COMMAND refused a grid no memory holds: its points, what it
// needs and what the process had left.
void kasay_refused(const char* command, const memory_refusal& r);

// The display command's evaluation of an expression list and the release of
// its results.
#pragma once

struct eval_state;
struct session_state;

// Splits the list at ";" and evaluates every part (at most 16) into the
// session's result slots. 0 done; 1 after the messages, with every result of
// the list released.
int kapars(const char* expressions, eval_state* pst, session_state* pcm);
// Releases the session's display results.
void kagrel(session_state* pcm);

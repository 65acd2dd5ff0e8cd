// Command dispatcher: one command line in, 0 done, 1 error, -1 quit.
#pragma once

#include <string>

struct session_state;

// flag is 1 when the line comes from a command file ("exec").
int kacmd(const std::string& line, session_state* pcm, int flag);

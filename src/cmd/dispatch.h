// Command dispatcher: one command line in, 0 done, 1 error, -1 quit.
#pragma once

#include <optional>
#include <string>

struct session_state;

// from_exec: the line comes from a command file ("exec").
int kacmd(const std::string& line, session_state* pcm, bool from_exec);

// How deeply the running command is nested, one record per process; each
// count is raised and lowered by a guard, so every way out restores it.
struct command_nesting {
  int lines = 0;           // command lines run inside the outermost one
  int exec_files = 0;      // exec files being read
  bool in_imprun = false;  // the imprun script runs: a display in it does not start it again
  // The session the dispatcher records before it starts a script; the
  // script's commands run in it.
  session_state* savpcm = nullptr;
};
command_nesting& nesting();

// Commits and closes the fwrite output file, if one is open, saying why
// when it could not be written (false then); the fwrite settings go back to
// their start.
bool close_fwrite(session_state* pcm);

// Runs one command for the script interpreter in capture mode; returns the
// captured text (nothing when the command printed nothing) and the dispatcher's
// return code in rc.
std::optional<std::string> kagsdo(const std::string& command, int& rc);

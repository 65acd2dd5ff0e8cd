// Command handlers reached from the dispatcher, and the services the
// dispatcher and start-up call. Handlers receive the lower-cased line and/or
// the line as typed (same character positions, leading blanks skipped, the
// buffers are the dispatcher's and may be changed) and return 0 done, 1
// error, -1 quit. Each prints its own messages through kaprnt.
#pragma once

struct session_state;
struct file_descriptor;
enum class msg_level;

// The dispatcher's own small commands (dispatch.cpp).
int kahelp();
int kaenab(char* typed, session_state* pcm);

// Command files (cmdfile.cpp).
int kaexec(char* typed, session_state* pcm);

// "query" (query.cpp); keywords built elsewhere are the kaq* functions below.
int kaqury(char* lower, char* typed, session_state* pcm);
// Keyword handlers of "query": lower and typed point at the keyword.
int kaqdims(char* lower, char* typed, session_state* pcm);
int kaqtime(char* lower, char* typed, session_state* pcm);
int kaqfile(char* lower, char* typed, session_state* pcm);
int kaqfiles(char* lower, char* typed, session_state* pcm);
int kaqctl(char* lower, char* typed, session_state* pcm);
int kaqdialog(char* lower, char* typed, session_state* pcm);
int kaqstring(char* lower, char* typed, session_state* pcm);
int kaqfwrite(char* lower, char* typed, session_state* pcm);
int kaqlats(char* lower, char* typed, session_state* pcm);
int kaqw2xy(char* lower, char* typed, session_state* pcm);
int kaqw2gr(char* lower, char* typed, session_state* pcm);
int kaqgr2w(char* lower, char* typed, session_state* pcm);
int kaqgr2xy(char* lower, char* typed, session_state* pcm);
int kaqpp2xy(char* lower, char* typed, session_state* pcm);
int kaqxy2w(char* lower, char* typed, session_state* pcm);
int kaqxy2gr(char* lower, char* typed, session_state* pcm);
int kaqll2xy(char* lower, char* typed, session_state* pcm);
int kaqdefval(char* lower, char* typed, session_state* pcm);
int kaqudft(char* lower, char* typed, session_state* pcm);
int kaqgxinfo(char* lower, char* typed, session_state* pcm);
int kaqxinfo(char* lower, char* typed, session_state* pcm);
int kaqshades(char* lower, char* typed, session_state* pcm);
int kaqpos(char* lower, char* typed, session_state* pcm);
int kaqdefine(char* lower, char* typed, session_state* pcm);

// Handlers of the other command words.
int kaset(char* lower, char* typed, session_state* pcm);
int kaopen(const char* name, session_state* pcm);
int kadspl(char* lower, session_state* pcm);
int kacoll(char* lower, session_state* pcm);
// Releases every collection with its station sets.
void kacollfree(session_state* pcm);
int kadef(char* lower, session_state* pcm, int impl);
int kaudef(char* lower, session_state* pcm);
int kamodf(char* lower, session_state* pcm);
int kadraw(char* typed, session_state* pcm);
int kardrw(char* typed, session_state* pcm);
// "printim" (printim.cpp).
int kaprim(char* lower, char* typed);

// Services of start-up and reset.
void kacfg(msg_level level);  // configuration report
void command_line_help();
void kaiomg();                      // re-arms the once-only interpolation notice
void kareldef(session_state* pcm);  // releases every defined variable

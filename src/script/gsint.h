// Records and routines shared by the parts of the script interpreter: loading,
// running, expressions, built-in functions and file lookup.
#pragma once

#include <cstdio>
#include <deque>
#include <optional>
#include <string>

#include <unordered_map>
#include <vector>

#include "script/gs.h"

// Statement types.
enum statement_type {
  GS_COMMAND = 1,
  GS_ASSIGN = 2,
  GS_WHILE = 3,
  GS_ENDWHILE = 4,
  GS_CONTINUE = 5,
  GS_BREAK = 6,
  GS_IF = 7,
  GS_ELSE = 8,
  GS_ENDIF = 9,
  GS_RETURN = 10,
  GS_FUNCTION = 11,
  GS_SAY = 12,
  GS_PULL = 13,
  GS_EXIT = 14,
  GS_PROMPT = 15
};

// Run codes passed between statements, blocks and function invocations.
enum {
  GSR_GO = 0,
  GSR_CONTINUE = 1,
  GSR_BREAK = 2,
  GSR_RETURN = 3,
  GSR_EXIT = 4,
  GSR_ERROR = 99,
  GSR_QUIT = 999
};

constexpr int GS_NAMELEN = 16;  // variable and function names, blank-padded

struct script_variable {
  std::string name;  // exactly GS_NAMELEN characters, blank-padded
  std::string value;
};

// A variable list in creation order; the map only speeds up the search.
struct script_var_list {
  std::vector<script_variable> vars;
  std::unordered_map<std::string, size_t> index;
};

struct script_file {
  std::string name;  // the path under which the file was opened
  int first = -1;    // first statement of this file, -1 when none
};

struct script_statement {
  int link = -1;                    // matched block statement, -1 when none
  int file = -1;                    // owning script_file
  std::string text;                 // the statement, trailing blanks removed
  size_t expr = std::string::npos;  // offset of the expression in text
  int line = 0;                     // 1-based line on which the statement begins
  int type = GS_COMMAND;
  bool has_expr() const { return expr != std::string::npos; }
  const char* expr_text() const { return text.c_str() + expr; }
};

struct script_function {
  int first = -1;    // the function statement
  std::string name;  // GS_NAMELEN characters, blank-padded
};

struct script_open_file {
  FILE* stream = nullptr;
  std::string name;   // the exact text of the argument that opened it
  int mode = 1;       // 1 read, 2 write
  bool pipe = false;  // a pipe, read and written without blocking
};

// Opening, reading and writing the files of read() and write(); a pipe may
// keep any of them waiting, and an interrupt ends the wait.
enum class gs_io { done, failed, interrupted };
// Opens name for reading (mode "r"), for a pipe once a writer has come.
gs_io gs_open_read(const std::string& name, script_open_file& out);
// Opens name for writing (emptied, or appended to with append), for a pipe
// once a reader has come.
gs_io gs_open_write(const std::string& name, bool append, script_open_file& out);
// The next line with its newline, at most max characters (a longer line goes
// on at the next call); empty at the end of the file. failed on a read error
// before anything was read.
gs_io gs_read_record(script_open_file& f, std::string& line, std::size_t max);
// Writes rec and a newline, at once.
gs_io gs_write_record(script_open_file& f, const std::string& rec);

// Everything of one script run. Deques keep references to their elements
// valid while function files are loaded in the middle of a statement.
struct script_run {
  std::deque<script_file> files;
  int current = -1;
  std::deque<script_statement> stmts;
  script_var_list* locals = nullptr;
  std::deque<script_function> funcs;
  std::vector<script_open_file> open_files;
  script_var_list globals;
  std::vector<std::string> args;
  std::string name;
  std::string maindir;
  std::string fpath;
  bool fpath_set = false;
  std::optional<std::string> retstr;
  int gsfallow = 0;

  script_run() = default;
  script_run(const script_run&) = delete;
  script_run& operator=(const script_run&) = delete;
  ~script_run();
};

// Output of the interpreter (standard output unless a test redirects it).
FILE* gs_out();
void gs_set_output(FILE* f);
void gs_write(const std::string& s);

// The command layer as seen by command statements (the registered one unless
// replaced; null restores it).
void gs_set_command_runner(gs_command_fn fn);
std::optional<std::string> gs_run_command(const std::string& command, int& rc);

// Helpers.
inline bool gs_blank(char c) { return c == ' ' || c == '\t'; }
inline bool gs_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool gs_digit(char c) { return c >= '0' && c <= '9'; }
std::string gs_pad(const std::string& name);      // blank-pads or cuts to GS_NAMELEN
std::string gs_unpad(const std::string& name16);  // up to the first blank
bool gs_cmpwrd(const char* a, const char* b);

// A value that may still begin with the text of a local variable of the
// running function, held by reference: s = s 'x' then appends to s where it
// stands instead of copying it, so a loop of appends takes linear time. Only
// locals are referred to: nothing an expression runs can change the locals
// of the function it runs in.
struct gs_value {
  const std::string* head = nullptr;  // the variable's text, or none
  std::string tail;                   // what follows it
  std::string take() &&;              // the whole text
};

// Loading (gsload.cpp).
int gsgsfrd(script_run* run, int kind, const std::string& name);
void gs_print_where(const script_run* run, int stmt, bool indent);

// Execution (gsrun.cpp).
// Longest string value: a script that keeps doubling a string stops here
// with an error instead of taking the machine's memory.
constexpr size_t GS_STRING_MAX = size_t{16} << 20;
constexpr int GS_MAX_DEPTH =
    400;  // nested function calls; sanitizer builds need ~5 KB of stack a level
constexpr int GS_MAX_SCRIPTS = 64;  // scripts started by commands of scripts
// Parentheses and prefix operators open at once in one expression: each
// holds chain items until its group is reduced.
constexpr size_t GS_EXPR_NEST_MAX = 1000;

// How deep the interpreter is, counted across the scripts a script's commands
// start: lives as long as the outermost script run.
struct script_nesting {
  int scripts = 0;  // script files running
  int calls = 0;    // function calls, script functions and built-ins alike
};
script_nesting& gs_nesting();

// Holds one level of a nesting counter for as long as it lives, however the
// level is left: a return, an error or an exception.
class gs_nesting_scope {
 public:
  explicit gs_nesting_scope(int& level) : level_(level) { ++level_; }
  ~gs_nesting_scope() { --level_; }
  gs_nesting_scope(const gs_nesting_scope&) = delete;
  gs_nesting_scope& operator=(const gs_nesting_scope&) = delete;

 private:
  int& level_;
};

bool gs_call_allowed();  // false (reported) when calls are nested too deeply
int gsrunf(int start, script_run* run);
std::optional<std::string> gsfvar(const std::string& name16, script_run* run);
// As gsfvar, but a set local variable comes back as a reference to its text.
std::optional<gs_value> gsfvar_value(const std::string& name16, script_run* run);
int gsrvar(script_run* run, const std::string& in16, std::string& out16);
script_variable* gs_find_var(script_var_list& list, const std::string& name16);
void gs_set_var(script_var_list& list, const std::string& name16, std::string value);

// Expressions (gsexpr.cpp).
std::optional<std::string> gsexpr(const char* text, script_run* run);

std::optional<gs_value> gsexpr_value(const char* text, script_run* run);
// 0 not a number, 1 integer, 2 floating.
int gsnum(const std::string& s, long* ival, double* dval);
std::string gs_fmt_double(double v);
// 1 when a user's number format holds exactly one floating conversion.
bool gs_check_format(const std::string& f);

// Built-in functions (gsfunc.cpp): cursor at '('; returns the cursor after
// the closing ')' or null.
const char* gsfunc(const char* cursor, const std::string& name16, script_run* run);

// File lookup (gsfind.cpp).
FILE* gsonam(script_run* run, const std::string& file, std::string& path);
FILE* gsogsf(script_run* run, const std::string& name16, std::string& path);

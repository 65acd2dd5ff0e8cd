// Script entry, loading of script and function files, cutting the text into
// typed statements, building the function list and matching the blocks.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "base/inputfile.h"
#include "base/message.h"
#include "base/nesting.h"
#include "base/words.h"
#include "script/gs.h"
#include "script/gsint.h"

// ---- output, input and the command layer ---------------------------------

namespace {

// Where the interpreter prints and which command layer its command
// statements reach: set up once a session (tests redirect both). The command
// layer installs itself before it starts a script; the interpreter never
// reaches the commands any other way.
struct script_channels {
  FILE* output = nullptr;              // null: standard output
  gs_command_fn registered = nullptr;  // the command layer's runner
  gs_command_fn runner = nullptr;      // what command statements call
};

script_channels channels;

}  // namespace

FILE* gs_out() { return channels.output ? channels.output : stdout; }
void gs_set_output(FILE* f) { channels.output = f; }

void gs_write(const std::string& s) {
  if (s.empty()) return;
  fwrite(s.data(), 1, s.size(), gs_out());
  // A prompt's text leaves the line open: the command prompt starts a new one.
  if (gs_out() == stdout) kasetlineopen(s.back() != '\n');
}

void gs_register_command_layer(gs_command_fn fn) {
  if (channels.runner == channels.registered) channels.runner = fn;
  channels.registered = fn;
}

void gs_set_command_runner(gs_command_fn fn) { channels.runner = fn ? fn : channels.registered; }

std::optional<std::string> gs_run_command(const std::string& command, int& rc) {
  // The command's own output must follow what the script printed so far.
  fflush(gs_out());
  if (!channels.runner) {
    rc = 1;
    return std::nullopt;
  }
  return channels.runner(command, rc);
}

// ---- small helpers --------------------------------------------------------

std::string gs_pad(const std::string& name) {
  std::string s = name.substr(0, GS_NAMELEN);
  s.resize(GS_NAMELEN, ' ');
  return s;
}

std::string gs_unpad(const std::string& name16) {
  size_t e = name16.find(' ');
  return name16.substr(0, e);
}

// Word comparison: leading blanks skipped; a word ends at a blank, tab,
// newline or the end; case-sensitive.
bool gs_cmpwrd(const char* a, const char* b) {
  while (*a == ' ' || *a == '\t') a++;
  while (*b == ' ' || *b == '\t') b++;
  while (!word_end(*a) && !word_end(*b)) {
    if (*a != *b) return false;
    a++;
    b++;
  }
  return word_end(*a) && word_end(*b);
}

void gs_print_where(const script_run* run, int stmt, bool indent) {
  const script_statement& st = run->stmts[stmt];
  fprintf(gs_out(), "%sError occurred on line %i\n", indent ? "  " : "", st.line);
  fprintf(gs_out(), "  In file %s\n", run->files[st.file].name.c_str());
}

script_run::~script_run() {
  for (auto& f : open_files) {
    if (f.stream) fclose(f.stream);
  }
}

// ---- cutting and typing one statement --------------------------------------

struct keyword_form {
  const char* word;   // matched as the first word of the copy
  const char* paren;  // or as a prefix with '(' (null when none)
  int type;
  int skip;  // letters before the expression; -1 no expression
};

static const keyword_form gs_keywords[] = {
    {"if", "if(", GS_IF, 2},
    {"else", nullptr, GS_ELSE, -1},
    {"endif", nullptr, GS_ENDIF, -1},
    {"while", "while(", GS_WHILE, 5},
    {"endwhile", nullptr, GS_ENDWHILE, -1},
    {"continue", nullptr, GS_CONTINUE, -1},
    {"break", nullptr, GS_BREAK, -1},
    {"return", "return(", GS_RETURN, 6},
    {"function", nullptr, GS_FUNCTION, 8},
    {"say", nullptr, GS_SAY, 3},
    {"print", nullptr, GS_SAY, 5},
    {"prompt", nullptr, GS_PROMPT, 6},
    {"pull", nullptr, GS_PULL, 4},
    {"exit", nullptr, GS_EXIT, 4},
};

static void gs_type_statement(script_statement& st) {
  const std::string& s = st.text;
  size_t n = s.size();
  if (n > 0 && (gs_alpha(s[0]) || s[0] == '_')) {
    size_t i = 1;
    while (i < n && (gs_alpha(s[i]) || gs_digit(s[i]) || s[i] == '.' || s[i] == '_')) i++;
    while (i < n && gs_blank(s[i])) i++;
    if (i < n && s[i] == '=') {
      st.type = GS_ASSIGN;
      st.expr = i + 1;
      return;
    }
  }
  std::string copy = s.substr(0, 9);
  for (auto& c : copy) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  for (const auto& k : gs_keywords) {
    bool hit = gs_cmpwrd(copy.c_str(), k.word);
    if (!hit && k.paren) hit = copy.compare(0, strlen(k.paren), k.paren) == 0;
    if (!hit) continue;
    st.type = k.type;
    if (k.skip >= 0) {
      size_t i = static_cast<size_t>(k.skip);
      while (i < n && gs_blank(s[i])) i++;
      if (i < n) st.expr = i;
    }
    return;
  }
  st.type = GS_COMMAND;
  st.expr = 0;
}

// Cuts the statement at p; false for a comment or an empty statement.
static bool gsrtyp(const std::string& t, size_t& p, int& line, script_statement& st) {
  size_t n = t.size();
  if (t[p] == '*' || t[p] == '#') {
    while (p < n && t[p] != '\n') p++;
    if (p < n) {
      p++;
      line++;
    }
    return false;
  }
  while (p < n && gs_blank(t[p])) p++;
  if (p >= n) return false;
  if (t[p] == ';') {
    p++;
    return false;
  }
  if (t[p] == '\n') {
    p++;
    line++;
    return false;
  }
  size_t start = p;
  size_t e = p;
  char quote = 0;
  while (e < n && t[e] != '\n') {
    char c = t[e];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == ';') {
      break;
    }
    e++;
  }
  size_t stop = e;
  while (stop > start && gs_blank(t[stop - 1])) stop--;
  st.text = t.substr(start, stop - start);
  st.line = line;
  st.link = -1;
  st.expr = std::string::npos;
  if (e < n && t[e] == '\n') line++;
  p = e + 1;
  gs_type_statement(st);
  return true;
}

// ---- block matching ---------------------------------------------------------

static void gs_scan_where(const script_run* run, int i) {
  const script_statement& st = run->stmts[i];
  fprintf(gs_out(), "  Error occurred scanning line %i\n", st.line);
  fprintf(gs_out(), "  In file %s\n", run->files[st.file].name.c_str());
}

static int gsbkdo(script_run* run, int i, int wh, int& err);
static int gsbkif(script_run* run, int i, int ifst, int wh, int& err);

static int gsbkst(script_run* run, int i, int encl_if, int encl_while, int& err) {
  script_statement& st = run->stmts[i];
  FILE* o = gs_out();
  if ((st.type == GS_WHILE || st.type == GS_IF) && stack_low()) {
    fprintf(o, "Blocks nested too deeply.\n");
    gs_scan_where(run, i);
    err = 1;
    return -1;
  }
  switch (st.type) {
    case GS_WHILE: {
      int e = gsbkdo(run, i + 1, i, err);
      return err ? -1 : e + 1;
    }
    case GS_ENDWHILE:
      fprintf(o, "Unexpected endwhile.  Incorrect loop nesting.\n");
      if (encl_if >= 0) {
        fprintf(o, "  Expecting endif before endwhile for ");
        fprintf(o, "if statement at line %i\n", run->stmts[encl_if].line);
      }
      gs_scan_where(run, i);
      err = 1;
      return -1;
    case GS_CONTINUE:
    case GS_BREAK:
      if (encl_while >= 0) {
        st.link = encl_while;
      } else {
        fprintf(o, st.type == GS_CONTINUE ? "Unexpected continue.  No associated while\n"
                                          : "Unexpected break.  No associated while\n");
        gs_scan_where(run, i);
        fprintf(o, "  Statement is ignored\n");
      }
      return i + 1;
    case GS_IF: {
      int e = gsbkif(run, i + 1, i, encl_while, err);
      return err ? -1 : e + 1;
    }
    case GS_ELSE:
      fprintf(o, "Unexpected else.  Incorrect if block nesting.\n");
      gs_scan_where(run, i);
      err = 1;
      return -1;
    case GS_ENDIF:
      fprintf(o, "Unexpected endif.  Incorrect if block nesting.\n");
      gs_scan_where(run, i);
      err = 1;
      return -1;
    case GS_FUNCTION: return i;
    default: return i + 1;
  }
}

static int gsbkdo(script_run* run, int i, int wh, int& err) {
  int n = static_cast<int>(run->stmts.size());
  while (i < n && run->stmts[i].type != GS_ENDWHILE && run->stmts[i].type != GS_FUNCTION) {
    i = gsbkst(run, i, -1, wh, err);
    if (err) return -1;
  }
  if (i >= n || run->stmts[i].type == GS_FUNCTION) {
    fprintf(gs_out(), "Unable to locate ENDWHILE statement");
    fprintf(gs_out(), " for the WHILE statement at line %i\n", run->stmts[wh].line);
    fprintf(gs_out(), "  In file %s\n", run->files[run->stmts[wh].file].name.c_str());
    err = 1;
    return -1;
  }
  run->stmts[wh].link = i;
  run->stmts[i].link = wh;
  return i;
}

static int gsbkif(script_run* run, int i, int ifst, int wh, int& err) {
  int n = static_cast<int>(run->stmts.size());
  int els = -1;
  while (i < n) {
    int t = run->stmts[i].type;
    if (t == GS_ENDIF || t == GS_FUNCTION) break;
    if (t == GS_ELSE && els < 0) {
      els = i++;
      continue;
    }
    i = gsbkst(run, i, ifst, wh, err);
    if (err) return -1;
  }
  if (i >= n || run->stmts[i].type == GS_FUNCTION) {
    fprintf(gs_out(), "Unable to locate ENDIF statement");
    fprintf(gs_out(), " for the IF statement at line %i\n", run->stmts[ifst].line);
    fprintf(gs_out(), "  In file %s\n", run->files[run->stmts[ifst].file].name.c_str());
    err = 1;
    return -1;
  }
  run->stmts[i].link = ifst;
  if (els >= 0) {
    run->stmts[ifst].link = els;
    run->stmts[els].link = i;
  } else {
    run->stmts[ifst].link = i;
  }
  return i;
}

// Checks a function statement and records its name; 0 or 1 (reported).
static int gs_function_entry(script_run* run, int i) {
  script_statement& st = run->stmts[i];
  run->funcs.push_back({i, std::string(GS_NAMELEN, ' ')});
  script_function& fn = run->funcs.back();
  const std::string& fname = run->files[st.file].name;
  auto fail = [&](const char* why) {
    if (why) fprintf(gs_out(), "%s", why);
    fprintf(gs_out(), "Error in %s: Invalid function statement", fname.c_str());
    fprintf(gs_out(), " at line %i\n", st.line);
    fprintf(gs_out(), "  In file %s\n", fname.c_str());
    return 1;
  };
  if (!st.has_expr()) return fail(nullptr);
  const std::string& s = st.text;
  size_t p = st.expr;
  if (!gs_alpha(s[p])) return fail("Invalid function name\n");
  size_t b = p;
  while (p < s.size() && (gs_alpha(s[p]) || gs_digit(s[p]) || s[p] == '_')) {
    if (p - b >= static_cast<size_t>(GS_NAMELEN)) return fail("Function name too long\n");
    p++;
  }
  fn.name = gs_pad(s.substr(b, p - b));
  while (p < s.size() && gs_blank(s[p])) p++;
  st.expr = p < s.size() ? p : std::string::npos;
  return 0;
}

static int gsblck(script_run* run, int first) {
  int n = static_cast<int>(run->stmts.size());
  int i = first;
  int err = 0;
  while (i >= 0 && i < n) {
    if (run->stmts[i].type == GS_FUNCTION) {
      if (gs_function_entry(run, i)) return 1;
      i++;
      continue;
    }
    i = gsbkst(run, i, -1, -1, err);
    if (err) return 1;
  }
  return 0;
}

// ---- reading a file -----------------------------------------------------------

int gsgsfrd(script_run* run, int kind, const std::string& name) {
  run->files.push_back(script_file{});
  int fidx = static_cast<int>(run->files.size()) - 1;
  run->current = fidx;
  std::string path;
  FILE* f = kind == 0 ? gsonam(run, name, path) : gsogsf(run, name, path);
  if (!f) return 9;
  run->files[fidx].name = path;
  FILE* o = gs_out();

  struct stat sb;
  if (fstat(fileno(f), &sb) != 0) {
    fprintf(o, "I/O Error reading script file: %s\n", path.c_str());
    fclose(f);
    return 1;
  }
  std::string text;
  size_t want = static_cast<size_t>(sb.st_size);
  if (want > GS_STRING_MAX) {
    fprintf(o, "Error executing script file: %s\n", path.c_str());
    fprintf(o, "  Script file larger than %zu bytes\n", GS_STRING_MAX);
    fclose(f);
    return 1;
  }
  try {
    text.resize(want);
  } catch (...) {
    fprintf(o, "Error executing script file: %s\n", path.c_str());
    fprintf(o, "  Unable to allocate memory for file read\n");
    fclose(f);
    return 1;
  }
  size_t got = want ? fread(text.data(), 1, want, f) : 0;
  fclose(f);
  if (got != want) {
    fprintf(o, "I/O Error reading script file: %s\n", path.c_str());
    fprintf(o, "  Return code = %zu, %zu\n", got, want);
    return 1;
  }

  // A statement is read up to its first NUL: the rest would be lost unseen.
  if (const size_t nul = text.find('\0'); nul != std::string::npos) {
    const long line = 1 + std::count(text.begin(), text.begin() + long(nul), '\n');
    fprintf(o, "Error executing script file: %s\n", path.c_str());
    fprintf(o, "  Line %ld holds a NUL byte\n", line);
    return 1;
  }
  // A CRLF line end is a line end; any other carriage return is a blank.
  drop_line_end_returns(text);
  for (auto& c : text) {
    if (c == '\r') c = ' ';
  }
  // Editors and printf often leave the last line without its newline; it is
  // a statement all the same.
  if (!text.empty() && text.back() != '\n') text.push_back('\n');

  int line = 1;
  size_t p = 0;
  int first = -1;
  while (p < text.size()) {
    script_statement st;
    if (!gsrtyp(text, p, line, st)) continue;
    st.file = fidx;
    run->stmts.push_back(std::move(st));
    if (first < 0) first = static_cast<int>(run->stmts.size()) - 1;
  }
  run->files[fidx].first = first;
  if (first < 0) return 0;
  return gsblck(run, first);
}

// ---- entry ----------------------------------------------------------------------

std::optional<std::string> gsfile(const std::string& text, int& rc, int implicit) {
  size_t i = 0;
  while (i < text.size() && gs_blank(text[i])) i++;
  size_t e = i;
  while (e < text.size() && !gs_blank(text[e]) && text[e] != '\n') e++;
  std::string name = text.substr(i, e - i);
  while (e < text.size() && gs_blank(text[e])) e++;
  size_t nl = text.find('\n', e);
  std::string args = text.substr(e, nl == std::string::npos ? std::string::npos : nl - e);

  // A script that runs itself through a command would otherwise recurse
  // until the stack is gone.
  if (gs_nesting().scripts >= GS_MAX_SCRIPTS) {
    fprintf(gs_out(), "Error executing script file: %s\n", name.c_str());
    fprintf(gs_out(), "  Scripts nested too deeply\n");
    rc = 1;
    return std::nullopt;
  }

  script_run run;
  run.name = name;
  int code = 1;  // what an allocation failure ends with: 1 loading, 99 running
  try {
    int r = gsgsfrd(&run, 0, name);
    if (r == 9) {
      if (implicit) {
        kaprnt(msg_level::error, "Unknown command: " + name + "\n");
      } else {
        fprintf(gs_out(), "Error opening script file: %s\n", name.c_str());
      }
    }
    if (r != 0) {
      rc = 1;
      return std::nullopt;
    }
    if (run.stmts.empty()) {
      rc = 0;
      return std::nullopt;
    }
    run.args.push_back(args);
    code = GSR_ERROR;
    gs_nesting_scope in_run(gs_nesting().scripts);
    code = gsrunf(0, &run);
  } catch (const std::bad_alloc&) {
    fprintf(gs_out(), "Error executing script file: --> %s <--\n", name.c_str());
    fprintf(gs_out(), "  Memory allocation error \n");
    rc = code;
    fflush(gs_out());
    return std::nullopt;
  }
  if (code == GSR_QUIT) code = -1;
  rc = code;
  std::optional<std::string> out = std::move(run.retstr);
  fflush(gs_out());
  return out;
}

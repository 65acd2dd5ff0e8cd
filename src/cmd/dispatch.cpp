// The command dispatcher and the small commands it handles itself.
#include "cmd/dispatch.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "cmd/commands.h"
#include "base/alloc.h"
#include "base/message.h"
#include "base/mfcmn.h"
#include "cmd/open.h"
#include "base/session.h"
#include "base/words.h"
#include "data/filerec.h"
#include "gx/gx.h"
#include "script/gs.h"
#include "data/reader.h"
#include "sdf/sdf.h"

std::optional<std::string> kagsdo(const std::string& command, int& rc) {
  return kacapture([&command] { return kacmd(command, nesting().savpcm, false); }, rc);
}

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_end(char c) { return c == '\0' || c == '\n'; }

char* skip_blanks(char* p) {
  while (is_blank(*p)) ++p;
  return p;
}

// The word at p, up to a blank, newline or end.
std::string word_at(const char* p) {
  const char* e = p;
  while (!is_end(*e) && !is_blank(*e)) ++e;
  return std::string(p, e);
}

// The text from p to the end of the line (newline excluded).
std::string rest_of_line(const char* p) {
  const char* e = p;
  while (!is_end(*e)) ++e;
  return std::string(p, e);
}

// Matching word of the typed line for a position in the lower-cased copy.
char* typed_at(char* typed, const char* lower_base, const char* lower_pos) {
  return typed + (lower_pos - lower_base);
}

int run_script(const std::string& text, session_state* pcm, int implicit) {
  nesting().savpcm = pcm;
  gs_register_command_layer(kagsdo);
  int rc = 0;
  std::optional<std::string> out = gsfile(text, rc, implicit);
  if (rc == 0 && out) kaprnt(msg_level::result, *out);
  return rc;
}

int do_reset(session_state* pcm, bool reinit) {
  pcm->page_width = pcm->real_page_width;
  pcm->page_height = pcm->real_page_height;
  gxvpag(pcm->page_width, pcm->page_height, 0, pcm->page_width, 0, pcm->page_height);
  kacollfree(pcm);
  // The times of the data sets that stay open are dates of their calendar.
  const int calendar = mfcmn.calendar_365;
  kainit();
  kacln(pcm, 1);
  if (reinit) {
    kareldef(pcm);
    file_descriptor* pfi = pcm->file_list;
    while (pfi) {
      file_descriptor* next = pfi->next;
      kadiscard(pfi);
      pfi = next;
    }
    pcm->file_list = nullptr;
    pcm->default_file = nullptr;
    pcm->defined_list = nullptr;
    pcm->file_count = 0;
    pcm->default_file_number = 0;
    pcm->display_grey = 0;
    pcm->display_white = 0;
    close_fwrite(pcm);
    gxhend();
    gxdbck(pcm->display_white != 0);
    gxgrey(pcm->display_grey != 0);
    kaprnt(msg_level::info, "All files closed; all defined objects released\n");
  }
  if (pcm->file_list) {
    mfcmn.calendar_365 = calendar;
    pcm->default_file = pcm->file_list;
    pcm->default_file_number = 1;
    // After a reset the z range is opened only for a profile of a grid.
    const file_descriptor* pfi = pcm->default_file;
    kadefenv(pcm, pfi,
             !holds_stations(pfi) && pfi->z_size > 1 && (pfi->x_size == 1 || pfi->y_size == 1));
  }
  gxfrme(frame_action::clear);
  kaprnt(msg_level::info, reinit ? "All Vemra attributes have been reinitialized\n"
                                 : "Most Vemra attributes have been reset\n");
  return 0;
}

int do_screen(char* lower) {
  char* p = nxtwrd(lower);
  if (!p) {
    kaprnt(msg_level::error, "Screen Error: Missing keyword\n");
    return 1;
  }
  int kind;
  if (cmpwrd(p, "save"))
    kind = 0;
  else if (cmpwrd(p, "show"))
    kind = 1;
  else if (cmpwrd(p, "free"))
    kind = 2;
  else {
    kaprnt(msg_level::error, "Screen Error: Unknown keyword\n");
    return 1;
  }
  p = nxtwrd(p);
  if (!p) {
    kaprnt(msg_level::error, "Screen Error: Missing screen number\n");
    return 1;
  }
  int n;
  if (!intprs(p, &n)) {
    kaprnt(msg_level::error, "Screen Error: Invalid screen number\n");
    return 1;
  }
  if (kind == 0)
    gxdssv(n);
  else if (kind == 1)
    gxdssh(n);
  else
    gxdsfr(n);
  gxfrme(frame_action::serve_events);
  return 0;
}

int do_close(char* lower, session_state* pcm) {
  char* p = nxtwrd(lower);
  if (!p) {
    kaprnt(msg_level::error, "Close Error: Missing file number\n");
    return 1;
  }
  int n;
  if (!intprs(p, &n)) {
    kaprnt(msg_level::error, "Close Error: Invalid file number\n");
    return 1;
  }
  if (n != pcm->file_count) {
    kaprnt(msg_level::error, "Close Error: Only last file may be closed\n");
    return 1;
  }
  file_descriptor* pfi = pcm->file_list;
  for (int i = 1; i < n && pfi; ++i) pfi = pfi->next;
  if (!pfi || pfi->next) {
    kaprnt(msg_level::error, "Logic Error 4 on Close.  No Action Taken\n");
    return 1;
  }
  kadroplast(pcm);
  kaprntf(msg_level::result, "File %i has been closed\n", n);
  return 0;
}

int do_clear(char* lower, session_state* pcm, bool from_exec) {
  static const char* const words[] = {"norset", "events", "graphics", "hbuff",
                                      "button", "rband",  "dropmenu"};
  int action = 0;
  char* p = nxtwrd(lower);
  if (p) {
    action = -1;
    for (int i = 0; i < 7; ++i)
      if (cmpwrd(p, words[i])) action = i + 1;
    if (action < 0) {
      kaprnt(msg_level::error, "Invalid option on clear command\n");
      return 1;
    }
  }
  switch (action) {
    case 0:
    case 1: gxfrme(from_exec ? frame_action::wait : frame_action::clear); break;
    case 2: gxfrme(frame_action::discard_events); break;
    case 3: gxfrme(frame_action::graphics); break;
    case 4: gxhfrm(frame_action::clear); break;  // the display list only
    default: {
      char* q = nxtwrd(p);
      int n;
      if (!q || !intprs(q, &n)) {
        kaprnt(msg_level::error, "Invalid or missing widget number on clear command\n");
        return 1;
      }
      gxrs1wd(static_cast<widget_type>(action - 4), n);
      return 0;
    }
  }
  if (action == 1) {
    kacln(pcm, 0);
  } else {
    kacln(pcm, 1);
    pcm->dbuff = 0;
  }
  return 0;
}

int do_outxwd(char* lower, char* typed, session_state* pcm) {
  char* p = nxtwrd(lower);
  int rc = 0;
  if (!p) {
    kaprnt(msg_level::error, "command outxwd:  need filename parameter\n");
    rc = 1;
  } else if (pcm->batch) {
    kaprnt(msg_level::error, "command outxwd:  no window to dump in batch mode\n");
    rc = 1;
  } else {
    std::string name = word_at(typed_at(typed, lower, p));
    rc = pcm->dbuff ? dump_back_buffer(name.c_str()) : dump_front_buffer(name.c_str());
  }
  kacln(pcm, 1);
  return rc;
}

int do_disable(char* lower, session_state* pcm) {
  char* p = nxtwrd(lower);
  if (!p || cmpwrd(p, "print")) return gxhend() ? 0 : 1;
  if (cmpwrd(p, "fwrite")) return close_fwrite(pcm) ? 0 : 1;
  kaprnt(msg_level::error, "DISABLE error: Invalid keyword\n");
  return 1;
}

}  // namespace

bool close_fwrite(session_state* pcm) {
  bool ok = true;
  if (pcm->fwrite_file) {
    ok = pcm->fwrite_file->commit();
    if (!ok)
      kaprnt(msg_level::error, "Error from fwrite:  write to " + pcm->fwrite_name + " failed\n  " +
                                   pcm->fwrite_file->error() + "\n");
    pcm->fwrite_file.reset();
  }
  pcm->fwrite_name.clear();
  pcm->fwrite_byte_order = 1;
  return ok;
}

int kahelp() {
  std::fputs(
      "For complete documentation, see the README of this program.\n"
      "Basic Commands:\n"
      " OPEN <descr>      opens a data file \n"
      " Query             shows current status \n"
      " Clear             clears graphics window \n"
      " SET <args>        sets options \n"
      " Display expr      displays a variable graphically \n"
      " QUIT              exits the program \n",
      stdout);
  return 0;
}

int kaenab(char* typed, session_state*) {
  // The keywords are read from a lower-cased copy of the line's start.
  char head[41];
  std::strncpy(head, typed, 40);
  head[40] = '\0';
  lowcas(head);
  char* p = nxtwrd(head);
  if (!p) {
    kaprnt(msg_level::error, "ENABLE error: Missing operand\n");
    return 1;
  }
  if (!cmpwrd(p, "print")) {
    kaprnt(msg_level::error, "ENABLE error: Invalid operand \n");
    return 1;
  }
  const char* w = nxtwrd(nxtwrd(static_cast<const char*>(typed)));
  if (!w) {
    kaprnt(msg_level::error, "ENABLE error: Missing file name \n");
    return 1;
  }
  std::string name = word_at(w);
  if (name.size() > 256) {
    kaprnt(msg_level::error, "ENABLE error: file name longer than 256 characters\n");
    return 1;
  }
  return gxhbgn(name.c_str()) == 0 ? 0 : 1;
}

namespace {

// One command line as its handler sees it.
struct command_line {
  char* lower;  // lower-cased copy, leading blanks skipped
  char* typed;  // the line as typed, at the same positions
  session_state* pcm;
  bool from_exec;  // the line comes from a command file
};

// Returns 0 done, 1 error, -1 quit. The return code rule of every command:
// a command that did nothing of what was asked (the command refused, or a
// value refused so that the setting is unchanged) returns 1; one that did
// its work and reported a word or value it ignored or did not store returns
// 0, so that a command file goes on and a script sees success.
using command_handler = int (*)(command_line& c);

struct command_keyword {
  const char* word;
  command_handler handler;
  // Commands on data refuse to run with no file open and print this.
  const char* no_file = nullptr;
  // Clear manages the frame itself; every other command first lets the
  // graphics package finish pending output.
  bool keeps_frame = false;
  // Commands that draw into the display list fail when it ran out of room
  // for what they drew.
  bool draws = false;
};

int cmd_quit(command_line&) { return -1; }
int cmd_nothing(command_line&) { return 0; }
int cmd_reset(command_line& c) { return do_reset(c.pcm, false); }
// Commands that let go of grids or pictures for good give the memory back
// at once: a session may sit idle for long after them.
int cmd_reinit(command_line& c) {
  const int rc = do_reset(c.pcm, true);
  kagive_back_freed();
  return rc;
}
int cmd_screen(command_line& c) { return do_screen(c.lower); }
int cmd_close(command_line& c) { return do_close(c.lower, c.pcm); }
int cmd_clear(command_line& c) {
  const int rc = do_clear(c.lower, c.pcm, c.from_exec);
  kagive_back_freed();
  return rc;
}
int cmd_outxwd(command_line& c) { return do_outxwd(c.lower, c.typed, c.pcm); }
int cmd_disable(command_line& c) { return do_disable(c.lower, c.pcm); }
int cmd_help(command_line&) { return kahelp(); }
int cmd_query(command_line& c) { return kaqury(c.lower, c.typed, c.pcm); }
int cmd_exec(command_line& c) { return kaexec(c.typed, c.pcm); }
int cmd_enable(command_line& c) { return kaenab(c.typed, c.pcm); }
int cmd_printim(command_line& c) { return kaprim(c.lower, c.typed); }
int cmd_set(command_line& c) { return kaset(c.lower, c.typed, c.pcm); }

int cmd_swap(command_line& c) {
  if (c.pcm->dbuff) gxfrme(frame_action::double_buffer);
  kacln(c.pcm, 1);
  return 0;
}

int cmd_print(command_line&) { return gxhprt(); }

int cmd_run(command_line& c) {
  const char* w = nxtwrd(static_cast<const char*>(c.typed));
  if (!w) {
    kaprnt(msg_level::error, "RUN error:  No file name specified\n");
    return 1;
  }
  return run_script(rest_of_line(w), c.pcm, 0);
}

int cmd_draw(command_line& c) {
  int rc = kadraw(c.typed, c.pcm);
  gxfrme(frame_action::serve_events);
  return rc;
}

int cmd_redraw(command_line& c) {
  int rc = kardrw(c.typed, c.pcm);
  gxfrme(frame_action::serve_events);
  return rc;
}

int cmd_open(command_line& c) {
  const char* w = nxtwrd(static_cast<const char*>(c.typed));
  if (!w) {
    kaprnt(msg_level::error, "OPEN error:  missing data description file name\n");
    return 1;
  }
  return kaopen(word_at(w).c_str(), c.pcm);
}

int cmd_sdfopen(command_line& c) {
  const char* w = nxtwrd(static_cast<const char*>(c.typed));
  if (!w) {
    kaprnt(msg_level::error, "SDFOPEN error:  missing self-describing file pathname\n");
    return 1;
  }
  return kasdfopen(w, c.pcm);
}

int cmd_xdfopen(command_line& c) {
  const char* w = nxtwrd(static_cast<const char*>(c.typed));
  if (!w) {
    kaprnt(msg_level::error, "XDFOPEN error:  missing data descriptor file name\n");
    return 1;
  }
  return kaxdfopen(w, c.pcm);
}

int cmd_display(command_line& c) {
  int rc = kadspl(c.lower, c.pcm);
  gxfrme(frame_action::serve_events);
  return rc;
}

int cmd_collect(command_line& c) { return kacoll(c.lower, c.pcm); }
int cmd_define(command_line& c) { return kadef(c.lower, c.pcm, 0); }
int cmd_undefine(command_line& c) {
  const int rc = kaudef(c.lower, c.pcm);
  kagive_back_freed();
  return rc;
}
int cmd_modify(command_line& c) { return kamodf(c.lower, c.pcm); }

constexpr const char* kNoFileDisplay = "DISPLAY error:  no file open yet\n";
constexpr const char* kNoFileCollect = "COLLECT error:  no file open yet\n";
constexpr const char* kNoFileDefine = "DEFINE error:  no file open yet\n";
constexpr const char* kNoFileModify = "MODIFY error:  no file open yet\n";

// Command words, matched as whole words of the lower-cased line; no other
// abbreviations than those listed.
const command_keyword commands[] = {
    {"quit", cmd_quit},
    {"stack", cmd_nothing},
    {"flush", cmd_nothing},
    {"reset", cmd_reset},
    {"reinit", cmd_reinit},
    {"screen", cmd_screen},
    {"close", cmd_close},
    {"clear", cmd_clear, nullptr, true, true},
    {"c", cmd_clear, nullptr, true, true},
    {"swap", cmd_swap, nullptr, false, true},
    {"outxwd", cmd_outxwd},
    {"q", cmd_query},
    {"query", cmd_query},
    {"help", cmd_help},
    {"exec", cmd_exec},
    {"run", cmd_run},
    {"enable", cmd_enable},
    {"disable", cmd_disable},
    {"redraw", cmd_redraw},
    {"draw", cmd_draw, nullptr, false, true},
    {"print", cmd_print},
    {"printim", cmd_printim},
    {"set", cmd_set, nullptr, false, true},
    {"open", cmd_open},
    {"sdfopen", cmd_sdfopen},
    {"xdfopen", cmd_xdfopen},
    {"d", cmd_display, kNoFileDisplay, false, true},
    {"display", cmd_display, kNoFileDisplay, false, true},
    {"coll", cmd_collect, kNoFileCollect},
    {"collect", cmd_collect, kNoFileCollect},
    {"define", cmd_define, kNoFileDefine},
    {"undefine", cmd_undefine, kNoFileDefine},
    {"modify", cmd_modify, kNoFileModify},
};

const command_keyword* find_command(const char* lower) {
  for (const auto& k : commands)
    if (cmpwrd(lower, k.word)) return &k;
  return nullptr;
}

// name = expression, with a name of at most 16 letters and digits that
// begins with a letter.
bool is_implicit_define(const char* lower) {
  if (!(*lower >= 'a' && *lower <= 'z')) return false;
  const char* q = lower;
  int len = 0;
  while ((*q >= 'a' && *q <= 'z') || (*q >= '0' && *q <= '9')) {
    ++q;
    ++len;
  }
  if (len > 16) return false;
  while (is_blank(*q)) ++q;
  return *q == '=';
}

int dispatch_line(const std::string& line, session_state* pcm, bool from_exec) {
  // Every command reads its line up to the first NUL: the rest would be
  // dropped without a word (a file name cut short).
  if (line.find('\0') != std::string::npos) {
    kaprnt(msg_level::error, "Command line holds a NUL byte: ignored\n");
    return 1;
  }
  std::vector<char> typed_buf(line.begin(), line.end());
  typed_buf.push_back('\0');
  std::vector<char> lower_buf = typed_buf;
  lowcas(lower_buf.data());
  command_line c{skip_blanks(lower_buf.data()), skip_blanks(typed_buf.data()), pcm, from_exec};

  if (is_implicit_define(c.lower)) {
    if (!pcm->default_file) {
      kaprnt(msg_level::error, kNoFileDefine);
      return 1;
    }
    return kadef(c.lower, pcm, 1);
  }

  const command_keyword* cmd = find_command(c.lower);
  if (!cmd || !cmd->keeps_frame) gxfrme(frame_action::serve_events);
  if (is_end(*c.typed)) return 0;

  if (cmd) {
    if (cmd->no_file && !pcm->default_file) {
      kaprnt(msg_level::error, cmd->no_file);
      return 1;
    }
    const std::uint64_t stops = gxhstops(), dropped = gxhdropped();
    const int rc = cmd->handler(c);
    const bool unrecorded = gxhstops() != stops || gxhdropped() != dropped;
    return rc == 0 && cmd->draws && unrecorded ? 1 : rc;
  }
  if (*c.lower == '!') {
    std::string shell = rest_of_line(c.typed + 1);
    std::fflush(stdout);
    kashell(shell);
    return 0;
  }
  if (pcm->impcmd) return run_script(c.typed, pcm, 1);
  kaprnt(msg_level::error, "Unknown command: " + word_at(c.typed) + "\n");
  return 1;
}

}  // namespace

command_nesting& nesting() {
  static command_nesting n;
  return n;
}

int kacmd(const std::string& line, session_state* pcm, bool from_exec) {
  kaiomg();
  kastartcommand();
  // Commands that a command runs (open's default dimensions, the commands
  // of a script) leave a failed allocation to the outermost one.
  if (nesting().lines > 0) return dispatch_line(line, pcm, from_exec);
  struct depth_guard {
    depth_guard() { ++nesting().lines; }
    ~depth_guard() { --nesting().lines; }
    depth_guard(const depth_guard&) = delete;
    depth_guard& operator=(const depth_guard&) = delete;
  };
  // The one place where running out of memory is caught: the command fails
  // with one message and the session goes on.
  try {
    depth_guard guard;
    return dispatch_line(line, pcm, from_exec);
  } catch (const alloc_error& e) {
    kaprnt(msg_level::error, e.what());
    return 1;
  } catch (const std::bad_alloc&) {
    kaprnt(msg_level::error, "Memory allocation error\n");
    return 1;
  }
}

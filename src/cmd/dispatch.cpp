// The command dispatcher and the small commands it handles itself.
#include "cmd/dispatch.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "cmd/commands.h"
#include "base/message.h"
#include "cmd/open.h"
#include "base/session.h"
#include "base/words.h"
#include "data/filerec.h"
#include "gx/gx.h"
#include "script/gs.h"
#include "sdf/sdf.h"

session_state* savpcm = nullptr;

std::optional<std::string> kagsdo(const std::string& command, int& rc) {
  return kacapture([&command] { return kacmd(command, savpcm, 0); }, rc);
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
  savpcm = pcm;
  gs_register_command_layer(kagsdo);
  int rc = 0;
  std::optional<std::string> out = gsfile(text, rc, implicit);
  if (rc == 0 && out) kaprnt(2, *out);
  return rc;
}

void close_fwrite(session_state* pcm) {
  if (pcm->fwrite_file) {
    std::fclose(pcm->fwrite_file);
    pcm->fwrite_file = nullptr;
  }
  pcm->fwrite_name.clear();
  pcm->fwrite_byte_order = 1;
}

int do_reset(session_state* pcm, bool reinit) {
  pcm->page_width = pcm->real_page_width;
  pcm->page_height = pcm->real_page_height;
  gxvpag(pcm->page_width, pcm->page_height, 0, pcm->page_width, 0, pcm->page_height);
  kainit();
  kacln(pcm, 1);
  if (reinit) {
    kareldef(pcm);
    file_descriptor* pfi = pcm->file_list;
    while (pfi) {
      file_descriptor* next = pfi->next;
      kaclosefile(pfi);
      frepfi(pfi, 0);
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
    gxdbck(pcm->display_white);
    gxgrey(pcm->display_grey);
    kaprnt(1, "All files closed; all defined objects released\n");
  }
  if (pcm->file_list) {
    pcm->default_file = pcm->file_list;
    pcm->default_file_number = 1;
    // After a reset the z range is opened only for a profile of a grid.
    const file_descriptor* pfi = pcm->default_file;
    kadefenv(pcm, pfi,
             pfi->file_type == 1 && pfi->z_size > 1 && (pfi->x_size == 1 || pfi->y_size == 1));
  }
  gxfrme(1);
  kaprnt(1, reinit ? "All Vemra attributes have been reinitialized\n"
                   : "Most Vemra attributes have been reset\n");
  return 0;
}

int do_screen(char* lower) {
  char* p = nxtwrd(lower);
  if (!p) {
    kaprnt(0, "Screen Error: Missing keyword\n");
    return 1;
  }
  int kind;
  if (cmpwrd(p, "save")) kind = 0;
  else if (cmpwrd(p, "show")) kind = 1;
  else if (cmpwrd(p, "free")) kind = 2;
  else {
    kaprnt(0, "Screen Error: Unknown keyword\n");
    return 1;
  }
  p = nxtwrd(p);
  if (!p) {
    kaprnt(0, "Screen Error: Missing screen number\n");
    return 1;
  }
  int n;
  if (!intprs(p, &n)) {
    kaprnt(0, "Screen Error: Invalid screen number\n");
    return 1;
  }
  if (kind == 0) gxdssv(n);
  else if (kind == 1) gxdssh(n);
  else gxdsfr(n);
  gxfrme(9);
  return 0;
}

int do_close(char* lower, session_state* pcm) {
  char* p = nxtwrd(lower);
  if (!p) {
    kaprnt(0, "Close Error: Missing file number\n");
    return 1;
  }
  int n;
  if (!intprs(p, &n)) {
    kaprnt(0, "Close Error: Invalid file number\n");
    return 1;
  }
  if (n != pcm->file_count) {
    kaprnt(0, "Close Error: Only last file may be closed\n");
    return 1;
  }
  file_descriptor* pfi = pcm->file_list;
  file_descriptor* prev = nullptr;
  for (int i = 1; i < n && pfi; ++i) {
    prev = pfi;
    pfi = pfi->next;
  }
  if (!pfi || pfi->next) {
    kaprnt(0, "Logic Error 4 on Close.  No Action Taken\n");
    return 1;
  }
  bool was_default = (pfi == pcm->default_file);
  kaclosefile(pfi);
  frepfi(pfi, 0);
  pcm->file_count--;
  if (prev) prev->next = nullptr;
  if (pcm->file_count == 0) {
    pcm->file_list = nullptr;
    pcm->default_file = nullptr;
    pcm->default_file_number = 0;
  } else if (was_default) {
    pcm->default_file = pcm->file_list;
    pcm->default_file_number = 1;
  }
  kaprntf(2, "File %i has been closed\n", n);
  return 0;
}

int do_clear(char* lower, session_state* pcm, int from_exec) {
  static const char* const words[] = {"norset", "events", "graphics", "hbuff",
                                      "button", "rband", "dropmenu"};
  int action = 0;
  char* p = nxtwrd(lower);
  if (p) {
    action = -1;
    for (int i = 0; i < 7; ++i)
      if (cmpwrd(p, words[i])) action = i + 1;
    if (action < 0) {
      kaprnt(0, "Invalid option on clear command\n");
      return 1;
    }
  }
  switch (action) {
    case 0:
    case 1: gxfrme(from_exec ? 0 : 1); break;
    case 2: gxfrme(8); break;
    case 3: gxfrme(7); break;
    case 4: gxhfrm(0); break;
    default: {
      char* q = nxtwrd(p);
      int n;
      if (!q || !intprs(q, &n)) {
        kaprnt(0, "Invalid or missing widget number on clear command\n");
        return 1;
      }
      gxrs1wd(action - 4, n);
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
    kaprnt(0, "command outxwd:  need filename parameter\n");
    rc = 1;
  } else {
    std::string name = word_at(typed_at(typed, lower, p));
    if (pcm->dbuff) dump_back_buffer(name.c_str());
    else dump_front_buffer(name.c_str());
  }
  kacln(pcm, 1);
  return rc;
}

int do_disable(char* lower, session_state* pcm) {
  char* p = nxtwrd(lower);
  if (!p || cmpwrd(p, "print")) {
    gxhend();
    return 0;
  }
  if (cmpwrd(p, "fwrite")) {
    close_fwrite(pcm);
    return 0;
  }
  kaprnt(0, "DISABLE error: Invalid keyword\n");
  return 1;
}

}  // namespace

void kaclosefile(file_descriptor* pfi) {
  if (pfi->data_stream) {
    std::fclose(pfi->data_stream);
    pfi->data_stream = nullptr;
  }
  if (pfi->second_stream) {
    std::fclose(pfi->second_stream);
    pfi->second_stream = nullptr;
  }
  kasdfclose(pfi);
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
    kaprnt(0, "ENABLE error: Missing operand\n");
    return 1;
  }
  if (!cmpwrd(p, "print")) {
    kaprnt(0, "ENABLE error: Invalid operand \n");
    return 1;
  }
  const char* w = nxtwrd(nxtwrd(static_cast<const char*>(typed)));
  if (!w) {
    kaprnt(0, "ENABLE error: Missing file name \n");
    return 1;
  }
  std::string name = word_at(w);
  if (name.size() > 256) {
    kaprnt(0, "ENABLE error: file name longer than 256 characters\n");
    return 1;
  }
  return gxhbgn(name.c_str()) == 0 ? 0 : 1;
}

int kacmd(const std::string& line, session_state* pcm, int from_exec) {
  kaiomg();
  std::vector<char> typed_buf;
  std::vector<char> lower_buf;
  try {
    typed_buf.assign(line.begin(), line.end());
    typed_buf.push_back('\0');
    lower_buf = typed_buf;
  } catch (const std::bad_alloc&) {
    kaprnt(0, "Memory allocation error: Command Proecessing\n");
    return 1;
  }
  lowcas(lower_buf.data());
  char* lower = skip_blanks(lower_buf.data());
  char* typed = skip_blanks(typed_buf.data());

  // name = expression is a define.
  if (*lower >= 'a' && *lower <= 'z') {
    char* q = lower;
    int len = 0;
    while ((*q >= 'a' && *q <= 'z') || (*q >= '0' && *q <= '9')) {
      ++q;
      ++len;
    }
    if (len <= 16) {
      q = skip_blanks(q);
      if (*q == '=') {
        if (!pcm->default_file) {
          kaprnt(0, "DEFINE error:  no file open yet\n");
          return 1;
        }
        return kadef(lower, pcm, 1);
      }
    }
  }

  if (!cmpwrd(lower, "clear") && !cmpwrd(lower, "c")) gxfrme(9);
  if (is_end(*typed)) return 0;

  if (cmpwrd(lower, "quit")) return -1;
  if (*lower == '!') {
    std::string cmd = rest_of_line(typed + 1);
    std::fflush(stdout);
    int st = std::system(cmd.c_str());
    (void)st;
    return 0;
  }
  if (cmpwrd(lower, "stack") || cmpwrd(lower, "flush")) return 0;
  if (cmpwrd(lower, "reset")) return do_reset(pcm, false);
  if (cmpwrd(lower, "reinit")) return do_reset(pcm, true);
  if (cmpwrd(lower, "screen")) return do_screen(lower);
  if (cmpwrd(lower, "close")) return do_close(lower, pcm);
  if (cmpwrd(lower, "clear") || cmpwrd(lower, "c")) return do_clear(lower, pcm, from_exec);
  if (cmpwrd(lower, "swap")) {
    if (pcm->dbuff) gxfrme(2);
    kacln(pcm, 1);
    return 0;
  }
  if (cmpwrd(lower, "outxwd")) return do_outxwd(lower, typed, pcm);
  if (cmpwrd(lower, "q") || cmpwrd(lower, "query")) return kaqury(lower, typed, pcm);
  if (cmpwrd(lower, "help")) return kahelp();
  if (cmpwrd(lower, "exec")) return kaexec(typed, pcm);
  if (cmpwrd(lower, "run")) {
    const char* w = nxtwrd(static_cast<const char*>(typed));
    if (!w) {
      kaprnt(0, "RUN error:  No file name specified\n");
      return 1;
    }
    return run_script(rest_of_line(w), pcm, 0);
  }
  if (cmpwrd(lower, "enable")) return kaenab(typed, pcm);
  if (cmpwrd(lower, "disable")) return do_disable(lower, pcm);
  if (cmpwrd(lower, "redraw") || cmpwrd(lower, "draw")) {
    int rc = cmpwrd(lower, "draw") ? kadraw(typed, pcm) : kardrw(typed, pcm);
    gxfrme(9);
    return rc;
  }
  if (cmpwrd(lower, "print")) {
    gxhprt();
    return 0;
  }
  if (cmpwrd(lower, "printim")) return kaprim(lower, typed);
  if (cmpwrd(lower, "set")) return kaset(lower, typed, pcm);
  if (cmpwrd(lower, "open") || cmpwrd(lower, "sdfopen") || cmpwrd(lower, "xdfopen")) {
    const char* w = nxtwrd(static_cast<const char*>(typed));
    if (cmpwrd(lower, "open")) {
      if (!w) {
        kaprnt(0, "OPEN error:  missing data description file name\n");
        return 1;
      }
      return kaopen(word_at(w).c_str(), pcm);
    }
    bool sdf = cmpwrd(lower, "sdfopen");
    if (!w) {
      kaprnt(0, sdf ? "SDFOPEN error:  missing self-describing file pathname\n"
                    : "XDFOPEN error:  missing data descriptor file name\n");
      return 1;
    }
    return sdf ? kasdfopen(w, pcm) : kaxdfopen(w, pcm);
  }
  struct needs_file {
    const char* word;
    const char* error;
    int (*handler)(char*, session_state*);
  };
  static const needs_file data_commands[] = {
      {"d", "DISPLAY error:  no file open yet\n", kadspl},
      {"display", "DISPLAY error:  no file open yet\n", kadspl},
      {"coll", "COLLECT error:  no file open yet\n", kacoll},
      {"collect", "COLLECT error:  no file open yet\n", kacoll},
      {"define", "DEFINE error:  no file open yet\n", nullptr},
      {"undefine", "DEFINE error:  no file open yet\n", kaudef},
      {"modify", "MODIFY error:  no file open yet\n", kamodf},
  };
  for (const auto& dc : data_commands) {
    if (!cmpwrd(lower, dc.word)) continue;
    if (!pcm->default_file) {
      kaprnt(0, dc.error);
      return 1;
    }
    if (!dc.handler) return kadef(lower, pcm, 0);
    int rc = dc.handler(lower, pcm);
    if (dc.handler == kadspl) gxfrme(9);
    return rc;
  }

  if (pcm->impcmd) return run_script(typed, pcm, 1);
  kaprnt(0, "Unknown command: " + word_at(typed) + "\n");
  return 1;
}

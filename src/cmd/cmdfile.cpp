// Command files: "exec" runs a file of commands with &0..&9 arguments.
#include <cstdio>
#include <string>
#include <string_view>

#include "base/cmdinput.h"
#include "base/inputfile.h"
#include "cmd/commands.h"
#include "cmd/dispatch.h"
#include "base/message.h"
#include "base/session.h"
#include "base/words.h"

namespace {

// A file that execs itself would otherwise recurse until the stack ends.
constexpr int kMaxExecDepth = 32;

// Restores the capture switch and the nesting depth on every way out.
struct exec_scope {
  int saved = kamsgflg();
  exec_scope() {
    kasetmsgflg(0);
    ++nesting().exec_files;
  }
  ~exec_scope() {
    kasetmsgflg(saved);
    --nesting().exec_files;
  }
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_end(char c) { return c == '\0' || c == '\n'; }

}  // namespace

int kaexec(char* typed, session_state* pcm) {
  exec_scope scope;
  const char* p = nxtwrd(static_cast<const char*>(typed));
  if (!p) {
    kaprnt(msg_level::error, "EXEC error:  missing file name \n");
    return 1;
  }
  std::string name;
  while (!is_end(*p) && !is_blank(*p)) name.push_back(*p++);
  if (nesting().exec_files > kMaxExecDepth) {
    kaprnt(msg_level::error, "EXEC error:  too many nested EXEC commands\n");
    kaprnt(msg_level::error, "  File name is: " + name + "\n");
    return 1;
  }

  // Arguments: blank-separated words, or ~text with blanks~.
  std::string args[10];
  bool have[10] = {};
  int nargs = 0;
  while (nargs < 10) {
    while (is_blank(*p)) ++p;
    if (is_end(*p)) break;
    std::string a;
    if (*p == '~') {
      ++p;
      while (!is_end(*p) && *p != '~') a.push_back(*p++);
      if (*p == '~') ++p;
    } else {
      while (!is_end(*p) && !is_blank(*p)) a.push_back(*p++);
    }
    args[nargs] = a;
    have[nargs] = true;
    ++nargs;
  }

  input_file file(name, "r");
  if (!file.ok()) {
    kaprnt(msg_level::error, "EXEC error:  Can't open file\n");
    kaprnt(msg_level::error, "  File name is: " + name + "\n");
    if (file.status() == input_status::not_regular)
      kaprnt(msg_level::error, "  " + file.refusal() + "\n");
    return 1;
  }

  std::string line, expanded;
  for (;;) {
    // Room for a carriage return ending a line of the longest length.
    line_read st = file.next_line(line, kCommandFileLineMax + 1);
    if (st == line_read::end) break;
    if (st == line_read::interrupted) {
      kaprnt(msg_level::error, "EXEC error:  interrupted while " + name + " was read\n");
      return 1;
    }
    if (st == line_read::ok) drop_line_end_returns(line);
    if (st == line_read::too_long || line.size() > kCommandFileLineMax) {
      kaprnt(msg_level::error, "EXEC error:  line longer than " +
                                   std::to_string(kCommandFileLineMax) + " characters\n");
      kaprnt(msg_level::error, "EXEC error:  error in " + name + ".  EXEC stopped.\n");
      return 1;
    }
    if (line[0] == '*') continue;
    expanded.clear();
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '&' && i + 1 < line.size() && line[i + 1] >= '0' && line[i + 1] <= '9' &&
          have[line[i + 1] - '0']) {
        expanded += args[line[i + 1] - '0'];
        ++i;
      } else {
        expanded.push_back(line[i]);
      }
    }
    // A last line of only an empty ~~ argument expands to nothing at all.
    if (expanded.empty() || expanded.back() != '\n') expanded.push_back('\n');
    // The echo stands for the prompt and its line: it starts a line too.
    // Bytes that are not text (a NUL the dispatcher then refuses, a
    // terminal's escape) are shown escaped, not sent to the terminal.
    kaendline();
    kaprnt(msg_level::error,
           printable(std::string_view(expanded).substr(0, expanded.size() - 1)) + "\n");
    int rc = kacmd(expanded, pcm, true);
    // Exec's own lines start a line of their own, whatever the command left open.
    if (rc != 0) {
      kaendline();
      kaprnt(msg_level::error, "EXEC error:  error in " + name + ".  EXEC stopped.\n");
      return rc;
    }
  }
  kaendline();
  kaprnt(msg_level::error, "EOF EXECuting " + name + " \n");
  return 0;
}

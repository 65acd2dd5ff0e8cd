// Running the statements of a script: function invocations, the statement
// loop, while and if blocks, commands, assignments, pull, say, prompt,
// return, exit, and the local, global and compound variables.
#include <new>
#include <stdexcept>

#include "base/cmdinput.h"
#include "base/nesting.h"
#include "base/session.h"
#include "script/gsint.h"

// ---- variables ----------------------------------------------------------------

script_variable* gs_find_var(script_var_list& list, const std::string& name16) {
  auto it = list.index.find(name16);
  return it == list.index.end() ? nullptr : &list.vars[it->second];
}

void gs_set_var(script_var_list& list, const std::string& name16, std::string value) {
  if (script_variable* v = gs_find_var(list, name16)) {
    v->value = std::move(value);
    return;
  }
  list.index.emplace(name16, list.vars.size());
  list.vars.push_back({name16, std::move(value)});
}

static script_var_list* gs_list_for(script_run* run, const std::string& name16) {
  return name16[0] == '_' ? &run->globals : run->locals;
}

int gsrvar(script_run* run, const std::string& in16, std::string& out16) {
  std::string out;
  size_t i = 0;
  auto too_long = [&]() {
    fprintf(gs_out(), "Compound variable name too long: %s", in16.c_str());
    return 1;
  };
  while (i < static_cast<size_t>(GS_NAMELEN)) {
    if (out.size() >= static_cast<size_t>(GS_NAMELEN)) {
      for (; i < static_cast<size_t>(GS_NAMELEN); i++) {
        if (in16[i] != ' ') return too_long();
      }
      break;
    }
    char c = in16[i++];
    out += c;
    if (c != '.') continue;
    size_t j = i;
    while (j < static_cast<size_t>(GS_NAMELEN) && in16[j] != '.' && in16[j] != ' ') j++;
    if (j == i) continue;
    std::string part = gs_pad(in16.substr(i, j - i));
    script_var_list* list = gs_list_for(run, part);
    script_variable* v = list ? gs_find_var(*list, part) : nullptr;
    if (!v) continue;
    if (out.size() + v->value.size() > static_cast<size_t>(GS_NAMELEN)) return too_long();
    out += v->value;
    i = j;
  }
  out16 = gs_pad(out);
  return 0;
}

std::optional<gs_value> gsfvar_value(const std::string& name16, script_run* run) {
  std::string res;
  if (gsrvar(run, name16, res)) return std::nullopt;
  script_var_list* list = gs_list_for(run, res);
  script_variable* v = list ? gs_find_var(*list, res) : nullptr;
  if (!v) return gs_value{nullptr, gs_unpad(res)};
  if (list == run->locals) return gs_value{&v->value, std::string()};
  return gs_value{nullptr, v->value};
}

std::optional<std::string> gsfvar(const std::string& name16, script_run* run) {
  auto v = gsfvar_value(name16, run);
  if (!v) return std::nullopt;
  return std::move(*v).take();
}

std::string gs_value::take() && {
  if (!head) return std::move(tail);
  std::string all;
  all.reserve(head->size() + tail.size());
  all.append(*head).append(tail);
  return all;
}

// ---- statements -----------------------------------------------------------------

static int gsruns(int i, script_run* run, int& code);

// Ends the run with an error (already reported).
static int run_error(int& code) {
  code = GSR_ERROR;
  return -1;
}

static int gs_next(const script_run* run, int i) {
  return i + 1 < static_cast<int>(run->stmts.size()) ? i + 1 : -1;
}

// The value of statement i's expression; a failure is reported as lying in
// statement `where`.
static std::optional<std::string> gs_eval_stmt(script_run* run, int i, int where,
                                               bool indent = true) {
  const script_statement& st = run->stmts[i];
  auto v = gsexpr(st.has_expr() ? st.expr_text() : "", run);
  if (!v) gs_print_where(run, where, indent);
  return v;
}

// One line of standard input without its newline, the empty string at end
// of input. The command loop's reader takes the input byte by byte, so
// nothing beyond this line is taken from the lines that follow.
static std::optional<std::string> gs_read_line() {
  fflush(gs_out());
  std::string line;
  int rc = karawln(line, GS_STRING_MAX);
  if (rc == -2) return std::nullopt;
  if (rc == 0) line.clear();
  return line;
}

static int gsstmt(int i, script_run* run) {
  auto v = gs_eval_stmt(run, i, i);
  if (!v) return GSR_ERROR;
  int rc = 0;
  auto out = gs_run_command(*v, rc);
  if (rc == -1) return GSR_QUIT;
  run->locals->vars[0].value = std::to_string(rc);
  run->locals->vars[1].value = out ? std::move(*out) : std::string();
  return GSR_GO;
}

static int no_memory(script_run* run, int i) {
  fprintf(gs_out(), "Memory allocation error\n");
  gs_print_where(run, i, true);
  return GSR_ERROR;
}

static int gsassn(int i, script_run* run) {
  const script_statement& st = run->stmts[i];
  std::string value;
  const char* np;
  std::optional<gs_value> assigned;
  if (st.type == GS_ASSIGN) {
    assigned = gsexpr_value(st.has_expr() ? st.expr_text() : "", run);
    if (!assigned) {
      gs_print_where(run, i, true);
      return GSR_ERROR;
    }
    np = st.text.c_str();
  } else {
    if (!st.has_expr()) {
      fprintf(gs_out(), "Error in pull:  Variable name missing\n");
      gs_print_where(run, i, true);
      return GSR_ERROR;
    }
    auto line = gs_read_line();
    if (!line) {
      fprintf(gs_out(), "Error in pull:  input line longer than %zu characters\n", GS_STRING_MAX);
      gs_print_where(run, i, true);
      return GSR_ERROR;
    }
    value = std::move(*line);
    np = st.expr_text();
  }
  std::string name;
  while (*np && !gs_blank(*np) && *np != '=') name += *np++;
  std::string res;
  if (gsrvar(run, gs_pad(name), res)) {
    gs_print_where(run, i, true);
    return GSR_ERROR;
  }
  script_var_list& list = *gs_list_for(run, res);
  script_variable* target = gs_find_var(list, res);
  if (assigned) {
    // The value is made whole here, so running out of memory fails the
    // statement as it would in the expression (the variable keeps its text).
    try {
      if (target && assigned->head == &target->value) {
        target->value += assigned->tail;
        return GSR_GO;
      }
      // Whole before the list may grow and move the text referred to.
      value = std::move(*assigned).take();
    } catch (const std::bad_alloc&) {
      return no_memory(run, i);
    } catch (const std::length_error&) {
      return no_memory(run, i);
    }
  }
  if (target)
    target->value = std::move(value);
  else
    gs_set_var(list, res, std::move(value));
  return GSR_GO;
}

static int gsrund(int w, script_run* run, int& code) {
  auto v = gs_eval_stmt(run, w, w);
  if (!v) return run_error(code);
  int end = run->stmts[w].link;
  code = GSR_GO;
  while (*v != "0") {
    // A loop with an empty body runs no statement that would see an interrupt.
    if (kaqsig()) return run_error(code);
    int i = w + 1;
    while (i >= 0 && i != end) {
      i = gsruns(i, run, code);
      if (code) break;
    }
    if (code >= GSR_BREAK) break;
    code = GSR_GO;
    v = gs_eval_stmt(run, w, end);
    if (!v) return run_error(code);
  }
  if (code == GSR_BREAK) code = GSR_GO;
  if (code != GSR_GO) return -1;
  return gs_next(run, end);
}

static int gsruni(int f, script_run* run, int& code) {
  auto v = gs_eval_stmt(run, f, f);
  if (!v) return run_error(code);
  int i = *v == "0" ? run->stmts[f].link : f;
  if (run->stmts[i].type != GS_ENDIF) {
    i++;
    code = GSR_GO;
    while (i >= 0) {
      int t = run->stmts[i].type;
      if (t == GS_ELSE) {
        i = run->stmts[i].link;
        break;
      }
      if (t == GS_ENDIF) break;
      i = gsruns(i, run, code);
      if (code) return -1;
    }
  }
  code = GSR_GO;
  return i < 0 ? -1 : gs_next(run, i);
}

static int gsruns(int i, script_run* run, int& code) {
  if (kaqsig()) return run_error(code);
  const script_statement& st = run->stmts[i];
  FILE* o = gs_out();
  if (stack_low()) {
    fprintf(o, "Error:  Statements nested too deeply\n");
    gs_print_where(run, i, true);
    return run_error(code);
  }
  switch (st.type) {
    case GS_COMMAND: code = gsstmt(i, run); return gs_next(run, i);
    case GS_ASSIGN:
    case GS_PULL: code = gsassn(i, run); return gs_next(run, i);
    case GS_WHILE: return gsrund(i, run, code);
    case GS_IF: return gsruni(i, run, code);
    case GS_CONTINUE:
    case GS_BREAK:
      if (st.link < 0) return gs_next(run, i);
      code = st.type == GS_CONTINUE ? GSR_CONTINUE : GSR_BREAK;
      return -1;
    case GS_RETURN:
      if (st.has_expr()) {
        auto v = gs_eval_stmt(run, i, i);
        if (!v) return run_error(code);
        run->retstr = std::move(*v);
      } else {
        run->retstr.reset();
      }
      code = GSR_RETURN;
      return -1;
    case GS_FUNCTION:
      run->retstr.reset();
      code = GSR_RETURN;
      return -1;
    case GS_SAY:
    case GS_PROMPT:
      if (!st.has_expr()) {
        gs_write("\n");
      } else {
        auto v = gs_eval_stmt(run, i, i, false);
        if (!v) return run_error(code);
        gs_write(*v);
        if (st.type == GS_SAY) gs_write("\n");
      }
      if (st.type == GS_PROMPT) fflush(o);
      return gs_next(run, i);
    case GS_EXIT:
      if (st.has_expr()) {
        auto v = gs_eval_stmt(run, i, i);
        if (!v) return run_error(code);
        long iv;
        double dv;
        if (gsnum(*v, &iv, &dv) != 1) {
          fprintf(o, "Error on Exit Command:  Non Integer Argument\n");
          gs_print_where(run, i, true);
          code = GSR_ERROR;
          return -1;
        }
      }
      code = GSR_EXIT;
      return -1;
    case GS_ENDWHILE:
      fprintf(o, "Error in gsruns:  Internal Logic Check 8\n");
      code = GSR_ERROR;
      return -1;
    case GS_ELSE:
      fprintf(o, "Error in gsruns:  Internal Logic Check 12\n");
      code = GSR_ERROR;
      return -1;
    default:
      fprintf(o, "Error in gsruns:  Internal Logic Check 16\n");
      code = GSR_ERROR;
      return -1;
  }
}

// ---- function invocation ------------------------------------------------------------

// Reads "(a, b c)" into parameter names; false when the list is malformed.
static bool gs_params(const std::string& s, std::vector<std::string>& names) {
  if (s.size() < 2 || s.front() != '(' || s.back() != ')') return false;
  size_t p = 1;
  size_t end = s.size() - 1;
  for (;;) {
    while (p < end && gs_blank(s[p])) p++;
    if (p >= end) return true;
    if (!gs_alpha(s[p])) return false;
    size_t b = p;
    while (p < end && (gs_alpha(s[p]) || gs_digit(s[p]) || s[p] == '.' || s[p] == '_')) {
      if (p - b >= static_cast<size_t>(GS_NAMELEN - 1)) return false;
      p++;
    }
    names.push_back(s.substr(b, p - b));
    while (p < end && gs_blank(s[p])) p++;
    if (p < end && s[p] == ',') p++;
  }
}

script_nesting& gs_nesting() {
  static script_nesting n;
  return n;
}

// Function calls (script functions and calls inside arguments) recurse on
// the machine stack; a runaway recursion must end as a script error.
bool gs_call_allowed() {
  int depth = gs_nesting().calls;
  if (depth >= GS_MAX_DEPTH || stack_low()) {
    fprintf(gs_out(), "Error:  Function calls nested too deeply (%i levels)\n", depth);
    return false;
  }
  return true;
}

int gsrunf(int start, script_run* run) {
  std::vector<std::string> args = std::move(run->args);
  run->args.clear();

  script_var_list locals;
  gs_set_var(locals, gs_pad("rc"), "");
  gs_set_var(locals, gs_pad("result"), "");

  const script_statement& st = run->stmts[start];
  int first = start;
  if (st.type == GS_FUNCTION) {
    first = start + 1;
    if (st.has_expr()) {
      std::vector<std::string> names;
      if (!gs_params(st.text.substr(st.expr), names)) {
        fprintf(gs_out(), "Error:  Invalid function list\n");
        gs_print_where(run, start, true);
        return GSR_ERROR;
      }
      for (size_t k = 0; k < names.size(); k++) {
        gs_set_var(locals, gs_pad(names[k]), k < args.size() ? std::move(args[k]) : names[k]);
      }
    }
  }

  // The caller's list comes back however this invocation ends.
  struct restore {
    script_run* run;
    script_var_list* saved;
    ~restore() { run->locals = saved; }
  } back{run, run->locals};
  run->locals = &locals;
  int code = GSR_GO;
  int i = first < static_cast<int>(run->stmts.size()) ? first : -1;
  while (i >= 0) {
    i = gsruns(i, run, code);
    if (code) break;
  }
  if (code == GSR_CONTINUE || code == GSR_BREAK) {
    fprintf(gs_out(), "Error in gsrunf:  Internal Logic Check 8\n");
    code = 1;
  }
  if (code == GSR_RETURN) code = GSR_GO;
  return code;
}

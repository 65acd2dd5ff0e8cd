// Helpers for the interpreter's unit tests: a stand-in command layer that
// records what scripts send, and running script files and expressions with
// what they print.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "script/gs.h"
#include "script/gsint.h"
#include "support/stdin_feed.h"
#include "support/stdout_capture.h"
#include "support/vemra_run.h"

namespace gs_test {

// Commands the scripts sent, and canned answers by exact command text.
struct fake_commands {
  std::vector<std::string> sent;
  std::map<std::string, std::pair<int, std::string>> answers;
  std::string (*hook)(const std::string&) = nullptr;
};

inline fake_commands& commands() {
  static fake_commands c;
  return c;
}

inline std::optional<std::string> fake_runner(const std::string& command, int& rc) {
  auto& c = commands();
  c.sent.push_back(command);
  if (c.hook) {
    std::string r = c.hook(command);
    if (!r.empty()) {
      rc = 0;
      return r;
    }
  }
  auto it = c.answers.find(command);
  if (it == c.answers.end()) {
    rc = 0;
    return std::nullopt;
  }
  rc = it->second.first;
  if (it->second.second.empty()) return std::nullopt;
  return it->second.second;
}

struct Result {
  int rc = -100;
  std::optional<std::string> ret;
  std::string out;
};

// Runs the script command line ("name args") with the stand-in commands.
inline Result run(const std::string& line) {
  gs_set_command_runner(fake_runner);
  Result r;
  {
    StdoutCapture cap;
    r.ret = gsfile(line, r.rc, 0);
    r.out = cap.text();
  }
  gs_set_command_runner(nullptr);
  return r;
}

// Writes a script into dir and runs it with the arguments.
inline Result run_text(const vemra_test::TempDir& dir, const std::string& text,
                       const std::string& args = "", const std::string& name = "t.gs") {
  vemra_test::write_file(dir.file(name), text);
  return run(dir.file(name) + (args.empty() ? "" : " " + args));
}

using vemra_test::StdinFeed;

// A run with an empty local list, for evaluating expressions directly.
class ExprRun {
 public:
  ExprRun() {
    gs_set_var(locals_, gs_pad("rc"), "");
    gs_set_var(locals_, gs_pad("result"), "");
    run_.locals = &locals_;
  }
  void set(const std::string& name, const std::string& value) {
    gs_set_var(name[0] == '_' ? run_.globals : locals_, gs_pad(name), value);
  }
  // The value, or nothing after a failure; out gets what was printed.
  std::optional<std::string> eval(const std::string& expr, std::string* out = nullptr) {
    StdoutCapture cap;
    auto v = gsexpr(expr.c_str(), &run_);
    std::string printed = cap.text();
    if (out) *out = printed;
    return v;
  }
  script_run& run() { return run_; }

 private:
  script_run run_;
  script_var_list locals_;
};

// The expression's value, with nothing printed.
inline void expect_value(ExprRun& r, const std::string& expr, const std::string& value) {
  std::string out;
  auto v = r.eval(expr, &out);
  ASSERT_TRUE(v.has_value()) << expr << " printed " << out;
  EXPECT_EQ(*v, value) << expr;
  EXPECT_EQ(out, "") << expr;
}

inline void expect_values(ExprRun& r,
                          std::initializer_list<std::pair<std::string, std::string>> cases) {
  for (const auto& [expr, value] : cases) expect_value(r, expr, value);
}

// A failed evaluation and exactly what it printed.
inline void expect_failure(ExprRun& r, const std::string& expr, const std::string& message) {
  std::string out;
  auto v = r.eval(expr, &out);
  EXPECT_FALSE(v.has_value()) << expr << " gave " << v.value_or("");
  EXPECT_EQ(out, message) << expr;
}

}  // namespace gs_test

// The "set" keywords of vector, grid-value, bar, line, station and
// line-fill plots: what each stores, its message, and what it refuses.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "base/session.h"
#include "cmd/commands.h"
#include "support/stdout_capture.h"

namespace {

std::string error(const char* name) {
  return std::string("SET error:  Missing or invalid arguments for ") + name + " option\n";
}

TEST(SetVectorOptions, StoresMessagesAndRefusals) {
  auto s = std::make_unique<session_state>();
  const struct {
    const char* args;
    std::string out;
    int rc;
    std::function<bool(const session_state&)> holds;
  } cases[] = {
      {"arrscl 0.5", "", 0,
       [](auto& t) { return t.arrscl_set == 1 && t.arrscl_magnitude == -999; }},
      {"arrscl 0.5 20", "", 0, [](auto& t) { return t.arrscl_magnitude == 20; }},
      // A bad magnitude: the size is kept and the error reported.
      {"arrscl 0.7 x", error("ARRSCL"), 1, [](auto& t) { return t.arrscl_size == 0.7f; }},
      {"arrowhead -0.2", "Arrowhead = -0.2 \n", 0, [](auto& t) { return t.arrowhead == -0.2f; }},
      {"hempref shem", "", 0, [](auto& t) { return t.hempref == 1; }},
      {"hempref west", error("HEMPREF"), 1, [](auto& t) { return t.hempref == 1; }},
      {"dignum 2", "dignum = 2 \n", 0, [](auto& t) { return t.dignum == 2; }},
      {"dignum 9", "Invalid dignum value:  must be 0 to 8\n", 1,
       [](auto& t) { return t.dignum == 2; }},
      {"gridln off", "", 0, [](auto& t) { return t.gridln == -1; }},
      {"gridln 3", "", 0, [](auto& t) { return t.gridln == 3; }},
      {"bargap 100", "SET BARGAP Error: gap must be 0 to 99\n", 1,
       [](auto& t) { return t.bargap == 0; }},
      {"barbase top", "", 0, [](auto& t) { return t.barbase_mode == -1; }},
      {"barbase 5.5", "", 0,
       [](auto& t) { return t.barbase_mode == 1 && t.barbase_value == 5.5f; }},
      {"baropts outline", "", 0, [](auto& t) { return t.baropts_outline == 1; }},
      {"baropts", error("BAROPTS"), 1, [](auto& t) { return t.baropts_outline == 1; }},
      {"baropts hollow", error("BAROPTS"), 1, [](auto& t) { return t.baropts_outline == 1; }},
      {"mdlopts blank dig3", "", 0, [](auto& t) { return t.mdlopts_blank && t.mdlopts_dig3; }},
      {"mdlopts noblank xyz", error("MDLOPTS"), 1, [](auto& t) { return !t.mdlopts_blank; }},
      {"wxcols 1 2 3 4", error("WXCOLS"), 1,
       [](auto& t) { return t.wxcols[0] == 2 && t.wxcols[4] == 15; }},
      {"wxcols 1 2 3 4 5", "New WXCOLS have been set\n", 0,
       [](auto& t) { return t.wxcols[4] == 5; }},
      {"lfcols 4 -1", "LineFill Colors: Above = 4  Below = -1\n", 0,
       [](auto& t) { return t.lfcols[1] == -1; }},
      {"wxopt char", "", 0, [](auto& t) { return t.wxopt == 3; }},
  };
  for (const auto& c : cases) {
    std::string typed = std::string("set ") + c.args, lower = typed;
    StdoutCapture cap;
    int rc = kaset(lower.data(), typed.data(), s.get());
    EXPECT_EQ(cap.text(), c.out) << c.args;
    EXPECT_EQ(rc, c.rc) << c.args;
    EXPECT_TRUE(c.holds(*s)) << c.args;
  }
}

}  // namespace

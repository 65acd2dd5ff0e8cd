// The "set" keywords of vector, streamline, grid-value, bar, line, station
// and line-fill plots: what each stores, its message, and the words it
// refuses without changing anything.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/session.h"
#include "cmd/commands.h"
#include "support/stdout_capture.h"

namespace {

struct Set {
  std::unique_ptr<session_state> s = std::make_unique<session_state>();
  int rc = 0;
  // Runs "set <args>" and returns what it printed.
  std::string operator()(const std::string& args) {
    std::string typed = "set " + args, lower = typed;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    StdoutCapture cap;
    rc = kaset(lower.data(), typed.data(), s.get());
    return cap.text();
  }
};

TEST(SetVectorOptions, ArrowScaleAndHeads) {
  Set set;
  EXPECT_EQ(set("arrscl 0.5"), "");
  EXPECT_EQ(set.s->arrscl_set, 1);
  EXPECT_EQ(set.s->arrscl_size, 0.5f);
  EXPECT_EQ(set.s->arrscl_magnitude, -999.0f);
  set("arrscl 0.5 20");
  EXPECT_EQ(set.s->arrscl_magnitude, 20.0f);
  // A bad magnitude: the size is kept, the error reported.
  EXPECT_EQ(set("arrscl 0.7 x"), "SET error:  Missing or invalid arguments for ARRSCL option\n");
  EXPECT_EQ(set.rc, 1);
  EXPECT_EQ(set.s->arrscl_size, 0.7f);
  EXPECT_EQ(set("arrowhead -0.2"), "Arrowhead = -0.2 \n");
  EXPECT_EQ(set.s->arrowhead, -0.2f);
  set("arrlab off");
  EXPECT_EQ(set.s->arrlab, 0);
  set("hempref shem");
  EXPECT_EQ(set.s->hempref, 1);
  set("hempref auto");
  EXPECT_EQ(set.s->hempref, -1);
  EXPECT_EQ(set("hempref west"), "SET error:  Missing or invalid arguments for HEMPREF option\n");
  set("strmden 8");
  EXPECT_EQ(set.s->strmden, 8);
}

TEST(SetVectorOptions, GridValuesAndBars) {
  Set set;
  EXPECT_EQ(set("dignum 2"), "dignum = 2 \n");
  EXPECT_EQ(set("dignum 9"), "Invalid dignum value:  must be 0 to 8\n");
  EXPECT_EQ(set.rc, 0);
  EXPECT_EQ(set.s->dignum, 2);
  EXPECT_EQ(set("digsize 0.1"), "digsiz = 0.1 \n");
  EXPECT_EQ(set("gridln off"), "");
  EXPECT_EQ(set.s->gridln, -1);
  set("gridln 3");
  EXPECT_EQ(set.s->gridln, 3);
  set("gridln auto");
  EXPECT_EQ(set.s->gridln, -9);
  EXPECT_EQ(set("bargap 100"), "SET BARGAP Error: gap must be 0 to 99\n");
  EXPECT_EQ(set.rc, 1);
  set("bargap 0");
  EXPECT_EQ(set.rc, 0);
  set("barbase top");
  EXPECT_EQ(set.s->barbase_mode, -1);
  set("barbase 5.5");
  EXPECT_EQ(set.s->barbase_mode, 1);
  EXPECT_EQ(set.s->barbase_value, 5.5f);
  set("baropts outline");
  EXPECT_EQ(set.s->baropts_outline, 1);
  EXPECT_EQ(set("baropts hollow"), "");
  EXPECT_EQ(set.rc, 0);
  EXPECT_EQ(set.s->baropts_outline, 1);
  set("missconn on");
  EXPECT_EQ(set.s->missconn, 1);
}

TEST(SetVectorOptions, StationAndFillColours) {
  Set set;
  set("mdlopts blank dig3");
  EXPECT_EQ(set.s->mdlopts_blank, 1);
  EXPECT_EQ(set.s->mdlopts_dig3, 1);
  set("mdlopts noblank xyz");
  EXPECT_EQ(set.rc, 1);
  EXPECT_EQ(set.s->mdlopts_blank, 0);
  EXPECT_EQ(set("wxcols 1 2 3 4"), "SET error:  Missing or invalid arguments for WXCOLS option\n");
  EXPECT_EQ(set.s->wxcols[0], 2);
  EXPECT_EQ(set.s->wxcols[4], 15);
  EXPECT_EQ(set("wxcols 1 2 3 4 5"), "New WXCOLS have been set\n");
  EXPECT_EQ(set.s->wxcols[4], 5);
  EXPECT_EQ(set("lfcols 4 -1"), "LineFill Colors: Above = 4  Below = -1\n");
  set("wxopt char");
  EXPECT_EQ(set.s->wxopt, 3);
  set("stid on");
  EXPECT_EQ(set.s->stid, 1);
}

}  // namespace

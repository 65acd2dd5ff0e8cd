// "query" keywords of text and page positions: the width of a string, real
// page to virtual page, and longitude/latitude to page through the installed
// projection.
#include <string>

#include "cmd/commands.h"
#include "base/message.h"
#include "base/session.h"
#include "cmd/setopts.h"
#include "base/words.h"
#include "gx/gx.h"

namespace {

// Two numbers after the keyword at p.
bool two_values(const char* p, float* x, float* y) {
  p = nxtwrd(p);
  if (!p || !valprs(p, x)) return false;
  p = nxtwrd(p);
  return p && valprs(p, y);
}

}  // namespace

int kaqstring(char*, char* typed, session_state* pcm) {
  const char* p = nxtwrd(typed);
  if (!p) {
    kaprnt(msg_level::error, "Query String Error: Missing String\n");
    return 1;
  }
  std::string text = setopt::rest_at(p);
  float w = 0;
  gxchln(text.c_str(), static_cast<int>(text.size()), pcm->strsiz_h, &w);
  kaprntf(msg_level::result, "String Width = %g\n", w);
  return 0;
}

int kaqpp2xy(char* lower, char*, session_state*) {
  float x, y;
  if (!two_values(lower, &x, &y)) {
    kaprnt(msg_level::error, "Query Error: Syntax is QUERY PP2XY ppx ppy\n");
    return 1;
  }
  gxppvp(x, y, &x, &y);
  kaprntf(msg_level::result, "X = %g  Y = %g\n", x, y);
  return 0;
}

int kaqll2xy(char* lower, char*, session_state*) {
  float x, y;
  if (!two_values(lower, &x, &y)) {
    kaprnt(msg_level::error, "QUERY error: Syntax is QUERY LL2XY lon lat\n");
    return 1;
  }
  gxconv(x, y, &x, &y, coord_level::world);
  kaprntf(msg_level::result, "%g %g\n", x, y);
  return 0;
}

// The "query" command: keyword matching, the bare listing and "config".
// Each other keyword has its own handler (commands.h).
#include <string>

#include "cmd/commands.h"
#include "base/message.h"
#include "base/session.h"
#include "base/words.h"
#include "expr/udf.h"
#include "gx/gx.h"

namespace {

using query_handler = int (*)(char*, char*, session_state*);

struct query_keyword {
  const char* word;
  query_handler handler;
};

int query_config(char*, char*, session_state*) {
  kacfg(msg_level::result);
  return 0;
}

}  // namespace

int kaqudft(char*, char*, session_state*) {
  kaqufb();
  return 0;
}

namespace {

// In the order in which they are tested.
const query_keyword keywords[] = {
    {"dialog", kaqdialog}, {"string", kaqstring}, {"fwrite", kaqfwrite}, {"config", query_config},
    {"lats", kaqlats},     {"dims", kaqdims},     {"dim", kaqdims},      {"w2xy", kaqw2xy},
    {"w2gr", kaqw2gr},     {"gr2w", kaqgr2w},     {"gr2xy", kaqgr2xy},   {"pp2xy", kaqpp2xy},
    {"xy2w", kaqxy2w},     {"xy2gr", kaqxy2gr},   {"ll2xy", kaqll2xy},   {"defval", kaqdefval},
    {"udft", kaqudft},     {"ctlinfo", kaqctl},   {"file", kaqfile},     {"gxinfo", kaqgxinfo},
    {"xinfo", kaqxinfo},   {"shades", kaqshades}, {"time", kaqtime},     {"bpos", kaqpos},
    {"pos", kaqpos},       {"define", kaqdefine}, {"files", kaqfiles},
};

// The bare listing, in the order users read it.
const char* const listing[][2] = {
    {"config", "Returns Vemra configuration information"},
    {"ctlinfo", "Returns contents of data descriptor file"},
    {"define", "Lists currently defined variables"},
    {"defval", "Returns value of a defined variable at a point"},
    {"dialog", "Launches a dialog box"},
    {"dims", "Returns current dimension environment"},
    {"files", "Lists all open files"},
    {"file", "Returns info on a particular file"},
    {"fwrite", "Returns status of fwrite output file"},
    {"gxinfo", "Returns graphics environment info"},
    {"lats", "Returns status of Vemra-LATS Interface"},
    {"pos", "Waits for mouse click, returns position and widget info"},
    {"shades", "Returns colors and levels of shaded contours"},
    {"string", "Returns width of a string"},
    {"time", "Returns info about time settings"},
    {"udft", "Returns the user defined function table"},
    {"xinfo", "Returns characteristics of graphics display window"},
    {"xy2w", "Converst XY screen to world coordinates"},
    {"xy2gr", "Converts XY screen to grid coordinates"},
    {"w2xy", "Converts world to XY screen coordinates"},
    {"w2gr", "Converts world to grid coordinates"},
    {"gr2w", "Converts grid to world coordinates"},
    {"gr2xy", "Converts grid to XY screen coordinates"},
    {"pp2xy", "Converts virtual page XY to real page XY coordinates"},
};

}  // namespace

// "xinfo": the graphics window's place and size on the screen.
int kaqxinfo(char*, char*, session_state* pcm) {
  if (pcm->batch) {
    kaprnt(msg_level::result, "Batch Mode\n");
    return 0;
  }
  int d[6];
  if (!win_data(d)) {
    kaprnt(msg_level::result, "Error\n");
    return 0;
  }
  kaprntf(msg_level::result, "Window ID = %d\n", d[0]);
  kaprntf(msg_level::result, "Window X = %d\n", d[1]);
  kaprntf(msg_level::result, "Window Y = %d\n", d[2]);
  kaprntf(msg_level::result, "Window Width = %d\n", d[3]);
  kaprntf(msg_level::result, "Window Height = %d\n", d[4]);
  kaprntf(msg_level::result, "Window Border = %d\n", d[5]);
  return 0;
}

// "pos" and "bpos": one mouse click from the window's queue, waiting for
// one unless "nowait" follows.
int kaqpos(char* lower, char*, session_state*) {
  char* p = nxtwrd(lower);
  bool wait = !(p && cmpwrd(p, "nowait"));
  float x, y;
  int button;
  mouse_event_type type;
  int ival[10] = {};
  float rval[4] = {};
  gxdbtn(wait, &x, &y, &button, &type, ival, rval);
  if (type == mouse_event_type::none || type == mouse_event_type::plain)
    kaprntf(msg_level::result, "Position = %g %g %i %i\n", x, y, button, static_cast<int>(type));
  else if (type == mouse_event_type::button)
    kaprntf(msg_level::result, "Position = %g %g %i %i %i %i\n", x, y, button, 1, ival[0], ival[1]);
  else if (type == mouse_event_type::rubber_band)
    kaprntf(msg_level::result, "Position = %g %g %i %i %i %g %g\n", x, y, button, 2, ival[0],
            rval[0], rval[1]);
  else if (type == mouse_event_type::drop_menu)
    kaprntf(msg_level::result, "Position = %g %g %i %i %i %i %i %i %i %i %i %i\n", x, y, button, 3,
            ival[0], ival[1], ival[2], ival[3], ival[4], ival[5], ival[6], ival[7]);
  return 0;
}

int kaqury(char* lower, char* typed, session_state* pcm) {
  char* p = nxtwrd(lower);
  if (!p) {
    kaprnt(msg_level::result, "Vemra Version " VEMRA_VERSION "\n");
    kaprnt(msg_level::result, "query or q Options: \n");
    for (const auto& k : listing) {
      std::string line = "  q ";
      line += k[0];
      line.append(9 - line.size() + 4, ' ');
      line += k[1];
      line += "\n";
      kaprnt(msg_level::result, line);
    }
    kaprnt(msg_level::result, "Details are in the README of this program.\n");
    return 0;
  }
  char* t = typed + (p - lower);
  for (const auto& k : keywords)
    if (cmpwrd(p, k.word)) return k.handler(p, t, pcm);
  std::string word;
  for (const char* c = p; *c && *c != ' ' && *c != '\t' && *c != '\n' && word.size() < 19; ++c)
    word.push_back(*c);
  kaprnt(msg_level::error, "Invalid QUERY argument: " + word + " \n");
  return 1;
}

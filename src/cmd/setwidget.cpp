// "set" keywords of the widget defaults (button, dialog, drop menu), rubber
// bands, user colours and the fill pattern.
#include <string>

#include "base/message.h"
#include "base/session.h"
#include "cmd/setopts.h"
#include "base/words.h"
#include "gx/gx.h"
#include "gx/widgets.h"

using namespace setopt;

namespace {

void dropmenu_syntax() {
  kaprnt(msg_level::error, "SET DROPMENU Syntax Error.");
  kaprnt(msg_level::error, "  Syntax is: SET DROPMENU fc bc oc1 oc2 tfc tbc toc1 toc2\n");
  kaprnt(msg_level::error, "      bfc bbc boc1 boc2 soc1 soc2 thick\n");
}

int rband_syntax() {
  kaprnt(msg_level::error, "SET RBAND Syntax Error.");
  kaprnt(msg_level::error, "  Syntax is: SET RBAND num type xlo ylo xhi yhi\n");
  return 1;
}

}  // namespace

int set_button(set_args& a) {
  int* b = a.pcm->button_defaults;
  // Which fields each value sets; each later value overrides the earlier.
  static const int targets[9][5] = {{0, 4, -1}, {1, 5, -1}, {2, 3, 6, 7, -1}, {3, 7, -1}, {4, -1},
                                    {5, -1},    {6, 7, -1}, {7, -1},          {8, -1}};
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  for (int i = 0; i < 9 && p; i++, p = nxtwrd(p)) {
    int v;
    if (!intprs(p, &v)) return set_error(a.code);
    for (int k = 0; k < 5 && targets[i][k] >= 0; k++) b[targets[i][k]] = v;
  }
  kaprntf(msg_level::result, "SET BUTTON values:  Fc, Bc, Oc, Oc2 = %i %i %i %i ", b[0], b[1], b[2],
          b[3]);
  kaprntf(msg_level::result, "Toggle Fc, Bc, Oc, Oc2 = %i %i %i %i ", b[4], b[5], b[6], b[7]);
  kaprntf(msg_level::result, "Thick = %i\n", b[8]);
  return 0;
}

int set_dialog(set_args& a) {
  int* d = a.pcm->dialog_defaults;
  // Prompt, face, background, outline colours, then the thickness.
  static const int slot[5] = {3, 0, 1, 2, 4};
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  int i = 0;
  for (; i < 5 && p; i++, p = nxtwrd(p)) {
    int v;
    if (!intprs(p, &v)) return set_error(a.code);
    d[slot[i]] = v;
  }
  if (i == 5) {
    if (!p)
      d[5] = 0;
    else if (cmpwrd("n", p) || cmpwrd("numeric", p))
      d[5] = 1;
  }
  kaprntf(msg_level::result, "SET DIALOG values:  Pc, Fc, Bc, Oc = %i %i %i %i ", d[3], d[0], d[1],
          d[2]);
  if (d[5]) {
    kaprntf(msg_level::result, "Thick = %i ", d[4]);
    kaprnt(msg_level::result, "Args = numeric\n");
  } else {
    kaprntf(msg_level::result, "Thick = %i\n", d[4]);
  }
  return 0;
}

int set_dropmenu(set_args& a) {
  int* d = a.pcm->dropmenu_defaults;
  const char* p = nxtwrd(a.lower);
  if (!p) {
    dropmenu_syntax();
    return 1;
  }
  for (int i = 0; p; i++, p = nxtwrd(p)) {
    int v;
    if (i == 15 || !intprs(p, &v)) {
      dropmenu_syntax();
      return 1;
    }
    d[i] = v;
  }
  return 0;
}

int set_rband(set_args& a) {
  const char* p = nxtwrd(a.lower);
  int num;
  if (!p || !intprs(p, &num)) return rband_syntax();
  if (!(p = nxtwrd(p))) return rband_syntax();
  int button = -1;
  if (p[0] == 'm' && p[1] == 'b') {
    if (!intprs(p + 2, &button)) return rband_syntax();
    if (button > 3) button = 3;
    if (!(p = nxtwrd(p))) return rband_syntax();
  }
  band_shape shape;
  if (cmpwrd("box", p))
    shape = band_shape::box;
  else if (cmpwrd("line", p))
    shape = band_shape::line;
  else
    return rband_syntax();
  float v[4];
  for (float& f : v)
    if (!(p = nxtwrd(p)) || !valprs(p, &f)) return rband_syntax();
  gxdrbb(num, shape, v[0], v[1], v[2], v[3], button);
  return 0;
}

int set_rgb(set_args& a) {
  const char* p = a.lower;
  int v[4];
  for (int& n : v)
    if (!(p = nxtwrd(p)) || !intprs(p, &n)) return set_error(a.code);
  bool ok = v[0] >= 16 && v[0] <= 99;
  for (int i = 1; i < 4; i++) ok = ok && v[i] >= 0 && v[i] <= 255;
  if (!ok) {
    kaprnt(msg_level::error, "SET RGB Error:  Invalid color number or rgb value\n");
    kaprnt(msg_level::error, "  Color number must be 16-99, rgb value 0-255\n");
    return 1;
  }
  if (!gxacol(v[0], v[1], v[2], v[3]))
    kaprntf(msg_level::notice, "Color R:%i G:%i B:%i Unavailable: closest color assigned\n", v[1],
            v[2], v[3]);
  return 0;
}

int set_fill(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  if (!p) {
    kaprnt(msg_level::error, "SET FILL Syntax Error.");
    kaprnt(msg_level::error, "  Syntax is: SET FILL type [density] [angle]\n");
    return 1;
  }
  std::string word = word_at(p);
  // Read into a copy: a missing or bad word leaves the fill as it was. A
  // value out of range is reported and not stored; the type and the other
  // values are, so the command has done its work and succeeds.
  int fill_set = s->fill_set, type = s->fill_type, dens = s->fill_density, angle = s->fill_angle;
  int n;
  // The pattern density after the type word, 1 to max.
  auto density = [&](int max) {
    if (!(p = nxtwrd(p)) || !intprs(p, &n)) return false;
    if (n < 1 || n > max)
      kaprntf(msg_level::error, "Invalid ptrnden value:  must be integer 1 to %d\n", max);
    else
      dens = n;
    return true;
  };
  if (word == "on") {
    fill_set = 1;
  } else if (word == "off") {
    fill_set = 0;
  } else if (word == "open" || word == "solid") {
    fill_set = 1;
    type = word == "open" ? 0 : 1;
  } else if (word == "dot") {
    fill_set = 1;
    type = 2;
    if (!density(6)) return set_error(a.code);
  } else if (word == "line") {
    fill_set = 1;
    type = 3;
    if (!density(5)) return set_error(a.code);
    if (!(p = nxtwrd(p)) || !intprs(p, &n)) return set_error(a.code);
    static const int angles[] = {-90, -60, -45, -30, 0, 30, 45, 60, 90};
    bool ok = false;
    for (int g : angles) ok = ok || g == n;
    if (ok) {
      angle = n;
    } else {
      kaprnt(msg_level::error, "Invalid ptrnang value:  must be -90, -60, -45 -30\n");
      kaprnt(msg_level::error, " \t                        0, 30. 45, 60, or 90\n");
    }
  } else {
    return set_error(a.code);
  }
  s->fill_set = fill_set;
  s->fill_type = type;
  s->fill_density = dens;
  s->fill_angle = angle;
  if (word == "line")
    kaprntf(msg_level::result, "SET FILL values: %s %d %d\n", "line", s->fill_density,
            s->fill_angle);
  else if (word == "dot")
    kaprntf(msg_level::result, "SET FILL values: %s %d\n", "dot", s->fill_density);
  else
    kaprnt(msg_level::result, "SET FILL values: " + word + "\n");
  return 0;
}

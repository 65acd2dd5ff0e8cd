// Station marks coloured by value through the shade levels.
#include <string>

#include "base/session.h"
#include "data/held.h"
#include "data/result.h"
#include "gx/gx.h"
#include "plot/plot.h"
#include "plot/plot2d.h"
#include "plot/station.h"

void kasmrk(session_state* pcm, plot_code code) {
  station_set* s = held_stations(pcm, 0);
  kastnmap(pcm);
  kasmnmx(s);
  if (s->min_value != s->undef && s->max_value != s->undef) {
    kaselc(s->min_value, s->max_value, pcm);
    gxwide(pcm->cthick);
    const bool constant = s->min_value == s->max_value;
    if (constant && pcm->ccolor < 0) pcm->ccolor = 1;
    const int text_colour = pcm->ccolor < 0 ? 1 : pcm->ccolor;
    gxcolr(text_colour);
    const float size = 0.5f * pcm->digsiz, h = 0.65f * pcm->digsiz;
    for (const station_report* r = s->first_report; r; r = r->next) {
      float x, y;
      if (!kastnpos(pcm, r, s->undef, true, &x, &y)) continue;
      gxcolr(constant ? pcm->ccolor : kashdc(pcm, r->value));
      gxmark(pcm->cmark, x, y, size);
      if (!pcm->stid) continue;
      gxmark(1, x, y, size);
      size_t n = 0;
      while (n < 8 && r->stid[n] != ' ' && r->stid[n] != '\0') n++;
      const std::string id(r->stid, n);
      float w = 0;
      gxchln(id.c_str(), int(n), h, &w);
      const float x0 = x - w / 2, y0 = y - 1.7f * h;
      if (pcm->ccolor != 0) {
        gxcolr(gxqbck());
        gxrecf(x0 - 0.01f, x0 + w + 0.01f, y0 - 0.01f, y0 + h + 0.01f);
      }
      gxcolr(text_colour);
      gxchpl(id.c_str(), int(n), x0, y0, h, h, 0);
    }
  }
  kastntail(pcm, code);
}

// Weather symbols (or marks) at the stations, chosen by the value as a code.
#include "base/session.h"
#include "data/held.h"
#include "data/result.h"
#include "gx/gx.h"
#include "plot/plot.h"
#include "plot/station.h"

void kawsym(session_state* pcm, plot_code code) {
  const station_set* s = held_stations(pcm, 0);
  kastnmap(pcm);
  gxwide(pcm->cthick);
  gxcolr(pcm->ccolor < 0 ? 1 : pcm->ccolor);
  const float size = 1.5f * pcm->digsiz;
  for (const station_report* r = s->first_report; r; r = r->next) {
    float x, y;
    if (!kastnpos(pcm, r, s->undef, true, &x, &y)) continue;
    const int n = kaclampi(double(r->value) + 0.1);
    if (n <= 0 || n >= 42) continue;
    if (pcm->wxopt == 1)
      wxsym(x, y, size, n, pcm->ccolor, pcm->wxcols);
    else
      gxmark(n, x, y, size);
  }
  kastntail(pcm, code);
}

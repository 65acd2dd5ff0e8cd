// The station nearest a page point, printed with its distance.
#include <cmath>
#include <string>

#include "base/message.h"
#include "base/session.h"
#include "data/held.h"
#include "data/result.h"
#include "gx/gx.h"
#include "plot/plot.h"
#include "plot/plot2d.h"
#include "plot/station.h"

void kafstn(session_state* pcm, plot_code code) {
  if (pcm->result_count < 3 || !held_stations(pcm, 0) || !held_grid(pcm, 1) || !held_grid(pcm, 2)) {
    kaprnt(msg_level::error, "Error: Invalid data types for findstn\n");
    kaplot_refuse();
    return;
  }
  const station_set* s = held_stations(pcm, 0);
  const float px = held_grid(pcm, 1)->values[0];
  const float py = held_grid(pcm, 2)->values[0];
  gxrset(coord_level::grid);
  kamscl(pcm);
  const station_report* best = nullptr;
  double best_dist = 1e30;
  for (const station_report* r = s->first_report; r; r = r->next) {
    float lon = r->lon;
    if (lon < pcm->dim_min[0]) lon += 360;
    if (lon > pcm->dim_max[0]) lon -= 360;
    float x, y;
    gxconv(lon, r->lat, &x, &y, coord_level::world);
    const double d = std::hypot(double(x) - px, double(y) - py);
    if (d < best_dist) {
      best_dist = d;
      best = r;
    }
  }
  if (!best) {
    kaprnt(msg_level::result, "No stations found\n");
  } else {
    const std::string id(best->stid, 7);
    kaprntf(msg_level::result, "%s %g %g %g\n", id.c_str(), double(best->lon), double(best->lat),
            best_dist);
  }
  kagsav(code, pcm);
}

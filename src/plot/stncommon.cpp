// What the station plots on a map share: the frame, the placement test of a
// report, the closing, and bounded conversions of data to codes.
#include <climits>
#include <cmath>

#include "base/session.h"
#include "data/result.h"
#include "gx/farside.h"
#include "gx/gx.h"
#include "plot/plot.h"
#include "plot/plot2d.h"
#include "plot/station.h"

void kastnmap(session_state* pcm) {
  gxrset(coord_level::grid);
  kamscl(pcm);
  kawmap(pcm, true);
  pcm->last_plot_idim = 0;
  pcm->last_plot_jdim = 1;
  for (int k = 0; k < 4; k++) kasetlp(pcm, k, nullptr, nullptr, 0);
  kafram(pcm);
  gxclip(pcm->plot_x_low, pcm->plot_x_high, pcm->plot_y_low, pcm->plot_y_high);
}

bool kastnpos(const session_state* pcm, const station_report* r, float undef, bool check_value,
              float* x, float* y) {
  if (check_value && r->value == undef) return false;
  float lon = r->lon;
  if (lon < pcm->dim_min[0]) lon += 360;
  if (lon > pcm->dim_max[0]) lon -= 360;
  if (!(pcm->dim_min[0] < lon && lon < pcm->dim_max[0])) return false;
  if (!(pcm->dim_min[1] < r->lat && r->lat < pcm->dim_max[1])) return false;
  if (!gxseen(lon, r->lat, coord_level::world)) return false;
  gxconv(lon, r->lat, x, y, coord_level::world);
  return true;
}

void kastntail(session_state* pcm, plot_code code) {
  gxstyl(1);
  kaptail(pcm, code, tail_frame::skip, axis_code::lon, axis_code::lat);
}

int kaclampi(double v) {
  if (!(v > double(INT_MIN))) return std::isnan(v) ? 0 : INT_MIN;
  if (v >= double(INT_MAX)) return INT_MAX;
  return static_cast<int>(v);
}

// Label steps of a time axis, and the latitude-longitude grid of maps whose
// grid lines are curved.
#include <cmath>
#include <vector>

#include "base/message.h"
#include "base/session.h"
#include "base/timecal.h"
#include "gx/farside.h"
#include "gx/gx.h"
#include "plot/plot.h"
#include "plot/plot2d.h"

namespace {

// Adds one of field k (0 year .. 4 minute) to t.
void add_one(date_time* t, int k) {
  date_time one{0, 0, 0, 0, 0};
  int* f[5] = {&one.year, &one.month, &one.day, &one.hour, &one.minute};
  *f[k] = 1;
  timadd(&one, t);
}

// Rounds the hour (k 3) or minute (k 4) of t up to a multiple of n; past
// limit it wraps to 0 and carries into the field above.
void round_up(date_time* t, int k, int n, int limit) {
  int& v = k == 3 ? t->hour : t->minute;
  int r = n * (v / n);
  if (r == v) return;
  v = r + n;
  if (v > limit) {
    v = 0;
    add_one(t, k - 1);
  }
}

}  // namespace

int katinc(const session_state* pcm, date_time* first, date_time* step) {
  *step = date_time{0, 0, 0, 0, 0};
  const date_time& s = pcm->time_start;
  const date_time& e = pcm->time_end;
  if (e.year - s.year >= 5) {
    float interval = 0, f, l;
    kacsel(float(s.year), float(e.year), &interval, &f, &l);
    step->year = int(interval + 0.5f);
    if (step->year == 3) step->year = 5;
    if (step->year < 1) step->year = 1;
  } else {
    static const struct {
      long long bound;
      int field, n;  // field 0 year .. 4 minute
    } table[] = {{9, 4, 1},     {24, 4, 2},     {74, 4, 5},      {149, 4, 15},   {299, 4, 30},
                 {899, 3, 1},   {1799, 3, 3},   {3599, 3, 6},    {7199, 3, 12},  {14399, 2, 1},
                 {42000, 2, 2}, {129600, 2, 5}, {262800, 2, 15}, {788400, 1, 1}, {1576800, 1, 3}};
    long long d = timdif(&s, &e);
    int field = 1, n = 6;
    for (const auto& row : table)
      if (d <= row.bound) {
        field = row.field;
        n = row.n;
        break;
      }
    int* f[5] = {&step->year, &step->month, &step->day, &step->hour, &step->minute};
    *f[field] = n;
  }
  *first = s;
  // Start on a whole unit of the step: the parts below it go, rounding up.
  int* part[5] = {&first->year, &first->month, &first->day, &first->hour, &first->minute};
  const int unit[5] = {step->year, step->month, step->day, step->hour, step->minute};
  const int lowest[5] = {0, 1, 1, 0, 0};
  for (int k = 4; k >= 1 && unit[k] == 0; k--)
    if (*part[k] > lowest[k]) {
      *part[k] = lowest[k];
      add_one(first, k - 1);
    }
  if (step->year) {
    int y = step->year * (first->year / step->year);
    if (y != first->year) first->year = y + step->year;
    return 1;
  }
  if (step->month) {
    int m = ((first->month - 1) / step->month) * step->month + 1;
    if (m != first->month) {
      first->month = m + step->month;
      if (first->month > 12) {
        first->month = 1;
        first->year++;
      }
    }
    return 2;
  }
  if (step->day) {
    int d = ((first->day - 1) / step->day) * step->day + 1;
    if (d != first->day) {
      first->day = d + step->day;
      if (first->day == 29 || first->day == 31 ||
          first->day > days_in_month(first->year, first->month)) {
        first->day = 1;
        add_one(first, 1);
      }
    }
    return 3;
  }
  if (step->hour) {
    round_up(first, 3, step->hour, 23);
    return 4;
  }
  round_up(first, 4, step->minute, 59);
  return 5;
}

namespace {

// Snaps an automatic latitude interval of a map grid.
float snap_lat(float v, bool wide) {
  if (wide) {
    if (v > 9.9f) return 20;
    if (v > 4.9f) return 10;
    if (v > 1.9f) return 5;
    if (v > 0.8f) return 2;
    if (v > 0.4f) return 1;
    if (v > 0.2f) return 0.5f;
  } else {
    if (v > 14.9f) return 20;
    if (v > 7.9f) return 10;
    if (v > 2.9f) return 5;
    if (v > 1.4f) return 2;
    if (v > 0.6f) return 1;
    if (v > 0.2f) return 0.5f;
  }
  return v;
}

void polyline_lonlat(const std::vector<float>& lonlat) {
  seen_pen pen(coord_level::world, false);
  for (size_t k = 0; k + 1 < lonlat.size(); k += 2) {
    if (k == 0)
      pen.move(lonlat[k], lonlat[k + 1]);
    else
      pen.draw(lonlat[k], lonlat[k + 1]);
  }
}

void robinson_grid(session_state* pcm) {
  const float lomin = pcm->dim_min[0], lomax = pcm->dim_max[0];
  const float lamin = pcm->dim_min[1], lamax = pcm->dim_max[1];
  auto attrs = [&](bool edge) {
    if (edge) {
      gxstyl(1);
      gxcolr(1);
      gxwide(5);
    } else {
      gxstyl(pcm->grid_style);
      gxcolr(pcm->grid_colour);
      gxwide(1);
    }
  };
  std::vector<float> pts;
  for (float lon = lomin; lon < lomax + 10; lon += 45) {
    attrs(lon - lomin < 10 || lomax - lon < 10);
    pts.clear();
    for (float lat = lamin; lat < lamax + 1; lat += 2) {
      pts.push_back(lon);
      pts.push_back(std::fmin(lat, lamax));
    }
    polyline_lonlat(pts);
  }
  for (float lat = lamin; lat < lamax + 10; lat += 30) {
    attrs(lat - lamin < 10 || lamax - lat < 10);
    pts.clear();
    for (float lon = lomin; lon < lomax + 1; lon += 2) {
      pts.push_back(std::fmin(lon, lomax));
      pts.push_back(lat);
    }
    polyline_lonlat(pts);
  }
  bool globe = std::fabs(lomin + 180) < 1 && std::fabs(lomax - 180) < 1 &&
               std::fabs(lamin + 90) < 1 && std::fabs(lamax - 90) < 1;
  if (!globe) return;
  const float h = 0.1f;
  auto text = [&](const char* t, float lon, float lat, float dx, float dy) {
    float px, py;
    gxconv(lon, lat, &px, &py, coord_level::world);
    gxchpl(t, int(std::char_traits<char>::length(t)), px + dx * h, py + dy * h, 0.11f, 0.1f, 0);
  };
  const char* lons[5] = {"180", "90W", "0", "90E", "180"};
  const float lonv[5] = {-180, -90, 0, 90, 180};
  for (int k = 0; k < 5; k++) {
    float dx = k == 2 ? -0.5f : -1.5f;
    text(lons[k], lonv[k], 90, dx, 0.6f);
    text(lons[k], lonv[k], -90, dx, -1.6f);
  }
  const char* lats[5] = {"60S", "30S", "EQ", "60N", "30N"};
  const float latv[5] = {-60, -30, 0, 60, 30};
  const float left[5] = {-4.5f, -4.0f, -2.7f, -4.5f, -4.0f};
  const float right[5] = {1.5f, 1.0f, 0.7f, 1.5f, 1.0f};
  for (int k = 0; k < 5; k++) {
    text(lats[k], -180, latv[k], left[k], -0.55f);
    text(lats[k], 180, latv[k], right[k], -0.55f);
  }
}

}  // namespace

void kampax(session_state* pcm) {
  if (!pcm->grid) return;
  if (pcm->mproj == map_projection::robinson) {
    robinson_grid(pcm);
    return;
  }
  const float lomin = pcm->dim_min[0], lomax = pcm->dim_max[0];
  const float lamin = pcm->dim_min[1], lamax = pcm->dim_max[1];
  float lonint = 0, lonfirst, lonlast;
  kacsel(lomin, lomax, &lonint, &lonfirst, &lonlast);
  if (lonint == 0) {
    kaprnt(msg_level::error, "kaaxis internal logic check 25\n");
    return;
  }
  if (lonint > 24.9f)
    lonint = 30;
  else if (lonint > 14.5f)
    lonint = 20;
  else if (lonint > 10)
    lonint = 10;
  kacsel(lomin, lomax, &lonint, &lonfirst, &lonlast);
  // A negative interval counts as its size; stepping by it would never end.
  if (pcm->xlint != 0) lonint = std::fabs(pcm->xlint);
  float latint = 0, latfirst, latlast;
  kacsel(lamin, lamax, &latint, &latfirst, &latlast);
  if (latint == 0) {
    kaprnt(msg_level::error, "kaaxis internal logic check 25\n");
    return;
  }
  latint = snap_lat(latint, lomax - lomin > 300);
  if (pcm->ylint != 0) latint = std::fabs(pcm->ylint);
  float mlo = lamin, mhi = lamax;
  if (latfirst < -89.9f) {
    latfirst += latint;
    mlo = latfirst;
  }
  if (latlast > 89.9f) {
    latlast -= latint;
    mhi = latlast;
  }
  // Intervals far below the range would draw thousands of lines.
  if (!(lonint > 0) || !(latint > 0) || (lonlast - lonfirst) / lonint > 1000 ||
      (latlast - latfirst) / latint > 1000)
    return;
  gxstyl(pcm->grid_style);
  gxcolr(pcm->grid_colour);
  gxwide(1);
  gxclip(pcm->plot_x_low, pcm->plot_x_high, pcm->plot_y_low, pcm->plot_y_high);
  // Meridians follow the projection in latitude steps: on curved maps a
  // straight stroke between the ends of a pole-to-pole meridian would fall
  // on the central line.
  constexpr int kMeridianSteps = 60;
  for (float lon = lonfirst; lon < lonlast + lonint / 2; lon += lonint) {
    std::vector<float> pts;
    for (int k = 0; k <= kMeridianSteps; k++) {
      pts.push_back(lon);
      pts.push_back(mlo + (mhi - mlo) * float(k) / float(kMeridianSteps));
    }
    polyline_lonlat(pts);
  }
  float range = lomax - lomin;
  float step = range > 180 ? range / 100 : (range > 60 ? range / 50 : range / 25);
  auto parallel = [&](float lat) {
    std::vector<float> pts;
    for (float lon = lomin; lon < lomax + step / 2; lon += step) {
      pts.push_back(lon);
      pts.push_back(lat);
    }
    polyline_lonlat(pts);
  };
  if (step > 0)
    for (float lat = latfirst; lat < latlast + latint / 2; lat += latint) parallel(lat);
  if (pcm->frame == 2 && step > 0) {
    gxcolr(pcm->annot_colour);
    gxwide(pcm->annot_thick - 3);
    gxstyl(1);
    parallel(pcm->mproj == map_projection::nps ? lamin : lamax);
  }
  gxclip(0, pcm->page_width, 0, pcm->page_height);
  gxstyl(1);
}

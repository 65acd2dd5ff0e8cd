// Map outlines. The outline file is a chain of blocks: a block index record
// (line types and lon/lat box of the block, offset of the next block) and
// the line records of the block. Whole blocks are skipped with one seek when
// none of their line types is wanted or their box misses the request.
#include "gx/map.h"

#include <cmath>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "base/message.h"
#include "base/bitfield.h"
#include "base/inputfile.h"
#include "base/session.h"
#include "gx/farside.h"
#include "gx/gx.h"

namespace {

// The request box and the pen walk of one line copy.
struct line_walk {
  double lon_min, lon_max, lat_min, lat_max;
  double step;
  bool pen_down = false;
  double prev_lon = 0.0, prev_lat = 0.0;
  seen_pen pen{coord_level::world, true};  // lifted over the far side of a disc

  bool inside(double lon, double lat) const {
    return lon >= lon_min && lon <= lon_max && lat >= lat_min && lat <= lat_max;
  }

  void plot(double lon, double lat, pen_code how) {
    if (how == pen_code::move)
      pen.move(static_cast<float>(lon), static_cast<float>(lat));
    else
      pen.draw(static_cast<float>(lon), static_cast<float>(lat));
  }

  // One new point of the walk: outside the box it is still drawn to when the
  // pen is down, so the line reaches past the edge where clipping cuts it;
  // entering the box starts with a move to the last point before it.
  void point(double lon, double lat) {
    if (!inside(lon, lat)) {
      if (pen_down) plot(lon, lat, pen_code::draw);
      pen_down = false;
    } else {
      if (!pen_down) plot(prev_lon, prev_lat, pen_code::move);
      pen_down = true;
      plot(lon, lat, pen_code::draw);
    }
    prev_lon = lon;
    prev_lat = lat;
  }

  // Walks one segment in steps of `step` along its larger coordinate
  // change; the end point is taken exactly once within a quarter step.
  void segment(double x1, double y1, double x2, double y2) {
    double dx = x2 - x1, dy = y2 - y1;
    double d = std::fmax(std::fabs(dx), std::fabs(dy));
    double limit = d - step / 4.0;
    bool out = (x1 < lon_min && x2 < lon_min) || (x1 > lon_max && x2 > lon_max) ||
               (y1 < lat_min && y2 < lat_min) || (y1 > lat_max && y2 > lat_max);
    if (out) {
      // Every point of the walk lies outside: only the first can draw.
      if (pen_down) {
        if (step < limit)
          plot(x1 + dx * step / d, y1 + dy * step / d, pen_code::draw);
        else
          plot(x2, y2, pen_code::draw);
      }
      pen_down = false;
      prev_lon = x2;
      prev_lat = y2;
      return;
    }
    for (long j = 1;; j++) {
      double t = static_cast<double>(j) * step;
      if (!(t < limit)) break;
      point(x1 + dx * t / d, y1 + dy * t / d);
    }
    point(x2, y2);
  }
};

// Smallest multiple of 360 with v + k > lo.
double first_shift(double v, double lo) {
  double k = 360.0 * (std::floor((lo - v) / 360.0) + 1.0);
  // Rounding can leave the quotient one off; bounded so huge values end.
  for (int i = 0; i < 2 && v + k <= lo; i++) k += 360.0;
  for (int i = 0; i < 2 && v + k - 360.0 > lo; i++) k -= 360.0;
  return k;
}

}  // namespace

void gxdmap(const map_options* o) {
  double s = std::hypot(static_cast<double>(o->lon_max) - o->lon_min,
                        static_cast<double>(o->lat_max) - o->lat_min) /
             200.0;
  if (!(s >= 0.0001)) s = 0.0001;

  const char* name = o->file_name ? o->file_name : "";
  // Through the input gate: a pipe or device as a map data set would block
  // the first map drawn for ever.
  std::string shown = name;
  std::vector<std::string> tries;
  if (name[0] == '/' || name[0] == '\\') {
    tries.push_back(name);
  } else {
    shown = gxgnam(name);
    tries.push_back(shown);
    if (shown != name) tries.push_back(name);
  }
  std::string refused;
  input_file in = open_first(tries, refused);
  if (!in.ok()) {
    kaprntout("Open Error on Map Data Set: %s\n", shown.c_str());
    kaputout(refused);
    return;
  }
  FILE* f = in.get();

  auto wanted = [o](int t) { return !o->colours || o->colours[t] != -9; };

  line_walk walk;
  walk.lon_min = o->lon_min;
  walk.lon_max = o->lon_max;
  walk.lat_min = o->lat_min;
  walk.lat_max = o->lat_max;
  walk.step = s;

  unsigned char hdr[3];
  unsigned char blk[16];
  unsigned char pts[255 * 6];
  int recnum = 0;
  for (;;) {
    long rec_start = std::ftell(f);
    if (std::fread(hdr, 1, 3, f) != 3) return;  // end of file
    // An interrupt ends the map with the records drawn so far.
    if ((++recnum & 0xff) == 0 && kaqsig()) return;
    int type = hdr[0];
    if (type < 1 || type > 3) {
      kaprntout("Map file format error: Invalid rec type %i rec num %i\n", type, recnum);
      return;
    }
    if (type == 2) {
      if (std::fread(blk, 1, 16, f) != 16) {
        kaprntout("Map file format error: Short block record rec num %i\n", recnum);
        return;
      }
      long next = kagby(blk, 0, 4);
      bool want = false;
      for (int t = hdr[1]; t <= hdr[2]; t++) want = want || wanted(t);
      bool skip = !want;
      if (want) {
        double bln_min = kagby(blk, 4, 3) / 10000.0;
        double bln_max = kagby(blk, 7, 3) / 10000.0;
        double blt_min = kagby(blk, 10, 3) / 10000.0 - 90.0;
        double blt_max = kagby(blk, 13, 3) / 10000.0 - 90.0;
        if (bln_min <= 360.0) {
          double k = first_shift(bln_max, o->lon_min);
          skip = blt_max <= o->lat_min || o->lat_max <= blt_min || o->lon_max <= bln_min + k;
        }
      }
      if (!skip) continue;
      if (next == 0) return;
      // A block chain that does not move forward would never end.
      if (next < rec_start + 19) {
        kaprntout("Map file format error: Invalid block offset %li rec num %i\n", next, recnum);
        return;
      }
      if (std::fseek(f, next, SEEK_SET) != 0) return;
      continue;
    }

    // Line record.
    int ltype = hdr[1];
    int n = hdr[2];
    if (n > 0 && std::fread(pts, 6, n, f) != static_cast<size_t>(n)) {
      kaprntout("Map file format error: Short point read (%i points) rec num %i\n", n, recnum);
      return;
    }
    if (!wanted(ltype)) continue;
    if (!o->colours || o->colours[ltype] == -1) {
      gxcolr(o->colour);
      gxstyl(o->style);
      gxwide(o->thickness);
    } else {
      gxcolr(o->colours[ltype]);
      gxstyl(o->styles ? o->styles[ltype] : o->style);
      gxwide(o->thicknesses ? o->thicknesses[ltype] : o->thickness);
    }
    if (n == 0) continue;
    double lon[255], lat[255];
    double lnmn = 1e30, lnmx = -1e30, ltmn = 1e30, ltmx = -1e30;
    for (int i = 0; i < n; i++) {
      lon[i] = kagby(pts, 6 * i, 3) / 10000.0;
      lat[i] = kagby(pts, 6 * i + 3, 3) / 10000.0 - 90.0;
      lnmn = std::fmin(lnmn, lon[i]);
      lnmx = std::fmax(lnmx, lon[i]);
      ltmn = std::fmin(ltmn, lat[i]);
      ltmx = std::fmax(ltmx, lat[i]);
    }
    if (ltmx < o->lat_min || ltmn > o->lat_max) continue;
    // Copies beyond a hundred turns of the globe would only overdraw.
    int copies = 0;
    for (double k = first_shift(lnmx, o->lon_min); lnmn + k < o->lon_max && copies < 100;
         k += 360.0, copies++) {
      walk.pen_down = false;
      walk.prev_lon = lon[0] + k;
      walk.prev_lat = lat[0];
      for (int i = 0; i + 1 < n; i++) walk.segment(lon[i] + k, lat[i], lon[i + 1] + k, lat[i + 1]);
    }
  }
}

std::optional<std::vector<float>> gxmpoly(const float* xy, int n, float step) {
  if (!xy || n < 1 || !(step > 0.0f)) return std::nullopt;
  double s = step;
  double total = 0.0;
  for (int i = 0; i + 1 < n; i++)
    total +=
        std::fmax(std::fabs(xy[2 * i + 2] - xy[2 * i]), std::fabs(xy[2 * i + 3] - xy[2 * i + 1]));
  double cap_d = n + total / s;
  // Far more points than any page can show: treat like running out of memory.
  if (!std::isfinite(cap_d) || cap_d > 5.0e7) return std::nullopt;
  size_t cap = static_cast<size_t>(cap_d);
  std::vector<float> out;
  try {
    out.reserve(2 * cap);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  bool overflow = false;
  auto store = [&](double x, double y) {
    if (overflow) return;
    if (out.size() >= 2 * cap) {
      overflow = true;
      return;
    }
    float px, py;
    gxconv(static_cast<float>(x), static_cast<float>(y), &px, &py, coord_level::world);
    out.push_back(px);
    out.push_back(py);
  };
  for (int i = 0; i + 1 < n && !overflow; i++) {
    double x1 = xy[2 * i], y1 = xy[2 * i + 1], x2 = xy[2 * i + 2], y2 = xy[2 * i + 3];
    double dx = x2 - x1, dy = y2 - y1;
    double d = std::fmax(std::fabs(dx), std::fabs(dy));
    double limit = d - s / 4.0;
    for (long j = 1; !overflow; j++) {
      double t = static_cast<double>(j) * s;
      if (!(t < limit)) break;
      store(x1 + dx * t / d, y1 + dy * t / d);
    }
    store(x2, y2);
  }
  if (overflow) {
    kaprntout("Logic Error in gxmpoly\n");
    return std::nullopt;
  }
  return out;
}

// Where a GRIB message's points lie, from its own grid description, against
// the grid the reader takes them for. The reader takes the message's first
// stored row as y = 1 (y = ny under yrev) and its first column as x = 1: a
// message stored otherwise would read wrong values without a word.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/bitfield.h"
#include "data/filerec.h"
#include "data/gribbuild.h"
#include "data/pdef.h"
#include "data/reader.h"

namespace {

// Data representation types whose points lie on latitude rows and
// longitude columns from the first point to the last.
enum grid_kind : int {
  kind_latlon = 0,
  kind_lambert = 3,
  kind_gaussian = 4,
  kind_polar = 5,
  kind_rotated = 10,  // read in its rotated coordinates
  kind_egrid = 203,
  kind_listed = 220,  // this system's writer: coordinates listed after octet 23
};

struct kind_name {
  int kind;
  const char* name;
};
const kind_name kind_names[] = {
    {kind_latlon, "latitude-longitude"},
    {1, "Mercator"},
    {kind_lambert, "Lambert conformal"},
    {kind_gaussian, "Gaussian"},
    {kind_polar, "polar stereographic"},
    {kind_rotated, "rotated latitude-longitude"},
    {14, "rotated Gaussian"},
    {20, "stretched latitude-longitude"},
    {24, "stretched Gaussian"},
    {30, "stretched and rotated latitude-longitude"},
    {34, "stretched and rotated Gaussian"},
    {50, "spherical harmonic"},
    {90, "space view"},
    {kind_egrid, "rotated E"},
    {kind_listed, "listed latitude-longitude"},
};

std::string kind_named(int kind) {
  for (const kind_name& k : kind_names)
    if (k.kind == kind) return std::string(k.name) + " grid (type " + std::to_string(kind) + ")";
  return "grid of type " + std::to_string(kind);
}

// Scanning mode bits the reader can't follow.
constexpr int scan_east_to_west = 0x80;
constexpr int scan_by_columns = 0x20;
constexpr int scan_south_to_north = 0x40;

// The GRIB grid type of each native grid that has one, and the polar
// stereographic hemisphere (projection centre flag) it needs.
struct native_kind {
  int pdef;
  int kind;
  int south;  // -1: not a polar grid
};
const native_kind native_kinds[] = {
    {pdef_nps, kind_polar, 0},    {pdef_sps, kind_polar, 1},  {pdef_pse, kind_polar, -1},
    {pdef_lcc, kind_lambert, -1}, {pdef_eta, kind_egrid, -1},
};

// Sign-and-magnitude millidegrees of three octets, in degrees.
double degrees3(const unsigned char* b) {
  const long long v = kagby(b, 0, 3);
  return double(v & 0x800000 ? -(v & 0x7fffff) : v) / 1000.0;
}

// What the grid description says of where its rows and columns lie.
struct described {
  double lat1, lon1, lat2, lon2;  // the first and the last point
};

described describe(const grib_record_header* h) {
  return {degrees3(h->gds + 10), degrees3(h->gds + 13), degrees3(h->gds + 17),
          degrees3(h->gds + 20)};
}

// Octets of a rotated grid's south pole.
constexpr int gds_south_pole = 32;

// GRIB1 stores increments in whole millidegrees and its last point is often
// recomputed from the rounded increment: over n points the last drifts by
// up to (n - 1) half millidegrees, plus the rounding of either end.
double rounding_drift(int n) { return (n - 1) * 0.0005 + 0.001; }

// Half the descriptor's step at position g of n along dimension d; an axis
// of one position has no step and takes the grid description's millidegree.
double half_step(const file_descriptor* pfi, int d, int g, int n) {
  if (n < 2) return 0.001;
  const int other = g < n ? g + 1 : g - 1;
  return std::fabs(grid_world(pfi, d, other) - grid_world(pfi, d, g)) / 2;
}

// How far apart two longitudes lie, modulo 360.
double lon_apart(double a, double b) {
  double d = std::fmod(a - b, 360.0);
  if (d < -180) d += 360;
  if (d > 180) d -= 360;
  return std::fabs(d);
}

std::string printed(const char* format, double a, double b = 0, double c = 0, double d = 0) {
  char line[256];
  std::snprintf(line, sizeof line, format, a, b, c, d);
  return line;
}

// The shortest decimal within tol of v: a step worked out from the ends of an
// axis in millidegrees reads as the step the axis was made with.
std::string shortest(double v, double tol) {
  char text[32];
  for (int digits = 1; digits <= 9; digits++) {
    std::snprintf(text, sizeof text, "%.*g", digits, v);
    if (std::fabs(std::atof(text) - v) <= tol) break;
  }
  return text;
}

// The step of a message's evenly spaced axis of n points whose ends lie span
// degrees apart, against the step of a linear descriptor axis whose ends lie
// want degrees apart. fits: the descriptor's step, taken from the message's
// first point, puts its last point where the check takes it.
struct axis_step {
  bool known = false;  // both axes are evenly spaced
  bool fits = false;
  std::string step;  // the message's, as it was made
};

const char* degrees(const std::string& step) { return step == "1" ? " degree" : " degrees"; }

axis_step step_of(const file_descriptor* pfi, int d, int n, double span, double want) {
  axis_step a;
  if (n < 2 || !pfi->linear_flags[d]) return a;
  a.known = true;
  a.fits = std::fabs(std::fabs(span) - std::fabs(want)) <
           std::fabs(want) / (n - 1) / 2 + rounding_drift(n);
  // Either end may be off by half a millidegree.
  a.step = shortest(std::fabs(span) / (n - 1), 0.001 / (n - 1));
  return a;
}

// Rows stored the other way round than the descriptor reads them.
const char* const add_yrev =
    "  Its rows are stored north to south: add \"options yrev\" to the descriptor.\n";
const char* const take_yrev_out =
    "  Its rows are stored south to north: take yrev out of the descriptor's options.\n";

// How to mend a linear ydef whose rows are not the message's, which stores
// them from lat1 to lat2: the start that fits (the southernmost row), and the
// step where it differs; rows stored the other way round are yrev's.
std::string rows_fix(const grib_record_header* h, const file_descriptor* pfi, const described& g,
                     double first, double last) {
  const int ny = pfi->y_size;
  // Gaussian rows are not evenly spaced: no step says them.
  const axis_step y =
      h->data_rep == kind_latlon ? step_of(pfi, 1, ny, g.lat2 - g.lat1, last - first) : axis_step{};
  if (!y.known) return "  The descriptor's ydef does not describe its rows.\n";
  std::string fix;
  const double south = std::fmin(g.lat1, g.lat2);
  if (!y.fits)
    fix +=
        "  Its rows are " + y.step + degrees(y.step) + " apart: step the ydef by " + y.step + ".\n";
  if (y.fits || std::fabs(south - grid_world(pfi, 1, 1)) >= half_step(pfi, 1, 1, ny))
    fix += printed("  Its southernmost row lies at latitude %g: start the ydef at %g.\n", south,
                   south);
  if ((g.lat1 > g.lat2) != (first > last)) fix += g.lat1 > g.lat2 ? add_yrev : take_yrev_out;
  return fix;
}

// The rows and the first column of a latitude-longitude or Gaussian message.
int place_rows(const grib_record_header* h, const file_descriptor* pfi, std::string* why) {
  const described g = describe(h);
  const int nx = pfi->x_size, ny = pfi->y_size;
  const int yfirst = pfi->yrev ? ny : 1, ylast = pfi->yrev ? 1 : ny;
  const double first = grid_world(pfi, 1, yfirst), last = grid_world(pfi, 1, ylast);
  const double west = grid_world(pfi, 0, 1), east = grid_world(pfi, 0, nx);
  const bool rows = std::fabs(g.lat1 - first) < half_step(pfi, 1, yfirst, ny) &&
                    std::fabs(g.lat2 - last) < half_step(pfi, 1, ylast, ny) + rounding_drift(ny);
  const bool column = lon_apart(g.lon1, west) < half_step(pfi, 0, 1, nx);
  const bool columns =
      column && lon_apart(g.lon2, east) < half_step(pfi, 0, nx, nx) + rounding_drift(nx);
  if (rows && columns) return grib_rec_entered;
  if (!why) return grib_rec_grid_place;
  *why = printed("  It holds rows from latitude %g to %g and columns from longitude %g to %g;\n",
                 g.lat1, g.lat2, g.lon1, g.lon2);
  *why += printed("  the descriptor reads latitude %g (y = %g) to %g (y = %g)", first, yfirst, last,
                  ylast);
  *why += printed(" and longitude %g (x = 1) to %g (x = %g).\n", west, east, nx);
  const bool reversed =
      std::fabs(g.lat1 - last) < half_step(pfi, 1, ylast, ny) + rounding_drift(ny) &&
      std::fabs(g.lat2 - first) < half_step(pfi, 1, yfirst, ny) + rounding_drift(ny);
  if (!rows && reversed && g.lat1 > g.lat2)
    *why += add_yrev;
  else if (!rows && reversed)
    *why += take_yrev_out;
  else if (!rows)
    *why += rows_fix(h, pfi, g, first, last);
  // Columns run east from the first: the last lies up to 360 degrees on.
  double span = std::fmod(g.lon2 - g.lon1, 360.0);
  if (span <= 0) span += 360;
  const axis_step x = step_of(pfi, 0, nx, span, east - west);
  if (!column || (!columns && x.known && x.fits))
    *why += printed("  Its first column lies at longitude %g: start the xdef there.\n", g.lon1);
  if (!columns && x.known && !x.fits)
    *why += "  Its columns are " + x.step + degrees(x.step) + " apart: step the xdef by " + x.step +
            ".\n";
  else if (column && !columns && !x.known)
    *why += "  The descriptor's xdef does not describe its columns.\n";
  return grib_rec_grid_place;
}

int refuse_kind(const grib_record_header* h, const char* descriptor, std::string* why) {
  if (why)
    *why =
        "  It holds a " + kind_named(h->data_rep) + "; the descriptor reads " + descriptor + ".\n";
  return grib_rec_grid_place;
}

int refuse_scanning(const grib_record_header* h, std::string* why) {
  if (why)
    *why = h->gds[27] & scan_east_to_west
               ? "  Its columns are stored from east to west, which no descriptor can say.\n"
               : "  Its points are stored column by column, which no descriptor can say.\n";
  return grib_rec_grid_place;
}

// A native grid of a pdef: the message's grid type, and where its first
// point lies on the native grid by the pdef's projection and which way its
// rows run there.
int place_native(const grib_record_header* h, const file_descriptor* pfi, std::string* why) {
  const native_kind* want = nullptr;
  for (const native_kind& k : native_kinds)
    if (k.pdef == pfi->pdef_type) want = &k;
  // Native grids given by tables say nothing the message can be held to.
  if (!want) return grib_rec_entered;
  const bool south = (h->gds[26] & 0x80) != 0;
  if (h->data_rep != want->kind || (want->south >= 0 && south != (want->south == 1)))
    return refuse_kind(h,
                       want->south == 1   ? "a south polar stereographic native grid"
                       : want->south == 0 ? "a north polar stereographic native grid"
                                          : ("a native " + kind_named(want->kind)).c_str(),
                       why);
  if (h->gds[27] & (scan_east_to_west | scan_by_columns)) return refuse_scanning(h, why);
  if (pfi->pdef_type != pdef_nps && pfi->pdef_type != pdef_sps && pfi->pdef_type != pdef_lcc)
    return grib_rec_entered;
  const described g = describe(h);
  const float* prm = pfi->pdef_params;
  float gi = 0, gj = 0;
  if (pfi->pdef_type == pdef_lcc) {
    ll2lc(prm, float(g.lat1), float(g.lon1), &gi, &gj);
  } else {
    w3fb04(float(g.lat1), -float(g.lon1), prm[3], -prm[2], &gi, &gj);
    gi += prm[0];
    gj += prm[1];
  }
  // The pdef's j runs up its projection's y (a Lambert one's while dy is
  // positive); rows stored the other way make its first stored row native
  // row jsize, which yrev reads as such.
  const bool upward = (h->gds[27] & scan_south_to_north) != 0;
  const bool against = upward != (pfi->pdef_type != pdef_lcc || prm[8] > 0);
  const int jfirst = against ? pfi->native_jsize : 1;
  const bool placed = std::fabs(gi - 1) < 0.5 && std::fabs(gj - float(jfirst)) < 0.5;
  if (placed && against == (pfi->yrev != 0)) return grib_rec_entered;
  if (!why) return grib_rec_grid_place;
  const char* stored = upward ? "south to north" : "north to south";
  why->clear();
  if (against && !pfi->yrev)
    *why = std::string("  Its rows are stored ") + stored +
           ", against the pdef's rows: add \"options yrev\" to the descriptor.\n";
  else if (!against && pfi->yrev)
    *why = std::string("  Its rows are stored ") + stored +
           ", as the pdef's rows run: take yrev out of the descriptor's options.\n";
  if (placed) return grib_rec_grid_place;
  *why += printed("  Its first point lies at latitude %g, longitude %g;\n", g.lat1, g.lon1);
  *why += printed(
      "  the pdef places that point at i = %.2f, j = %.2f of the native grid, not at "
      "i = 1, j = %g.\n",
      gi, gj, jfirst);
  if (against) *why += printed("  Under yrev the first row stored is the pdef's row %g.\n", jfirst);
  return grib_rec_grid_place;
}

}  // namespace

int gribplace(const grib_record_header* h, const file_descriptor* pfi, int gtype,
              std::string* why) {
  // A fixed grid number places the message by itself; a message without a
  // description is placed by its grid number.
  if (gtype == 29 || !h->gds_flag) return grib_rec_entered;
  if (preprojected(pfi)) return place_native(h, pfi, why);
  // A rotated grid is read in its rotated coordinates where the descriptor's
  // axes are those.
  if (h->data_rep == kind_rotated && !(h->gds[27] & (scan_east_to_west | scan_by_columns)) &&
      place_rows(h, pfi, nullptr) == grib_rec_entered)
    return grib_rec_entered;
  if (h->data_rep != kind_latlon && h->data_rep != kind_gaussian && h->data_rep != kind_listed)
    return refuse_kind(h, "latitude rows and longitude columns (use a pdef for a projected grid)",
                       why);
  // The writer's listed grid has coordinates where others have the scanning.
  if (h->data_rep != kind_listed && (h->gds[27] & (scan_east_to_west | scan_by_columns)))
    return refuse_scanning(h, why);
  return place_rows(h, pfi, why);
}

std::string gribrotated(const grib_record_header* h) {
  if (!h->gds_flag || h->data_rep != kind_rotated || h->gds_length < gds_south_pole + 6) return "";
  return printed("south pole at latitude %g, longitude %g", degrees3(h->gds + gds_south_pole),
                 degrees3(h->gds + gds_south_pole + 3));
}

std::string gribfirst(const grib_record_header* h) {
  return printed("latitude %g, longitude %g", degrees3(h->gds + 10), degrees3(h->gds + 13));
}

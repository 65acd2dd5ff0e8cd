// Where a GRIB message's points lie, from its own grid description, against
// the grid the reader takes them for. The reader takes the message's first
// stored row as y = 1 (y = ny under yrev) and its first column as x = 1: a
// message stored otherwise would read wrong values without a word.
#include <cmath>
#include <cstdio>
#include <string>

#include "base/bitfield.h"
#include "data/filerec.h"
#include "data/gribbuild.h"
#include "data/reader.h"

namespace {

// Data representation types whose points lie on latitude rows and
// longitude columns from the first point to the last.
enum grid_kind : int {
  kind_latlon = 0,
  kind_gaussian = 4,
  kind_listed = 220,  // this system's writer: coordinates listed after octet 23
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

// The descriptor's world coordinate of grid position g of dimension d.
double world(const file_descriptor* pfi, int d, int g) {
  return double(pfi->grid_to_world[d](pfi->grid_to_world_scaling[d], float(g)));
}

// Half the descriptor's step at position g of n along dimension d; an axis
// of one position has no step and takes the grid description's millidegree.
double half_step(const file_descriptor* pfi, int d, int g, int n) {
  if (n < 2) return 0.001;
  const int other = g < n ? g + 1 : g - 1;
  return std::fabs(world(pfi, d, other) - world(pfi, d, g)) / 2;
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

// The rows and the first column of a latitude-longitude or Gaussian message.
int place_rows(const grib_record_header* h, const file_descriptor* pfi, std::string* why) {
  const described g = describe(h);
  const int nx = pfi->x_size, ny = pfi->y_size;
  const int yfirst = pfi->yrev ? ny : 1, ylast = pfi->yrev ? 1 : ny;
  const double first = world(pfi, 1, yfirst), last = world(pfi, 1, ylast);
  const double west = world(pfi, 0, 1);
  const bool rows = std::fabs(g.lat1 - first) < half_step(pfi, 1, yfirst, ny) &&
                    std::fabs(g.lat2 - last) < half_step(pfi, 1, ylast, ny);
  const bool column = lon_apart(g.lon1, west) < half_step(pfi, 0, 1, nx);
  if (rows && column) return grib_rec_entered;
  if (!why) return grib_rec_grid_place;
  *why = printed("  It holds rows from latitude %g to %g and its first column at longitude %g;\n",
                 g.lat1, g.lat2, g.lon1);
  *why += printed("  the descriptor reads latitude %g (y = %g) to %g (y = %g)", first, yfirst, last,
                  ylast);
  *why += printed(" and longitude %g (x = 1).\n", west);
  const bool reversed = std::fabs(g.lat1 - last) < half_step(pfi, 1, ylast, ny) &&
                        std::fabs(g.lat2 - first) < half_step(pfi, 1, yfirst, ny);
  if (!rows && reversed && g.lat1 > g.lat2)
    *why += "  Its rows are stored north to south: add \"options yrev\" to the descriptor.\n";
  else if (!rows && reversed)
    *why += "  Its rows are stored south to north: take yrev out of the descriptor's options.\n";
  else if (!rows)
    *why += "  The descriptor's ydef does not describe its rows.\n";
  if (!column)
    *why += printed("  Its first column lies at longitude %g: start the xdef there.\n", g.lon1);
  return grib_rec_grid_place;
}

}  // namespace

int gribplace(const grib_record_header* h, const file_descriptor* pfi, int gtype,
              std::string* why) {
  // A fixed grid number places the message by itself; a message without a
  // description is placed by its grid number.
  if (gtype == 29 || !h->gds_flag || preprojected(pfi)) return grib_rec_entered;
  if (h->data_rep != kind_latlon && h->data_rep != kind_gaussian && h->data_rep != kind_listed)
    return grib_rec_entered;
  return place_rows(h, pfi, why);
}

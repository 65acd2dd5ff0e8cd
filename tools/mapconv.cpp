// Builds a map outline file from the binned shoreline, border and river
// netCDF files of the public shoreline database.
//
//   mapconv SHORE.nc BORDER.nc RIVER.nc OUTPUT
//
// Line types written: 0 shorelines (land/ocean, one Antarctic coastline, and
// the large lakes), 1 national borders, 2 internal borders, 3 maritime
// borders, 4 islands in the large lakes, 5 and up rivers (5 + river level).
// One block record per non-empty bin, its line records after it; lines are
// split at 255 points with the joining point repeated.
#include <netcdf.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Lakes at least this large (km^2) are drawn as shoreline: the Caspian Sea,
// the Great Lakes and the other great lakes of the world.
const double big_lake_area = 15000.0;

struct line {
  int type;
  std::vector<uint32_t> lon, lat;  // degrees x 10000, latitude + 90
};

struct binned_file {
  int nc = -1;
  int bin_minutes = 0, bins_lon = 0, bins = 0;
  std::vector<int> first_seg, nseg;
  std::vector<int> first_pt;
  std::vector<int> dx, dy;  // stored as 16-bit, meaning 0..65535
};

bool fail(const std::string& what) {
  std::fprintf(stderr, "mapconv: %s\n", what.c_str());
  return false;
}

bool get_ints(int nc, const char* name, std::vector<int>& out) {
  int id, ndims, dims[NC_MAX_VAR_DIMS];
  if (nc_inq_varid(nc, name, &id) != NC_NOERR) return fail(std::string("no variable ") + name);
  if (nc_inq_varndims(nc, id, &ndims) != NC_NOERR || ndims != 1 ||
      nc_inq_vardimid(nc, id, dims) != NC_NOERR)
    return fail(std::string("bad variable ") + name);
  size_t len;
  if (nc_inq_dimlen(nc, dims[0], &len) != NC_NOERR) return fail("bad dimension");
  out.assign(len, 0);
  if (len && nc_get_var_int(nc, id, out.data()) != NC_NOERR)
    return fail(std::string("cannot read ") + name);
  return true;
}

bool get_doubles(int nc, const char* name, std::vector<double>& out) {
  int id, dims[NC_MAX_VAR_DIMS];
  size_t len;
  if (nc_inq_varid(nc, name, &id) != NC_NOERR || nc_inq_vardimid(nc, id, dims) != NC_NOERR ||
      nc_inq_dimlen(nc, dims[0], &len) != NC_NOERR)
    return fail(std::string("no variable ") + name);
  out.assign(len, 0.0);
  if (len && nc_get_var_double(nc, id, out.data()) != NC_NOERR)
    return fail(std::string("cannot read ") + name);
  return true;
}

int get_scalar(int nc, const char* name) {
  std::vector<int> v;
  if (!get_ints(nc, name, v) || v.empty()) return -1;
  return v[0];
}

bool open_binned(const char* path, binned_file& f) {
  if (nc_open(path, NC_NOWRITE, &f.nc) != NC_NOERR) return fail(std::string("cannot open ") + path);
  f.bin_minutes = get_scalar(f.nc, "Bin_size_in_minutes");
  f.bins_lon = get_scalar(f.nc, "N_bins_in_360_longitude_range");
  f.bins = get_scalar(f.nc, "N_bins_in_file");
  if (f.bin_minutes <= 0 || f.bins_lon <= 0 || f.bins <= 0) return fail("bad bin layout");
  if (!get_ints(f.nc, "Id_of_first_segment_in_a_bin", f.first_seg) ||
      !get_ints(f.nc, "N_segments_in_a_bin", f.nseg) ||
      !get_ints(f.nc, "Id_of_first_point_in_a_segment", f.first_pt) ||
      !get_ints(f.nc, "Relative_longitude_from_SW_corner_of_bin", f.dx) ||
      !get_ints(f.nc, "Relative_latitude_from_SW_corner_of_bin", f.dy))
    return false;
  if (static_cast<int>(f.first_seg.size()) < f.bins || static_cast<int>(f.nseg.size()) < f.bins)
    return fail("bin arrays too short");
  return true;
}

// Appends segment `s` of bin `b` as a line of the given type, dropping
// repeated points. Checks every index against the arrays.
bool add_segment(const binned_file& f, int b, int s, int npts, int type, std::vector<line>& out) {
  if (s < 0 || s >= static_cast<int>(f.first_pt.size())) return fail("segment out of range");
  long p0 = f.first_pt[s];
  if (p0 < 0 || npts < 0 || p0 + npts > static_cast<long>(f.dx.size()) ||
      p0 + npts > static_cast<long>(f.dy.size()))
    return fail("points out of range");
  double size = f.bin_minutes / 60.0;
  int row = b / f.bins_lon, col = b % f.bins_lon;
  double west = col * size, south = 90.0 - (row + 1) * size;
  line l;
  l.type = type;
  for (long p = p0; p < p0 + npts; p++) {
    double lon = west + (f.dx[p] & 0xffff) / 65535.0 * size;
    double lat = south + (f.dy[p] & 0xffff) / 65535.0 * size;
    auto x = static_cast<uint32_t>(std::lround(lon * 10000.0));
    auto y = static_cast<uint32_t>(std::lround((lat + 90.0) * 10000.0));
    if (!l.lon.empty() && l.lon.back() == x && l.lat.back() == y) continue;
    l.lon.push_back(x);
    l.lat.push_back(y);
  }
  if (l.lon.size() >= 2) out.push_back(std::move(l));
  return true;
}

bool read_shore(const char* path, std::vector<std::vector<line>>& bins) {
  binned_file f;
  if (!open_binned(path, f)) return false;
  std::vector<int> info, parent;
  std::vector<int> poly;
  std::vector<double> area;
  if (!get_ints(f.nc, "Embedded_npts_levels_exit_entry_for_a_segment", info) ||
      !get_ints(f.nc, "Id_of_GSHHS_ID", poly) || !get_ints(f.nc, "Id_of_parent_polygons", parent) ||
      !get_doubles(f.nc, "The_km_squared_area_of_polygons", area))
    return false;
  if (static_cast<int>(bins.size()) < f.bins) bins.resize(f.bins);
  for (int b = 0; b < f.bins; b++) {
    for (int s = f.first_seg[b]; s < f.first_seg[b] + f.nseg[b]; s++) {
      if (s < 0 || s >= static_cast<int>(info.size()) || s >= static_cast<int>(poly.size()))
        return fail("segment out of range");
      int npts = info[s] >> 9, level = (info[s] >> 6) & 7;
      int id = poly[s];
      bool known =
          id >= 0 && id < static_cast<int>(area.size()) && id < static_cast<int>(parent.size());
      int type = -1;
      // Level 1 land (with the Antarctic ice front); level 6, the Antarctic
      // grounding line, is the second version of the same coast and is left out.
      if (level == 1) type = 0;
      if (level == 2 && known && area[id] >= big_lake_area) type = 0;
      if (level == 3 && known) {
        int lake = parent[id];
        if (lake >= 0 && lake < static_cast<int>(area.size()) && area[lake] >= big_lake_area)
          type = 4;
      }
      if (type < 0) continue;
      if (!add_segment(f, b, s, npts, type, bins[b])) return false;
    }
  }
  nc_close(f.nc);
  return true;
}

// Borders and rivers: the level of a segment picks the line type.
bool read_lines(const char* path, int (*type_of)(int), std::vector<std::vector<line>>& bins) {
  binned_file f;
  if (!open_binned(path, f)) return false;
  std::vector<int> npts, level;
  if (!get_ints(f.nc, "N_points_for_a_segment", npts) ||
      !get_ints(f.nc, "Hierarchial_level_of_a_segment", level))
    return false;
  if (static_cast<int>(bins.size()) < f.bins) bins.resize(f.bins);
  for (int b = 0; b < f.bins; b++) {
    for (int s = f.first_seg[b]; s < f.first_seg[b] + f.nseg[b]; s++) {
      if (s < 0 || s >= static_cast<int>(npts.size()) || s >= static_cast<int>(level.size()))
        return fail("segment out of range");
      int type = type_of(level[s]);
      if (type < 0) continue;
      if (!add_segment(f, b, s, npts[s], type, bins[b])) return false;
    }
  }
  nc_close(f.nc);
  return true;
}

int border_type(int level) { return level >= 1 && level <= 3 ? level : -1; }
int river_type(int level) { return level >= 0 && level <= 250 ? 5 + level : -1; }

void put(std::vector<unsigned char>& out, uint32_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; i--) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// One block: its index record (next offset patched later) and its lines.
std::vector<unsigned char> encode_block(const std::vector<line>& lines, size_t* next_field) {
  int lo = 255, hi = 0;
  uint32_t xmin = UINT32_MAX, xmax = 0, ymin = UINT32_MAX, ymax = 0;
  for (const line& l : lines) {
    lo = std::min(lo, l.type);
    hi = std::max(hi, l.type);
    for (size_t i = 0; i < l.lon.size(); i++) {
      xmin = std::min(xmin, l.lon[i]);
      xmax = std::max(xmax, l.lon[i]);
      ymin = std::min(ymin, l.lat[i]);
      ymax = std::max(ymax, l.lat[i]);
    }
  }
  std::vector<unsigned char> out;
  out.push_back(2);
  out.push_back(static_cast<unsigned char>(lo));
  out.push_back(static_cast<unsigned char>(hi));
  *next_field = out.size();
  put(out, 0, 4);
  put(out, xmin, 3);
  put(out, xmax, 3);
  put(out, ymin, 3);
  put(out, ymax, 3);
  for (const line& l : lines) {
    size_t n = l.lon.size();
    // Pieces of at most 255 points sharing their joining point.
    for (size_t start = 0; start + 1 < n; start += 254) {
      size_t count = std::min<size_t>(255, n - start);
      out.push_back(1);
      out.push_back(static_cast<unsigned char>(l.type));
      out.push_back(static_cast<unsigned char>(count));
      for (size_t i = start; i < start + count; i++) {
        put(out, l.lon[i], 3);
        put(out, l.lat[i], 3);
      }
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: mapconv SHORE.nc BORDER.nc RIVER.nc OUTPUT\n");
    return 2;
  }
  std::vector<std::vector<line>> bins;
  if (!read_shore(argv[1], bins) || !read_lines(argv[2], border_type, bins) ||
      !read_lines(argv[3], river_type, bins))
    return 1;

  std::vector<std::vector<unsigned char>> blocks;
  std::vector<size_t> next_fields;
  for (const auto& lines : bins) {
    if (lines.empty()) continue;
    size_t nf;
    blocks.push_back(encode_block(lines, &nf));
    next_fields.push_back(nf);
  }
  uint64_t offset = 0;
  for (size_t i = 0; i < blocks.size(); i++) {
    offset += blocks[i].size();
    if (offset > 0x7fffffffu) return fail("map file too large"), 1;
    if (i + 1 < blocks.size()) {
      auto* p = &blocks[i][next_fields[i]];
      for (int k = 0; k < 4; k++) p[k] = static_cast<unsigned char>(offset >> (8 * (3 - k)));
    }
  }

  std::string tmp = std::string(argv[4]) + ".tmp";
  FILE* out = std::fopen(tmp.c_str(), "wb");
  if (!out) return fail("cannot write " + tmp), 1;
  bool ok = true;
  for (const auto& b : blocks) ok = ok && std::fwrite(b.data(), 1, b.size(), out) == b.size();
  ok = (std::fclose(out) == 0) && ok;
  if (!ok || std::rename(tmp.c_str(), argv[4]) != 0) {
    std::remove(tmp.c_str());
    return fail("cannot write " + std::string(argv[4])), 1;
  }
  return 0;
}

// GRIB edition 1 side of the LATS writer: one message per field, and for the
// descriptor convention a data descriptor and an index at close.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/numfmt.h"
#include "data/gribbuild.h"
#include "lats/latsgrib.h"
#include "lats/latsint.h"
#include "base/dirlock.h"
#include "base/safefile.h"
#include "lats/latsstage.h"

struct latsGribFile {
  std::FILE* grb = nullptr;
  std::FILE* ctl = nullptr;  // convention 3 only
  int year = 0;              // valid time of the first field written
  short month = 0, day = 0;
  double hour = 0;
  int first = 1;  // 1 until a field is written
  char mapname[256] = {};
  // The files as written beside their targets until the close.
  lats_staged grb_stage, ctl_stage;
  int write_errno = 0;       // the system's reason of the first failed write
  bool told_uneven = false;  // the generic grid of uneven latitudes was warned of
};

namespace {

constexpr int64_t max3 = 0xFFFFFF;  // largest value of three octets
constexpr int maxsm3 = 0x7FFFFF;    // largest magnitude of a signed three-octet value
constexpr int maxsm2 = 0x7FFF;

void set_int3(unsigned char* p, int64_t v) {
  p[0] = static_cast<unsigned char>((v >> 16) & 0xFF);
  p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
  p[2] = static_cast<unsigned char>(v & 0xFF);
}

void set_int2(unsigned char* p, int v) {
  p[0] = static_cast<unsigned char>((v >> 8) & 0xFF);
  p[1] = static_cast<unsigned char>(v & 0xFF);
}

// Sign-magnitude: the top bit of the first octet marks a negative value.
void set_sm3(unsigned char* p, int v) {
  set_int3(p, v < 0 ? -static_cast<int64_t>(v) : v);
  if (v < 0) p[0] |= 0x80;
}

void set_sm2(unsigned char* p, int v) {
  set_int2(p, v < 0 ? -v : v);
  if (v < 0) p[0] |= 0x80;
}

// Millidegrees rounded by magnitude, so that the sign does not shift the
// rounding.
int millideg(double v) {
  int m = static_cast<int>(std::fabs(v) * 1000.0 + 0.5);
  return v < 0 ? -m : m;
}

// Packs n values of nbits bits each, most significant bit first.
void list2bitstream(const uint32_t* values, unsigned char* out, int64_t n, int nbits) {
  if (nbits <= 0) return;
  uint64_t acc = 0;
  int have = 0;
  int64_t o = 0;
  for (int64_t i = 0; i < n; ++i) {
    acc = (acc << nbits) | (values[i] & ((uint64_t{1} << nbits) - 1));
    have += nbits;
    while (have >= 8) {
      have -= 8;
      out[o++] = static_cast<unsigned char>((acc >> have) & 0xFF);
    }
  }
  if (have > 0) out[o] = static_cast<unsigned char>((acc << (8 - have)) & 0xFF);
}

// Steps an IBM float one unit of its last place towards minus infinity.
void ibm_step_down(unsigned char* b) {
  uint32_t frac = (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
  int ex = b[0] & 0x7F;
  bool neg = (b[0] & 0x80) != 0;
  if (frac == 0) {  // zero: the smallest negative number
    b[0] = 0x80;
    b[1] = 0x10;
    b[2] = b[3] = 0;
    return;
  }
  if (neg) {
    ++frac;
    if (frac > 0xFFFFFF) {
      frac = 0x100000;
      ++ex;
    }
  } else {
    if (frac == 0x100000) {
      frac = 0xFFFFFF;
      --ex;
    } else {
      --frac;
    }
  }
  b[0] = static_cast<unsigned char>((neg ? 0x80 : 0) | (ex & 0x7F));
  b[1] = static_cast<unsigned char>(frac >> 16);
  b[2] = static_cast<unsigned char>(frac >> 8);
  b[3] = static_cast<unsigned char>(frac);
}

// Spacing of a coordinate vector and whether it is constant.
void spacing(const double* v, int n, float* d, bool* constant) {
  *constant = true;
  *d = n > 1 ? static_cast<float>(std::fabs(v[1] - v[0])) : 0.0f;
  for (int i = 2; i < n; ++i) {
    float s = static_cast<float>(std::fabs(v[i] - v[i - 1]));
    if (s <= 0.999f * *d || s >= 1.001f * *d) *constant = false;
  }
}

// The level type and the two level octets of a variable.
void level_codes(const latsVar* var, double level, int* type, int* octets) {
  if (var->vertdim) {
    *type = var->vertdim->type ? var->vertdim->type->gribid : 99;
    *octets = static_cast<int>(level + 0.5);
  } else if (var->parm->levelset && var->parm->verttype) {
    const latsVertType* vt = var->parm->verttype;
    *type = vt->gribid;
    *octets = vt->grib_p3 != 0 ? vt->grib_p3 : vt->grib_p1 * 256 + vt->grib_p2;
  } else {
    *type = 99;
    *octets = 0;
  }
}

// Grid description section; 999 after a message when the grid can't be coded.
int gds_set(const latsGrid* g, std::vector<unsigned char>& gds) {
  float dx, dy;
  bool xconst, yconst;
  spacing(g->lons, g->nlon, &dx, &xconst);
  spacing(g->lats, g->nlat, &dy, &yconst);
  if (g->lons[0] > g->lons[g->nlon - 1]) {
    latsError("GRIB (latsgrib) --> has longitude DECREASING with increasing index");
    return 999;
  }
  if (g->type == LATS_LINEAR && (!xconst || !yconst)) {
    latsError("GRIB (latsgrib) --> grid classified as LATS_LINEAR but dx and dy are NOT constant");
    return 999;
  }
  int n = g->type == LATS_GENERIC ? 24 + 3 * (g->nlon + g->nlat) : 32;
  gds.assign(static_cast<size_t>(n), 0);
  unsigned char* b = gds.data();
  set_int3(b, n);
  b[3] = 0;
  b[4] = 255;
  b[5] = static_cast<unsigned char>(g->type == LATS_LINEAR     ? 0
                                    : g->type == LATS_GAUSSIAN ? 4
                                                               : 220);
  set_int2(b + 6, g->nlon);
  set_int2(b + 8, g->nlat);
  set_sm3(b + 10, millideg(g->lats[0]));
  set_sm3(b + 13, millideg(g->lons[0]));
  b[16] = 128;
  set_sm3(b + 17, millideg(g->lats[g->nlat - 1]));
  set_sm3(b + 20, millideg(g->lons[g->nlon - 1]));
  if (g->type == LATS_GENERIC) {
    unsigned char* p = b + 23;
    for (int i = 0; i < g->nlon; ++i, p += 3) set_sm3(p, millideg(g->lons[i]));
    for (int j = 0; j < g->nlat; ++j, p += 3) set_sm3(p, millideg(g->lats[j]));
    *p = 0;
    return 0;
  }
  set_sm2(b + 23, xconst ? static_cast<int>(dx * 1000.0f + 0.5f) : -1);
  if (g->type == LATS_GAUSSIAN)
    set_int2(b + 25, g->nlat / 2);
  else
    set_sm2(b + 25, yconst ? static_cast<int>(dy * 1000.0f + 0.5f) : -1);
  // South-to-north rows are marked so (points scan +j).
  b[27] = static_cast<unsigned char>(g->lats[0] < g->lats[g->nlat - 1] ? 64 : 0);
  return 0;
}

// Uneven latitudes, such as a Gaussian grid's, fit no evenly spaced grid
// and are listed in a generic grid, which this reader reads again but other
// decoders do not; a Gaussian grid is written as one only when asked. Said
// once a file.
void warn_uneven_latitudes(latsFile* file, const latsGrid* g) {
  float dy;
  bool even;
  spacing(g->lats, g->nlat, &dy, &even);
  if (even || g->type == LATS_GAUSSIAN || file->grib->told_uneven) return;
  file->grib->told_uneven = true;
  latsWarning(
      "GRIB (latsgrib) --> Latitudes of grid %s are not evenly spaced: written as a generic grid "
      "(representation 220) that other decoders cannot read; a Gaussian grid needs \"set lats "
      "gridtype gaussian\", file %s",
      g->name, file->path);
}

struct packed_field {
  std::vector<unsigned char> bms;  // empty without missing points
  std::vector<unsigned char> bds;
  bool decimal;  // decimal scaling kept
};

// Bit map and binary data sections of n values.
int bds_set(const float* v, int64_t n, bool hasmiss, float missing, float tol, int scalefac,
            int precision, packed_field* out) {
  std::vector<char> present(static_cast<size_t>(n), 1);
  int64_t npres = 0;
  float vmin = 0.0f, vmax = 0.0f;
  for (int64_t i = 0; i < n; ++i) {
    if (hasmiss && std::fabs(v[i] - missing) <= tol) {
      present[static_cast<size_t>(i)] = 0;
      continue;
    }
    if (npres == 0 || v[i] < vmin) vmin = v[i];
    if (npres == 0 || v[i] > vmax) vmax = v[i];
    ++npres;
  }
  // The reference the reader will see (an IBM float) must not lie above the
  // smallest value, and the widths are chosen from it, so that every value
  // packs without wrapping.
  unsigned char ibm[4];
  if (!std::isfinite(vmin) || !std::isfinite(vmax)) return 3;
  auto reference = [&ibm](float r) {
    flt2ibm(r, ibm);
    float rp = ibm2flt(ibm);
    for (int step = 0; step < 4 && rp > r; ++step) {
      ibm_step_down(ibm);
      rp = ibm2flt(ibm);
    }
    return rp;
  };
  int nbits = 0, E = 0;
  double factor = 1.0;
  float Rp = 0.0f;
  out->decimal = false;
  if (scalefac != LATS_NO_SCALE) {
    factor = std::pow(10.0, scalefac);
    float lo = static_cast<float>(vmin * factor), hi = static_cast<float>(vmax * factor);
    Rp = reference(lo);
    double range = std::floor(vmax * factor - Rp + 0.5);
    while (nbits < 64 && range >= std::ldexp(1.0, nbits)) ++nbits;
    out->decimal = true;
    // Scaled values beyond the float range can only be packed unscaled.
    if (nbits > 24 || !std::isfinite(lo) || !std::isfinite(hi)) {
      nbits = 24;
      out->decimal = false;
    }
  }
  if (!out->decimal) {
    if (scalefac == LATS_NO_SCALE) nbits = precision;
    factor = 1.0;
    Rp = reference(vmin);
    double span = static_cast<double>(vmax) - Rp;
    float x = static_cast<float>(span / (std::ldexp(1.0, nbits + 1) - 3.0));
    if (vmax == vmin) x = 0.0f;
    if (x != 0.0f) {
      E = static_cast<int>(std::floor(std::log10(x) * 3.321928)) + 2;
    } else {
      E = 1;
      nbits = 0;
    }
    // One bit a value packs offsets of 0 and 1 unscaled when they fit.
    if (nbits == 1 && span <= 1.0) E = 0;
    // The single-precision logarithm can land a hair under a power of two,
    // a step too fine for the largest value at 21 to 24 bits: it would be
    // cut to the top code, steps away from what was written.
    while (nbits > 0 && std::floor(span * std::ldexp(1.0, -E) + 0.5) > std::ldexp(1.0, nbits) - 1.0)
      ++E;
  }
  if (nbits == 0) nbits = 1;

  const double scale = std::ldexp(1.0, -E);
  const double top = std::ldexp(1.0, nbits) - 1.0;
  std::vector<uint32_t> ints(static_cast<size_t>(npres));
  int64_t k = 0;
  for (int64_t i = 0; i < n; ++i) {
    if (!present[static_cast<size_t>(i)]) continue;
    double q = std::floor((factor * v[i] - Rp) * scale + 0.5);
    if (q < 0.0) q = 0.0;
    if (q > top) q = top;
    ints[static_cast<size_t>(k++)] = static_cast<uint32_t>(q);
  }
  int64_t len = (npres * nbits + 7) / 8 + 11;
  if (len % 2) ++len;
  if (len > max3) return 2;
  out->bds.assign(static_cast<size_t>(len), 0);
  unsigned char* b = out->bds.data();
  set_int3(b, len);
  b[3] = static_cast<unsigned char>(len * 8 - npres * nbits - 88);
  set_sm2(b + 4, E);
  std::memcpy(b + 6, ibm, 4);
  b[10] = static_cast<unsigned char>(nbits);
  list2bitstream(ints.data(), b + 11, npres, nbits);

  out->bms.clear();
  if (npres < n) {
    int64_t blen = (n + 7) / 8 + 6;
    if (blen % 2) ++blen;
    if (blen > max3) return 2;
    out->bms.assign(static_cast<size_t>(blen), 0);
    unsigned char* m = out->bms.data();
    set_int3(m, blen);
    m[3] = static_cast<unsigned char>(blen * 8 - n - 48);
    for (int64_t i = 0; i < n; ++i)
      if (present[static_cast<size_t>(i)])
        m[6 + i / 8] |= static_cast<unsigned char>(0x80 >> (i % 8));
  }
  return 0;
}

const char* base_name(const char* path) {
  const char* b = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/' || *p == '\\') b = p + 1;
  return b;
}

// Values printed ten a line, a line break after the last when needed.
void print_values(std::FILE* f, const std::vector<double>& v) {
  for (size_t i = 0; i < v.size(); ++i) {
    std::fprintf(f, "% 7.3f ", v[i]);
    if ((i + 1) % 10 == 0) std::fputc('\n', f);
  }
  if (v.size() % 10) std::fputc('\n', f);
}

void write_descriptor(const latsFile* file, const latsGribFile* gf, std::FILE* f) {
  const latsGrid* g = file->varlist->grid;
  std::fprintf(f, "dset ^%s\n", base_name(file->path));
  std::fprintf(f, "title %s\n", file->comment);
  std::fprintf(f, "undef %g\n", static_cast<double>(1e20f));
  std::fprintf(f, "dtype grib\n");
  char map[256];
  std::snprintf(map, sizeof map, "%s", base_name(file->path));
  size_t ml = std::strlen(map);
  if (ml >= 4 && std::strcmp(map + ml - 4, ".grb") == 0) std::strcpy(map + ml - 4, ".gmp");
  std::fprintf(f, "index ^%s\n", map);

  bool yrev = g->lats[0] > g->lats[g->nlat - 1];
  bool cal365 = !(file->calendar & 0x100);
  if (yrev || cal365)
    std::fprintf(f, "options %s %s %s %s\n", yrev ? "yrev" : " ", cal365 ? "365_day_calendar" : " ",
                 " ", " ");

  float dx, dy;
  bool xconst, yconst;
  spacing(g->lons, g->nlon, &dx, &xconst);
  spacing(g->lats, g->nlat, &dy, &yconst);
  bool xlin = g->nlon > 1;
  for (int i = 1; i < g->nlon; ++i)
    if (std::fabs(std::fabs(g->lons[i] - g->lons[i - 1]) - dx) > 0.001 * dx) xlin = false;
  if (g->nlon == 1) {
    std::fprintf(f, "xdef %d levels % 7.3f\n", 1, g->lons[0]);
  } else if (xlin) {
    std::fprintf(f, "xdef %d linear %f %f\n", g->nlon, g->lons[0], static_cast<double>(dx));
  } else {
    std::fprintf(f, "xdef %d levels\n", g->nlon);
    print_values(f, std::vector<double>(g->lons, g->lons + g->nlon));
  }
  bool ylin = g->nlat > 1;
  for (int j = 1; j < g->nlat; ++j)
    if (std::fabs(std::fabs(g->lats[j] - g->lats[j - 1]) - dy) > 0.001 * dy) ylin = false;
  std::vector<double> ys(g->lats, g->lats + g->nlat);
  if (yrev) std::reverse(ys.begin(), ys.end());
  if (g->nlat == 1) {
    std::fprintf(f, "ydef %d levels % 7.3f\n", 1, g->lats[0]);
  } else if (ylin) {
    std::fprintf(f, "ydef %d linear %f %f\n", g->nlat, ys[0], static_cast<double>(dy));
  } else {
    std::fprintf(f, "ydef %d levels\n", g->nlat);
    print_values(f, ys);
  }

  const latsVertDim* zd = nullptr;
  for (int i = 0; i < file->nvertdim; ++i)
    if (!zd || file->vertlist[i].nlev > zd->nlev) zd = &file->vertlist[i];
  if (!zd) {
    std::fprintf(f, "zdef 1 levels 1013\n");
  } else if (zd->nlev == 1) {
    std::fprintf(f, "zdef %d levels %d\n", 1, static_cast<int>(std::lround(zd->levs[0])));
  } else {
    std::fprintf(f, "zdef %d levels\n", zd->nlev);
    bool inc = zd->levs[1] > zd->levs[0];
    for (int i = 0; i < zd->nlev; ++i) {
      int k = inc ? zd->nlev - 1 - i : i;
      std::fprintf(f, "%d ", static_cast<int>(std::lround(zd->levs[k])));
      if ((i + 1) % 10 == 0) std::fputc('\n', f);
    }
    if (zd->nlev % 10) std::fputc('\n', f);
  }

  if (file->frequency == LATS_FIXED) {
    std::fprintf(f, "tdef 1 linear 00Z1jan0001 1dy\n");
  } else {
    static const char* const mon[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
    int year = lats_climatological(file->calendar) ? 2 : gf->year;
    int m = gf->month >= 1 && gf->month <= 12 ? gf->month : 1;
    std::fprintf(f, "tdef %d linear %dZ%d%s%04d ", file->ntimes_at_close,
                 static_cast<int>(gf->hour), gf->day, mon[m - 1], year);
    const char* unit;
    switch (file->frequency) {
      case LATS_DAILY: unit = "dy"; break;
      case LATS_MONTHLY: unit = "mo"; break;
      case LATS_YEARLY: unit = "yr"; break;
      default: unit = "hr"; break;
    }
    std::fprintf(f, " %d%s\n", file->delta, unit);
  }

  std::vector<const latsVar*> vars;
  for (const latsVar* v = file->varlist; v; v = v->next) vars.push_back(v);
  std::fprintf(f, "vars %d\n", static_cast<int>(vars.size()));
  for (auto it = vars.rbegin(); it != vars.rend(); ++it) {
    const latsVar* v = *it;
    const latsParm* p = v->parm;
    int id = 99, a = 0, b = 0;
    if (v->vertdim && v->vertdim->type) {
      id = v->vertdim->type->gribid;
      a = v->vertdim->type->grib_p1;
      b = v->vertdim->type->grib_p2;
    } else if (p->levelset && p->verttype) {
      id = p->verttype->gribid;
      if (p->verttype->grib_p3 != 0) {
        a = p->verttype->grib_p3;
      } else {
        a = p->verttype->grib_p1;
        b = p->verttype->grib_p2;
      }
    }
    if (v->vertdim) {
      // Found through the z axis, whatever the row's default level type.
      std::fprintf(f, "%-8s %2d  %3d,%3d %s [%s]\n", v->name, v->nlev, p->id, id, p->title,
                   p->units);
    } else if (p->levelset && p->verttype && p->verttype->grib_p3 != 0) {
      std::fprintf(f, "%-8s %2d  %3d,%3d,%3d %s [%s]\n", v->name, 0, p->id, id, a, p->title,
                   p->units);
    } else if (p->levelset && p->verttype) {
      std::fprintf(f, "%-8s %2d  %3d,%3d,%3d,%3d %s [%s]\n", v->name, 0, p->id, id, a, b, p->title,
                   p->units);
    } else {
      // Without levels the level octets (0) are part of the key, or the
      // index builder would match none of the variable's messages.
      std::fprintf(f, "%-8s %2d  %3d,%3d,%3d %s [%s]\n", v->name, 0, p->id, id, 0, p->title,
                   p->units);
    }
  }
  std::fprintf(f, "endvars\n");
}

// The name of the index beside a descriptor.
std::string index_name_of(const char* descriptor) {
  std::string name = descriptor;
  name.replace(name.size() - 4, 4, ".gmp");
  return name;
}

}  // namespace

int latsTimeStatLookup(int frequency, int delta, int stat, latsTimeStat* out) {
  latsTimeStat t{};
  t.frequency = frequency;
  t.delta = delta;
  t.stat = stat;
  switch (frequency) {
    case LATS_HOURLY:
    case LATS_FIXED:
    case LATS_FORECAST_HOURLY: t.time_unit = 1; break;
    case LATS_DAILY:
    case LATS_WEEKLY: t.time_unit = 2; break;
    case LATS_MONTHLY: t.time_unit = 3; break;
    case LATS_YEARLY: t.time_unit = 4; break;
    default: latsError("GRIB (latsgrib) --> Invalid frequency: %d", frequency); return 0;
  }
  switch (stat) {
    case LATS_INSTANT: t.time_range = 0; break;
    case LATS_AVERAGE:
      t.p2 = delta;
      t.time_range = 3;
      break;
    case LATS_ACCUM:
      t.p2 = delta;
      t.time_range = 4;
      break;
    default:
      // A fixed field has no statistic of its own.
      if (frequency == LATS_FIXED) {
        t.time_range = 0;
        break;
      }
      latsError("GRIB (latsgrib) --> Invalid time statistic: %d", stat);
      return 0;
  }
  if (frequency == LATS_WEEKLY) t.p2 *= 7;
  if (frequency == LATS_FORECAST_HOURLY) t.time_range = 10;
  *out = t;
  return 1;
}

int lats_create_grib(latsFile* file) {
  if (file->gribcenter < 0 || file->gribcenter > 255 || file->gribpid < 0 || file->gribpid > 255 ||
      file->gribsubcenter < 0 || file->gribsubcenter > 255) {
    latsError("GRIB (latsgrib) --> Centre %s has codes that do not fit in one octet, file %s",
              file->center, file->path);
    return 0;
  }
  auto* gf = new (std::nothrow) latsGribFile;
  if (!gf) {
    latsError("GRIB (latsgrib) --> Allocating memory for GRIB file name %s", file->path);
    return 0;
  }
  std::unique_ptr<latsGribFile> owner(gf);
  // The descriptor convention reads its data back to index them: its three
  // names must be files. GRIB alone may go to a character device, or to a
  // pipe once a reader is there.
  const bool described = file->convention == LATS_VEMRA_GRIB;
  auto refused = [&](const char* name) {
    latsWarning("GRIB (latsgrib) --> %s is not a regular file", name);
    return false;
  };
  auto opened = [&](lats_staged& stage, const char* name, std::FILE*& stream, bool any_kind) {
    if (!stage.open(name)) {
      latsWarning("GRIB (latsgrib) --> %s: %s", name, std::strerror(errno));
      return false;
    }
    if (stage.kind() == lats_target_kind::other ||
        (!any_kind && stage.kind() != lats_target_kind::file))
      return refused(name);
    // A pipe waits for its reader, and its writes for room, until an interrupt.
    stream = stage.in_place() ? fopen_stream_target(stage.path())
                              : fdopen_owning(::fcntl(stage.fd(), F_DUPFD_CLOEXEC, 0), "wb");
    if (!stream) latsWarning("GRIB (latsgrib) --> %s: %s", name, std::strerror(errno));
    return stream != nullptr;
  };
  if (!opened(gf->grb_stage, file->path, gf->grb, !described)) {
    latsError("GRIB (latsgrib) --> lats_create create .grb failed for %s\n", file->path);
    return 0;
  }
  std::snprintf(gf->mapname, sizeof gf->mapname, "%s", file->path);
  if (described) {
    size_t n = std::strlen(gf->mapname);
    if (n >= 4) std::strcpy(gf->mapname + n - 4, ".ctl");
    const std::string index = index_name_of(gf->mapname);
    const auto old_index = lats_kind_of(index);
    bool index_ok = !old_index || *old_index == lats_target_kind::file || refused(index.c_str());
    // The index is staged only at the close: an old one the user may not
    // write is refused now, as the data and descriptor are.
    if (old_index && index_ok && ::faccessat(AT_FDCWD, index.c_str(), W_OK, AT_EACCESS) != 0) {
      latsWarning("GRIB (latsgrib) --> %s: %s", index.c_str(), std::strerror(errno));
      index_ok = false;
    }
    if (!index_ok) {
      latsError("GRIB (latsgrib) --> lats_create create .gmp failed for %s\n", index.c_str());
      std::fclose(gf->grb);
      return 0;
    }
    if (!opened(gf->ctl_stage, gf->mapname, gf->ctl, false)) {
      latsError("GRIB (latsgrib) --> lats_create create .ctl failed for %s\n", gf->mapname);
      std::fclose(gf->grb);
      if (gf->ctl) std::fclose(gf->ctl);
      return 0;
    }
  }
  if (!file->comment[0]) std::snprintf(file->comment, sizeof file->comment, "%s", file->center);
  file->grib = owner.release();
  return file->id;
}

int lats_grid_grib(latsFile* file, latsGrid* grid) {
  if (file->convention == LATS_VEMRA_GRIB && file->ngrid > 1) {
    latsError(
        "GRIB (latsgrib) --> Only one grid per file supported in the Vemra/GRIB convention; file: "
        "%s, grid: %s",
        file->path, grid->name);
    return 0;
  }
  // Every number of the grid description must fit its octets.
  float dx, dy;
  bool xc, yc;
  spacing(grid->lons, grid->nlon, &dx, &xc);
  spacing(grid->lats, grid->nlat, &dy, &yc);
  bool fits = grid->nlon <= 0xFFFF && grid->nlat <= 0xFFFF &&
              static_cast<int>(dx * 1000.0f + 0.5f) <= maxsm2 &&
              static_cast<int>(dy * 1000.0f + 0.5f) <= maxsm2;
  for (int i = 0; fits && i < grid->nlon; ++i)
    if (std::fabs(grid->lons[i]) * 1000.0 + 0.5 > maxsm3) fits = false;
  if (!fits) {
    latsError(
        "GRIB (latsgrib) --> Grid %s can't be coded in GRIB: at most 65535 points a row or column, "
        "increments below 32.768 degrees and longitudes within 8388 degrees, file %s",
        grid->name, file->path);
    return 0;
  }
  return 1;
}

int lats_vert_dim_grib(latsFile* file, latsVertDim* vertdim) {
  if (file->writestate != LATS_DEFINING) {
    latsError("GRIB (latsgrib) --> lats_vert_dim calls must precede any lats_write call");
    return 0;
  }
  // Levels go into two octets as whole numbers: anything else would collide
  // or wrap.
  for (int i = 0; i < vertdim->nlev; ++i) {
    double l = vertdim->levs[i];
    if (l < 0.0 || l > 65535.0 || std::fabs(l - std::round(l)) > 1e-6) {
      latsError(
          "GRIB (latsgrib) --> Level %g of vertical dimension %s can't be coded in GRIB: levels "
          "must be whole numbers from 0 to 65535, file %s",
          l, vertdim->name, file->path);
      return 0;
    }
  }
  if (vertdim->type && (vertdim->type->gribid < 0 || vertdim->type->gribid > 255)) {
    latsError("GRIB (latsgrib) --> Level type %s has GRIB id %d, not 0 to 255, file %s",
              vertdim->type->name, vertdim->type->gribid, file->path);
    return 0;
  }
  return file->nvertdim;
}

int lats_var_grib(latsFile* file, latsVar* var, latsGrid*, latsVertDim* vertdim) {
  const latsTimeStat* ts = var->timestat;
  if (ts && (ts->p2 < 0 || ts->p2 > 255)) {
    latsError(
        "GRIB (latsgrib) --> Time range of %d units does not fit in one octet (P2), variable %s, "
        "file %s",
        ts->p2, var->name, file->path);
    return 0;
  }
  if (!vertdim && var->parm->levelset && var->parm->verttype) {
    const latsVertType* vt = var->parm->verttype;
    bool ok = vt->gribid >= 0 && vt->gribid <= 255 &&
              (vt->grib_p3 != 0 ? vt->grib_p3 > 0 && vt->grib_p3 <= 0xFFFF
                                : vt->grib_p1 >= 0 && vt->grib_p1 <= 255 && vt->grib_p2 >= 0 &&
                                      vt->grib_p2 <= 255);
    if (!ok) {
      latsError(
          "GRIB (latsgrib) --> Level type %s of variable %s has codes that do not fit their "
          "octets, file %s",
          vt->name, var->name, file->path);
      return 0;
    }
  }
  if (var->scalefac != LATS_NO_SCALE && (var->scalefac < -30 || var->scalefac > 30)) {
    latsError("GRIB (latsgrib) --> Decimal scale %d of variable %s is out of range, file %s",
              var->scalefac, var->name, file->path);
    return 0;
  }
  return var->id;
}

int lats_write_grib(latsFile* file, latsVar* var, int levindex, int /*timeindex*/, int year,
                    int month, int day, int hour, void* data) {
  latsGribFile* gf = file->grib;
  // After a failed write the file is incomplete whatever follows.
  if (gf->write_errno) {
    latsError("GRIB (latsgrib) --> %s is not written after the failure before (%s)", file->path,
              std::strerror(gf->write_errno));
    return 0;
  }
  const latsGrid* g = var->grid;
  const int64_t n = static_cast<int64_t>(g->nlon) * g->nlat;
  float* values = static_cast<float*>(data);
  bool isint = var->parm->datatype == LATS_INT;
  std::vector<float> converted;
  if (isint) {
    const int* iv = static_cast<const int*>(data);
    converted.resize(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) converted[static_cast<size_t>(i)] = static_cast<float>(iv[i]);
    values = converted.data();
  }
  float missing = isint ? static_cast<float>(var->missing.i) : var->missing.f;
  float tol = isint ? 0.0f : var->missdelta;

  const latsTimeStat* ts = var->timestat;
  bool forecast = ts && ts->time_range == 10;
  int fhour = 0;
  double level = levindex >= 0 && var->levs ? var->levs[levindex] : 0.0;
  if (forecast) {
    fhour = hour;
    if (fhour > 0xFFFF) {
      latsError(
          "GRIB (latsgrib) --> Forecast hour %d does not fit in two octets, file %s, variable %s",
          fhour, file->path, var->name);
      return 0;
    }
    year = file->baseyear;
    month = file->basemonth;
    day = file->baseday;
    hour = static_cast<int>(file->basehour);
  }
  int century, yoc;
  if (lats_climatological(file->calendar) && file->frequency != LATS_FIXED) {
    century = 1;
    yoc = 2;
  } else {
    century = static_cast<int>(static_cast<float>(year * 0.01) + 0.001f) + 1;
    yoc = static_cast<int>(year - (century - 1) * 100 + 0.1);
    if (yoc == 0) {
      yoc = 100;
      --century;
    }
  }
  if (century < 1 || century > 255 || yoc < 1 || yoc > 100) {
    latsError("GRIB (latsgrib) --> Year %d can't be coded in GRIB, file %s, variable %s", year,
              file->path, var->name);
    return 0;
  }

  int ltype, loct;
  level_codes(var, level, &ltype, &loct);

  int scalefac = var->scalefac;
  int precision = var->precision;
  if (scalefac == LATS_NO_SCALE && precision == LATS_NO_SCALE) precision = 16;

  std::vector<unsigned char> gds;
  int rc = gds_set(g, gds);
  if (rc) {
    latsError("GRIB (latsgrib) --> gds_set failed rc = %d\n", rc);
    return 0;
  }
  warn_uneven_latitudes(file, g);
  packed_field pf;
  rc = bds_set(values, n, var->hasmissing != 0, missing, tol, scalefac, precision, &pf);
  if (rc) {
    latsError("GRIB (latsgrib) --> bds_set failed rc = %d\n", rc);
    return 0;
  }

  unsigned char pds[28] = {};
  set_int3(pds, 28);
  pds[3] = 128;
  pds[4] = static_cast<unsigned char>(file->gribcenter);
  pds[5] = static_cast<unsigned char>(file->gribpid);
  pds[6] = 255;
  pds[7] = static_cast<unsigned char>(128 | (pf.bms.empty() ? 0 : 64));
  pds[8] = static_cast<unsigned char>(var->parm->id);
  pds[9] = static_cast<unsigned char>(ltype);
  set_int2(pds + 10, loct);
  pds[12] = static_cast<unsigned char>(yoc);
  pds[13] = static_cast<unsigned char>(month);
  pds[14] = static_cast<unsigned char>(day);
  pds[15] = static_cast<unsigned char>(hour);
  pds[16] = 0;
  pds[17] = static_cast<unsigned char>(ts ? ts->time_unit : 1);
  if (forecast) {
    set_int2(pds + 18, fhour);
  } else {
    pds[18] = static_cast<unsigned char>(ts ? ts->p1 : 0);
    pds[19] = static_cast<unsigned char>(ts ? ts->p2 : 0);
  }
  pds[20] = static_cast<unsigned char>(ts ? ts->time_range : 0);
  pds[24] = static_cast<unsigned char>(century);
  pds[25] = static_cast<unsigned char>(file->gribsubcenter);
  set_sm2(pds + 26, pf.decimal ? scalefac : 0);

  int64_t total = 8 + 28 + static_cast<int64_t>(gds.size()) + static_cast<int64_t>(pf.bms.size()) +
                  static_cast<int64_t>(pf.bds.size()) + 4;
  if (total > max3) {
    latsError(
        "GRIB (latsgrib) --> Message of %lld octets is too long for GRIB edition 1, file %s, "
        "variable %s",
        static_cast<long long>(total), file->path, var->name);
    return 0;
  }
  unsigned char is[8] = {'G', 'R', 'I', 'B', 0, 0, 0, 1};
  set_int3(is + 4, total);
  std::FILE* f = gf->grb;
  bool ok = std::fwrite(is, 1, 8, f) == 8 && std::fwrite(pds, 1, 28, f) == 28 &&
            std::fwrite(gds.data(), 1, gds.size(), f) == gds.size() &&
            (pf.bms.empty() || std::fwrite(pf.bms.data(), 1, pf.bms.size(), f) == pf.bms.size()) &&
            std::fwrite(pf.bds.data(), 1, pf.bds.size(), f) == pf.bds.size() &&
            std::fwrite("7777", 1, 4, f) == 4;
  if (!ok) {
    if (!gf->write_errno) gf->write_errno = errno ? errno : EIO;
    latsError("GRIB (latsgrib) --> Writing a message to %s failed: %s", file->path,
              std::strerror(gf->write_errno));
    return 0;
  }
  if (gf->first) {
    gf->first = 0;
    if (forecast) {
      // The first valid time: the basetime plus the forecast hour.
      latsHumanTime h{file->baseyear, file->basemonth, file->baseday, 0.0,
                      file->baseyear, LATS_STANDARD};
      double hours;
      latsh2e(&h, &hours);
      latsHumanTime v;
      latse2h(hours + file->basehour + fhour, LATS_STANDARD, file->baseyear, &v);
      gf->year = static_cast<int>(v.year);
      gf->month = v.month;
      gf->day = v.day;
      gf->hour = v.hour;
    } else {
      gf->year = year;
      gf->month = static_cast<short>(month);
      gf->day = static_cast<short>(day);
      gf->hour = hour;
    }
  }
  return 1;
}

namespace {

// Closes a stream and says whether everything written to it arrived.
bool close_stream(std::FILE*& f, int* why) {
  if (!f) return true;
  errno = 0;
  bool ok = std::fflush(f) == 0 && !std::ferror(f);
  if (!ok && !*why) *why = errno ? errno : EIO;
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    if (!*why) *why = errno ? errno : EIO;
  }
  f = nullptr;
  return ok;
}

// True when a file of the set (data, descriptor or index) is under its name
// now; asked under the directory lock.
bool old_set_exists(const latsFile* file, const latsGribFile* gf) {
  if (gf->grb_stage.target_exists()) return true;
  if (file->convention != LATS_VEMRA_GRIB) return false;
  return gf->ctl_stage.target_exists() || lats_kind_of(index_name_of(gf->mapname)).has_value();
}

// The first Ctrl-C while another process holds a lock the renames wait for
// gives the output up: its stages go, the old files stay. 0 after the
// message.
int given_up(const latsFile* file, const latsGribFile* gf) {
  latsError(
      "GRIB (latsgrib) --> Writing %s failed: interrupted while waiting for another "
      "process; %s",
      file->path, old_set_exists(file, gf) ? "the old files are kept" : "no file was made");
  return 0;
}

// Descriptor, index and the renames of a file of the descriptor convention
// whose data were written. 1, or 0 after a message. The three files replace
// the old ones together or not at all: a reader must never find one
// version's index beside another's data.
int finish_described(latsFile* file, latsGribFile* gf) {
  int why = 0;
  write_descriptor(file, gf, gf->ctl);
  if (!close_stream(gf->ctl, &why)) {
    directory_lock lock(file->path, directory_lock::mode::exclusive);
    latsError("GRIB (latsgrib) --> Writing %s failed: %s; %s", gf->mapname, std::strerror(why),
              old_set_exists(file, gf) ? "the old files are kept" : "no file was made");
    return 0;
  }
  const std::string index_name = index_name_of(gf->mapname);
  lats_staged index_stage;
  bool indexed = false;
  if (index_stage.open(index_name) && !index_stage.in_place()) {
    // The stages are read and written through the files held, whatever
    // their names hold meanwhile.
    latsgribmap_staged(gf->ctl_stage.held_path().c_str(),
                       file->frequency == LATS_FORECAST_HOURLY ? 0 : 1,
                       gf->grb_stage.held_path().c_str(), index_stage.path().c_str(),
                       index_stage.fd(), gf->ctl_stage.path().c_str());
    struct stat st;
    indexed = ::fstat(index_stage.fd(), &st) == 0 && st.st_size > 0;
  }
  // Another session's renames of the same names wait, so that data, index
  // and descriptor under the names always belong together; so do the
  // readers of the set, through its descriptor.
  directory_lock lock(file->path, directory_lock::mode::exclusive);
  if (lock.interrupted()) return given_up(file, gf);
  file_under_name_lock readers(gf->mapname);
  if (readers.interrupted()) return given_up(file, gf);
  if (!indexed) {
    if (old_set_exists(file, gf)) {
      latsError("GRIB (latsgrib) --> The index %s could not be made; the old files are kept",
                index_name.c_str());
      return 0;
    }
    // Nothing old to keep: the data written are not thrown away.
    std::vector<std::string> not_back;
    if (lats_place_together({&gf->grb_stage, &gf->ctl_stage}, not_back) < 0) {
      latsError(
          "GRIB (latsgrib) --> The index %s could not be made; %s and %s are left without one",
          index_name.c_str(), file->path, gf->mapname);
    } else {
      latsError("GRIB (latsgrib) --> The index %s could not be made; %s", index_name.c_str(),
                lats_left_after(not_back, "no file was made").c_str());
    }
    return 0;
  }
  // Data first and descriptor last: the index refuses any data file but its
  // own, so a reader between two renames is told, never misled. A part that
  // cannot be placed (another user's file in a sticky directory) puts the
  // parts placed before it back.
  const bool had_old = old_set_exists(file, gf);
  std::vector<std::string> not_back;
  const int failed = lats_place_together({&gf->grb_stage, &index_stage, &gf->ctl_stage}, not_back);
  if (failed >= 0) {
    why = errno;
    const std::string names[] = {file->path, index_name, gf->mapname};
    const lats_staged* stages[] = {&gf->grb_stage, &index_stage, &gf->ctl_stage};
    latsError(
        "GRIB (latsgrib) --> Replacing %s failed: %s; %s", names[failed].c_str(),
        stages[failed]->failure(why).c_str(),
        lats_left_after(not_back, had_old ? "the old files are kept" : "no file was made").c_str());
    return 0;
  }
  return 1;
}

}  // namespace

int lats_close_grib(latsFile* file) {
  latsGribFile* gf = file->grib;
  if (!gf) return 0;
  file->grib = nullptr;
  std::unique_ptr<latsGribFile> owner(gf);
  int why = gf->write_errno;
  bool ok = close_stream(gf->grb, &why) && !gf->write_errno;
  if (!ok) {
    close_stream(gf->ctl, &why);
    directory_lock lock(file->path, directory_lock::mode::exclusive);
    latsError("GRIB (latsgrib) --> Writing %s failed: %s; %s", file->path, std::strerror(why),
              old_set_exists(file, gf) ? "the old files are kept" : "no file was made");
    return 0;
  }
  if (gf->first || !file->varlist) {
    // An output without a field replaces nothing and leaves nothing. Whether
    // an old file is there is seen now: another session may have written
    // one since the create.
    close_stream(gf->ctl, &why);
    gf->ctl_stage.discard();
    gf->grb_stage.discard();
    directory_lock lock(file->path, directory_lock::mode::exclusive);
    latsWarning("GRIB (latsgrib) --> No field was written to %s; %s", file->path,
                !old_set_exists(file, gf)             ? "no file was made"
                : file->convention == LATS_VEMRA_GRIB ? "the old files are kept"
                                                      : "the old file is kept");
    return 1;
  }
  if (file->convention == LATS_VEMRA_GRIB) return finish_described(file, gf);
  directory_lock lock(file->path, directory_lock::mode::exclusive);
  if (lock.interrupted()) return given_up(file, gf);
  std::vector<std::string> not_back;
  if (!gf->grb_stage.commit(not_back)) {
    const std::string failed = gf->grb_stage.failure(errno);
    latsError("GRIB (latsgrib) --> Replacing %s failed: %s; %s", file->path, failed.c_str(),
              lats_left_after(not_back, "the old file is kept", false).c_str());
    return 0;
  }
  return 1;
}

// Parameter, level-type, centre and quality-control tables of the LATS
// writer: loaded once per process from a table file or the built-in rows.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/inputfile.h"
#include "lats/latsint.h"

namespace {

constexpr int MAX_PARMS = 512;
constexpr int MAX_VERTS = 64;
constexpr int MAX_CENTERS = 256;
constexpr int QC_STEP = 512;

// A table being loaded. A load fills a fresh set and installs it only when
// the whole file was read, so a failed load leaves the tables as they were.
struct lats_tables {
  std::vector<latsParm> parms;
  std::vector<latsVertType> verts;
  std::vector<latsCenter> centers;
  std::vector<latsQC> qcs;
};

// The installed tables. Rows stay where they are for the life of the
// process, so a later load copies over them. Declared variables keep copies
// of their parameter and QC rows, so a load replaces the QC rows outright.
struct installed_tables {
  latsParm parms[MAX_PARMS];
  int nparms = 0;
  latsVertType verts[MAX_VERTS];
  int nverts = 0;
  latsCenter centers[MAX_CENTERS];
  int ncenters = 0;
  std::vector<latsQC> qcs;
  bool latsParmTableCreated = false;  // a load (file or built-in) was installed
  bool verts_listed = false;          // the level types were listed once
};

installed_tables& installed() {
  static installed_tables t;
  return t;
}

enum class section { variable, vert, center, qc };

struct section_word {
  const char* word;
  section sec;
};
const section_word section_words[] = {{"variable", section::variable},
                                      {"vert", section::vert},
                                      {"center", section::center},
                                      {"qc", section::qc}};

// Field splitting at '|': a run of separators counts as one.
std::vector<std::string> split_fields(const char* line) {
  std::vector<std::string> out;
  const char* p = line;
  while (*p) {
    while (*p == '|') ++p;
    if (!*p) break;
    const char* b = p;
    while (*p && *p != '|') ++p;
    std::string f(b, static_cast<size_t>(p - b));
    char buf[512];
    latsCpyTrim(buf, f.c_str(), sizeof buf);
    out.emplace_back(buf);
  }
  return out;
}

// A whole decimal integer; empty gives empty_value.
bool parse_int(const std::string& s, int empty_value, int* out) {
  if (s.empty()) {
    *out = empty_value;
    return true;
  }
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (end == s.c_str() || *end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX)
    return false;
  *out = static_cast<int>(v);
  return true;
}

bool parse_float(const std::string& s, double* out) {
  if (s.empty()) {
    *out = 0.0;
    return true;
  }
  char* end = nullptr;
  double v = std::strtod(s.c_str(), &end);
  if (end == s.c_str() || *end != '\0') return false;
  *out = v;
  return true;
}

std::string lower(const std::string& s) {
  char buf[512];
  latsCpyLower(buf, s.c_str(), sizeof buf);
  return buf;
}

// Each row reader prints its own message and returns false on a bad field.
bool read_parm(const std::vector<std::string>& f, latsParm* p) {
  *p = latsParm{};
  latsCpyTrim(p->name, f[0].c_str(), sizeof p->name);
  latsCpyTrim(p->title, f[2].c_str(), sizeof p->title);
  latsCpyTrim(p->units, f[3].c_str(), sizeof p->units);
  std::string dt = lower(f[4]);
  if (dt == "float") {
    p->datatype = LATS_FLOAT;
  } else if (dt == "int") {
    p->datatype = LATS_INT;
  } else {
    latsError("LATS (latsint) --> Datatype: %s, must be 'float' or 'int'", f[4].c_str());
    return false;
  }
  latsCpyTrim(p->levelname, f[5].c_str(), sizeof p->levelname);
  p->levelset = p->levelname[0] != '\0';
  // Packing uses at most 24 bits a value (the reference has 24 bits of
  // mantissa); a precision beyond that, or not positive, is refused here
  // rather than found when a field is packed.
  if (!parse_int(f[7], 0, &p->precision) ||
      (p->precision != LATS_NO_SCALE && (p->precision < 1 || p->precision > 24) && !f[7].empty())) {
    latsError("LATS (latsint) --> Invalid precision: %s", f[7].c_str());
    return false;
  }
  if (f[7].empty()) p->precision = LATS_NO_SCALE;
  if (!parse_int(f[1], 0, &p->id)) {
    latsError("LATS (latsint) --> Invalid GRIB parameter #: %s", f[1].c_str());
    return false;
  }
  if (!parse_int(f[6], 0, &p->scalefac)) {
    latsError("LATS (latsint) --> Invalid GRIB scale factor: %s", f[6].c_str());
    return false;
  }
  return true;
}

bool read_vert(const std::vector<std::string>& f, latsVertType* v) {
  *v = latsVertType{};
  latsCpyTrim(v->name, f[0].c_str(), sizeof v->name);
  latsCpyTrim(v->descrip, f[1].c_str(), sizeof v->descrip);
  latsCpyTrim(v->units, f[2].c_str(), sizeof v->units);
  std::string kind = lower(f[3]);
  if (kind == "single") {
    v->verttype = LATS_SINGLE_LEVEL;
  } else if (kind == "multi") {
    v->verttype = LATS_MULTI_LEVEL;
  } else {
    latsError("LATS (latsint) --> Level type: %s, must be 'single' or 'multi'", f[3].c_str());
    return false;
  }
  std::string pos = lower(f[4]);
  if (pos == "up") {
    v->positive = LATS_UP;
  } else if (pos == "down") {
    v->positive = LATS_DOWN;
  } else {
    latsError("LATS (latsint) --> Positive: %s, must be 'up' or 'down'", f[4].c_str());
    return false;
  }
  struct int_field {
    int index;
    int* slot;
    const char* msg;
  };
  const int_field ints[] = {{5, &v->gribid, "LATS (latsint) --> Invalid grib id: %s"},
                            {6, &v->grib_p1, "LATS (latsint) --> Invalid grib P1: %s"},
                            {7, &v->grib_p2, "LATS (latsint) --> Invalid grib P2: %s"},
                            {8, &v->grib_p3, "LATS (latsint) --> Invalid grib P3: %s"}};
  for (const auto& i : ints) {
    if (!parse_int(f[static_cast<size_t>(i.index)], -1, i.slot)) {
      latsError(i.msg, f[static_cast<size_t>(i.index)].c_str());
      return false;
    }
  }
  return true;
}

bool read_center(const std::vector<std::string>& f, latsCenter* c) {
  *c = latsCenter{};
  latsCpyTrim(c->name, f[0].c_str(), sizeof c->name);
  if (!parse_int(f[1], -1, &c->gribid)) {
    latsError("LATS (latsint) --> Invalid grib process id: %s", f[1].c_str());
    return false;
  }
  if (!parse_int(f[2], -1, &c->grib_center)) {
    latsError("LATS (latsint) --> Invalid grib center: %s", f[2].c_str());
    return false;
  }
  if (!parse_int(f[3], -1, &c->grib_subcenter)) {
    latsError("LATS (latsint) --> Invalid grib subcenter: %s", f[3].c_str());
    return false;
  }
  return true;
}

bool read_qc(const std::vector<std::string>& f, latsQC* q) {
  *q = latsQC{};
  latsCpyTrim(q->var, f[0].c_str(), sizeof q->var);
  latsCpyTrim(q->level, f[1].c_str(), sizeof q->level);
  double v[6];
  // Field index and message, in the order they are checked.
  struct qc_field {
    int index;
    const char* msg;
  };
  const qc_field fields[] = {{2, "LATS (latsint) --> Invalid QC value: %s"},
                             {3, "LATS (latsint) --> Invalid mean value: %s"},
                             {4, "LATS (latsint) --> Invalid standard deviation: %s"},
                             {5, "LATS (latsint) --> Invalid tolerance: %s"},
                             {7, "LATS (latsint) --> Invalid range tolerance value: %s"},
                             {6, "LATS (latsint) --> Invalid range value: %s"}};
  for (const auto& qf : fields) {
    const std::string& s = f[static_cast<size_t>(qf.index)];
    if (!parse_float(s, &v[qf.index - 2])) {
      latsError(qf.msg, s.c_str());
      return false;
    }
  }
  q->value = v[0];
  q->mean = static_cast<float>(v[1]);
  q->std = static_cast<float>(v[2]);
  q->tolerance = static_cast<float>(v[3]);
  q->range = static_cast<float>(v[4]);
  q->rangetol = static_cast<float>(v[5]);
  return true;
}

int qc_compare(const char* var, const char* level, double value, const latsQC& row,
               double tolerance) {
  int c = std::strcmp(var, row.var);
  if (c) return c;
  c = std::strcmp(level, row.level);
  if (c) return c;
  if (std::abs(value - row.value) <= tolerance) return 0;
  return value < row.value ? -1 : 1;
}

bool qc_less(const latsQC& a, const latsQC& b) {
  int c = std::strcmp(a.var, b.var);
  if (c) return c < 0;
  c = std::strcmp(a.level, b.level);
  if (c) return c < 0;
  return a.value < b.value;
}

// Joins the installed parameters to their level types.
void join(const char* path) {
  installed_tables& in = installed();
  for (int i = 0; i < in.nparms; ++i) {
    latsParm& p = in.parms[i];
    p.verttype = nullptr;
    if (!p.levelset) continue;
    latsVertType* vt = latsVertTypeLookup(p.levelname);
    if (!vt) {
      latsWarning("Level type %s: not found for parameter %s, file %s", p.levelname, p.name, path);
      p.levelset = 0;
      p.levelname[0] = '\0';
    } else if (vt->verttype == LATS_MULTI_LEVEL) {
      latsWarning(
          "Parameter %s: if specified, level type must be a surface (currently %s), file %s",
          p.name, p.levelname, path);
      p.levelset = 0;
      p.levelname[0] = '\0';
    } else {
      p.verttype = vt;
    }
  }
}

// Sorts a complete load and installs it.
void take(lats_tables&& fresh, const char* path) {
  std::sort(fresh.parms.begin(), fresh.parms.end(),
            [](const latsParm& a, const latsParm& b) { return std::strcmp(a.name, b.name) < 0; });
  std::stable_sort(fresh.qcs.begin(), fresh.qcs.end(), qc_less);
  installed_tables& in = installed();
  in.qcs = std::move(fresh.qcs);
  in.nparms = static_cast<int>(fresh.parms.size());
  std::copy(fresh.parms.begin(), fresh.parms.end(), in.parms);
  in.nverts = static_cast<int>(fresh.verts.size());
  std::copy(fresh.verts.begin(), fresh.verts.end(), in.verts);
  in.ncenters = static_cast<int>(fresh.centers.size());
  std::copy(fresh.centers.begin(), fresh.centers.end(), in.centers);
  join(path);
  in.latsParmTableCreated = true;
}

// Built-in rows.
struct parm_row {
  const char* name;
  int id;
  const char* title;
  const char* units;
  const char* level;
  int scale;
  int bits;
};

constexpr int N = LATS_NO_SCALE;

// GRIB numbers, titles and units follow the WMO GRIB edition 1 code table 2
// where it has the quantity; numbers 128-254 are this table's own. A row
// whose quantity the code table lacks carries number 255 ("missing") until a
// table file gives it one.
const parm_row default_parms[] = {
    {"cl", 150, "Cloud amount", "%", "", 0, N},
    {"cli", 226, "Cloud ice", "kg/kg", "", N, N},
    {"clivi", 58, "Cloud ice", "kg/m^2", "atm", N, N},
    {"clt", 71, "Total cloud cover", "%", "atm", N, N},
    {"clw", 76, "Cloud liquid water content", "kg/kg", "", N, N},
    {"clwvi", 255, "Condensed water path", "kg/m^2", "atm", N, N},
    {"enek", 190, "Eddy kinetic energy", "m^2/s^2", "", N, 12},
    {"evspsbl", 57, "Evaporation", "kg/m^2", "sfc", N, N},
    {"hfls", 121, "Latent heat flux", "W/m^2", "sfc", N, N},
    {"hfss", 122, "Sensible heat flux", "W/m^2", "sfc", N, N},
    {"hur", 52, "Relative humidity", "%", "", N, N},
    {"hus", 51, "Specific humidity", "kg/kg", "", 4, N},
    {"huss", 51, "Surface specific humidity (2m)", "kg/kg", "sfc2m", 4, N},
    {"mptta", 230, "Mean product of air temperature and air temperature", "K^2", "", N, 16},
    {"mpuua", 231, "Mean product of eastward wind and eastward wind", "m^2/s^2", "", N, 16},
    {"mpuva", 232, "Mean product of eastward wind and northward wind", "m^2/s^2", "", N, 16},
    {"mpvhusa", 233, "Mean product of northward wind and specific humidity", "m/s", "", N, 16},
    {"mpvta", 234, "Mean product of northward wind and air temperature", "K*m/s", "", N, 16},
    {"mpvva", 235, "Mean product of northward wind and northward wind", "m^2/s^2", "", N, 16},
    {"mpvzga", 236, "Mean product of northward wind and geopotential height", "m^2/s", "", N, 16},
    {"mpwapta", 237, "Mean product of omega and air temperature", "K*Pa/s", "", N, 16},
    {"mpwhusa", 238, "Mean product of omega and specific humidity", "Pa/s", "", N, 16},
    {"mrfso", 255, "Soil frozen water content", "kg/m^2", "landt", N, N},
    {"mrro", 90, "Water run-off", "kg/m^2", "sfc", N, N},
    {"mrros", 255, "Surface runoff", "kg/m^2", "sfc", N, N},
    {"mrso", 86, "Soil moisture content", "kg/m^2", "landt", N, N},
    {"mrsofc", 255, "Soil moisture at field capacity", "kg/m^2", "landt", N, N},
    {"mrsofcs", 255, "Surface soil moisture at field capacity", "kg/m^2", "lands", N, N},
    {"mrsos", 255, "Surface soil moisture", "kg/m^2", "lands", N, N},
    {"mrsotb", 255, "Soil moisture at the bottom of the soil", "kg/m^2", "landd", N, N},
    {"orog", 8, "Geometrical height", "m", "sfc", N, N},
    {"pr", 59, "Total precipitation rate", "kg/(m^2*s)", "sfc", 6, N},
    {"prc", 63, "Convective precipitation (water)", "kg/m^2", "sfc", N, N},
    {"prsn", 64, "Snow fall rate water equivalent", "kg/(m^2*s)", "sfc", N, N},
    {"prw", 54, "Precipitable water", "kg/m^2", "atm", N, N},
    {"ps", 1, "Surface pressure", "Pa", "sfc", 0, N},
    {"psbg", 255, "Surface pressure below ground", "%", "", N, N},
    {"psl", 2, "Mean sea-level pressure", "Pa", "msl", 0, N},
    {"rlds", 255, "Surface downwelling longwave flux", "W/m^2", "sfc", N, N},
    {"rldscs", 255, "Surface downwelling clear-sky longwave flux", "W/m^2", "sfc", N, N},
    {"rlns", 112, "Net long-wave radiation flux (surface)", "W/m^2", "sfc", N, N},
    {"rlus", 255, "Surface upwelling longwave flux", "W/m^2", "sfc", N, N},
    {"rluscs", 255, "Surface upwelling clear-sky longwave flux", "W/m^2", "sfc", N, N},
    {"rlut", 114, "Net long-wave radiation flux (atmosph.top)", "W/m^2", "toa", N, N},
    {"rlutcs", 255, "Outgoing clear-sky longwave flux at the top", "W/m^2", "toa", N, N},
    {"rsds", 117, "Global radiation flux", "W/m^2", "sfc", N, N},
    {"rsdscs", 255, "Surface downwelling clear-sky shortwave flux", "W/m^2", "sfc", N, N},
    {"rsdt", 255, "Incident shortwave flux at the top", "W/m^2", "toa", N, N},
    {"rsns", 111, "Net short-wave radiation flux (surface)", "W/m^2", "sfc", N, N},
    {"rsnt", 113, "Net short-wave radiation flux (atmosph.top)", "W/m^2", "toa", N, N},
    {"rsus", 255, "Surface upwelling shortwave flux", "W/m^2", "sfc", N, N},
    {"rsuscs", 255, "Surface upwelling clear-sky shortwave flux", "W/m^2", "sfc", N, N},
    {"rsut", 255, "Outgoing shortwave flux at the top", "W/m^2", "toa", N, N},
    {"rsutcs", 255, "Outgoing clear-sky shortwave flux at the top", "W/m^2", "toa", N, N},
    {"rtmt", 255, "Net downward radiative flux at the top", "W/m^2", "toa", N, N},
    {"sftgif", 255, "Land ice fraction", "%", "sfc", N, N},
    {"sftlf", 81, "Land cover (1=land, 0=sea)", "(0 - 1)", "sfc", N, N},
    {"sic", 91, "Ice cover (1=ice, 0=no ice)", "(0 - 1)", "sfc", N, N},
    {"sicbcs", 255, "Sea ice concentration boundary condition", "(0 - 1)", "sfc", N, N},
    {"snc", 255, "Snow cover fraction", "%", "sfc", N, N},
    {"snd", 66, "Snow depth", "m", "sfc", N, N},
    {"snm", 99, "Snow melt", "kg/m^2", "sfc", N, N},
    {"snw", 65, "Water equivalent of accumulated snow depth", "kg/m^2", "sfc", N, N},
    {"ta", 11, "Air Temperature", "K", "", 1, N},
    {"tas", 11, "Surface (2m) air temperature", "K", "sfc2m", 1, N},
    {"tasmax", 15, "Maximum temperature", "K", "sfc2m", 1, N},
    {"tasmin", 16, "Minimum temperature", "K", "sfc2m", 1, N},
    {"tauu", 124, "Momentum flux, u-component", "N/m^2", "sfc", N, N},
    {"tauugwd", 255, "Eastward gravity wave surface stress", "N/m^2", "sfc", N, N},
    {"tauv", 125, "Momentum flux, v-component", "N/m^2", "sfc", N, N},
    {"tauvgwd", 255, "Northward gravity wave surface stress", "N/m^2", "sfc", N, N},
    {"tnmmc", 210, "Tendency of eastward momentum due to moist convection", "m/s^2", "", 7, N},
    {"tnmmgwd", 211, "Tendency of momentum due to gravity wave drag", "m/s^2", "", 7, N},
    {"tnmmgwdu", 212, "Tendency of eastward wind due to gravity wave drag", "m/s^2", "", 7, N},
    {"tnmmgwdv", 213, "Tendency of northward wind due to gravity wave drag", "m/s^2", "", 7, N},
    {"tnmrc", 214, "Tendency of moisture due to convection", "1/s", "", 7, N},
    {"tnmrd", 215, "Tendency of moisture due to diffusion", "1/s", "", N, 12},
    {"tnt", 216, "Tendency of air temperature", "K/s", "", 7, N},
    {"tntdc", 217, "Tendency of air temperature due to dry convection", "K/s", "", 7, N},
    {"tntlsp", 218, "Tendency of air temperature due to large-scale precipitation", "K/s", "", 7,
     N},
    {"tntlw", 219, "Tendency of air temperature due to longwave heating", "K/s", "", 7, N},
    {"tntmc", 220, "Tendency of air temperature due to moist convection", "K/s", "", 7, N},
    {"tntsw", 221, "Tendency of air temperature due to shortwave heating", "K/s", "", 7, N},
    {"tos", 80, "Water temperature", "K", "sfc", N, N},
    {"tosbcs", 255, "Sea surface temperature boundary condition", "K", "sfc", N, N},
    {"tro3", 255, "Mole fraction of ozone", "1e-9", "", N, N},
    {"ts", 11, "Ground Surface Temperature", "K", "sfc", 1, 12},
    {"ua", 33, "Eastward wind", "m/s", "", 1, N},
    {"uas", 33, "U-component of wind", "m/s", "sfc10m", 1, N},
    {"va", 34, "Northward wind", "m/s", "", 1, N},
    {"vas", 34, "V-component of wind", "m/s", "sfc10m", 1, N},
    {"vorpot", 4, "Potential vorticity", "K*m^2/(kg*s)", "", N, N},
    {"wap", 39, "Vertical motion (omega)", "Pa/s", "", 3, N},
    {"zbla", 170, "Planetary boundary layer height", "m", "pbltop", N, 12},
    {"zg", 7, "Geopotential height", "m", "", 0, N},
};

struct vert_row {
  const char* name;
  const char* descrip;
  const char* units;
  int kind;
  int positive;
  int id, p1, p2, p3;
};

constexpr int S = LATS_SINGLE_LEVEL, M = LATS_MULTI_LEVEL, U = LATS_UP, D = LATS_DOWN;

const vert_row default_verts[] = {
    {"0degiso", "0 deg isotherm level", "", S, U, 4, 0, 0, 0},
    {"atm", "Atmosphere (entire)", "", S, U, 200, 0, 0, 0},
    {"ocn", "Ocean (entire depth)", "", S, U, 201, 0, 0, 0},
    {"ocnbot", "Ocean bottom", "", S, U, 202, 0, 0, 0},
    {"clhbot", "High cloud bottom level", "", S, U, 232, 0, 0, 0},
    {"clhlay", "High cloud layer", "", S, U, 234, 0, 0, 0},
    {"clhtop", "High cloud top level", "", S, U, 233, 0, 0, 0},
    {"cllbot", "Low cloud bottom level", "", S, U, 212, 0, 0, 0},
    {"clllay", "Low cloud layer", "", S, U, 214, 0, 0, 0},
    {"clltop", "Low cloud top level", "", S, U, 213, 0, 0, 0},
    {"clmbot", "Middle cloud bottom level", "", S, U, 222, 0, 0, 0},
    {"clmlay", "Middle cloud layer", "", S, U, 224, 0, 0, 0},
    {"clmtop", "Middle cloud top level", "", S, U, 223, 0, 0, 0},
    {"cltbot", "Cloud base level", "", S, U, 2, 0, 0, 0},
    {"cltlay", "Total cloud layer", "", S, U, 3, 0, 0, 0},
    {"cltmax", "Highest cloud height", "m", S, U, 105, 0, 0, 0},
    {"landd", "Below land surface, 10-200 cm", "cm", S, U, 112, 10, 200, 0},
    {"lands", "Below land surface, 0-10 cm", "cm", S, U, 112, 0, 10, 0},
    {"landt", "Below land surface, 0-200 cm", "cm", S, U, 112, 0, 200, 0},
    {"lcl", "Adiabatic condensation level", "", S, U, 5, 0, 0, 0},
    {"maxwnd", "Maximum wind speed level", "", S, U, 6, 0, 0, 0},
    {"msl", "Mean sea level", "", S, U, 102, 0, 0, 0},
    {"ocnbot", "Ocean bottom", "", S, U, 9, 0, 0, 0},
    {"plev", "Pressure level", "hPa", M, D, 100, 0, 0, 0},
    {"pbltop", "Top of planetary boundary layer", "", S, U, 21, 0, 0, 0},
    {"sfc", "Earth surface", "", S, U, 1, 0, 0, 0},
    {"sfclo", "Below land surface, 0-300 cm", "cm", S, U, 112, 0, 300, 0},
    {"sfc10m", "10 meters above earth surface", "m", S, U, 105, 0, 0, 10},
    {"sfc2m", "2 meters above earth surface", "m", S, U, 105, 0, 0, 2},
    {"toa", "Top of atmosphere", "", S, U, 8, 0, 0, 0},
    {"modtop", "Top of model", "", S, U, 20, 0, 0, 0},
    {"toasat", "Top of atmosphere, satellite", "", S, U, 22, 0, 0, 0},
    {"troplev", "Tropopause level", "", S, U, 7, 0, 0, 0},
    {"theta", "Isentropic level", "K", M, U, 113, 0, 0, 0},
    {"sigma", "Sigma level", "", M, D, 107, 0, 0, 0},
    {"hybrid", "Hybrid level", "", M, U, 109, 0, 0, 0},
    {"zocean", "Depth below sea level", "m", M, D, 160, 0, 0, 0},
};

const char* const default_center_names[] = {
    "bmrc", "ccc",   "cnrm",       "zirm", "csiro", "csu",  "dnm",  "ecmwf", "gfdl", "derf", "giss",
    "gla",  "gsfc",  "iap",        "jma",  "lmd",   "mgo",  "mpi",  "mri",   "ncar", "ncep", "nrl",
    "rpn",  "sunya", "sunya/ncar", "ucla", "ugamp", "uiuc", "ukmo", "yonu",  "ccsr", "llnl", "ntu"};

// A row is kept while its table has room; the rows beyond are counted, for
// one warning at the end of the file.
template <typename Row>
void keep_row(std::vector<Row>& table, size_t room, const Row& row, int& over) {
  if (table.size() < room)
    table.push_back(row);
  else
    ++over;
}

bool load_file(input_file& in, const char* path, lats_tables& t) {
  char line[512];
  int lineno = 0;
  section sec = section::variable;
  int over_parms = 0, over_verts = 0, over_centers = 0;
  std::string text;
  for (line_read st; (st = in.next_line(text, sizeof line - 1)) != line_read::end;) {
    ++lineno;
    if (st == line_read::interrupted) {
      latsError("LATS (latsint) --> Interrupted while reading parameter file %s", path);
      return false;
    }
    if (st == line_read::too_long) {
      latsError("LATS (latsint) --> line %d longer than %zu characters, parameter file %s", lineno,
                sizeof line - 1, path);
      return false;
    }
    std::snprintf(line, sizeof line, "%s", text.c_str());
    size_t len = std::strlen(line);
    while (len > 0 && line[len - 1] == '\r') line[--len] = '\0';
    if (line[0] == '#') {
      if (line[1] != '!') continue;
      char word[512];
      latsCpyLower(word, line + 2, sizeof word);
      bool known = false;
      for (const auto& sw : section_words) {
        if (std::strcmp(word, sw.word) == 0) {
          sec = sw.sec;
          known = true;
        }
      }
      if (!known) {
        lats_errors_not_fatal warning_only;
        latsError(
            "LATS (latsint) --> Warning: section delimiter: %s, ignored in parameter file %s, line "
            "%d",
            word, path, lineno);
      }
      continue;
    }
    char trimmed[512];
    latsCpyTrim(trimmed, line, sizeof trimmed);
    if (!trimmed[0]) continue;
    std::vector<std::string> f = split_fields(line);
    static const size_t need[] = {10, 9, 4, 8};
    size_t want = need[static_cast<int>(sec)];
    bool ok = true;
    {
      // A bad row fails the load, reported below, and never the process.
      lats_errors_not_fatal row_errors;
      if (f.size() < want) {
        latsError("LATS (latsint) --> Invalid parameter file entry: %s", line);
        ok = false;
      } else {
        switch (sec) {
          case section::variable: {
            latsParm p;
            ok = read_parm(f, &p);
            if (ok) keep_row(t.parms, size_t(MAX_PARMS), p, over_parms);
            break;
          }
          case section::vert: {
            latsVertType v;
            ok = read_vert(f, &v);
            if (ok) keep_row(t.verts, size_t(MAX_VERTS), v, over_verts);
            break;
          }
          case section::center: {
            latsCenter c;
            ok = read_center(f, &c);
            if (ok) keep_row(t.centers, size_t(MAX_CENTERS), c, over_centers);
            break;
          }
          case section::qc: {
            latsQC q;
            ok = read_qc(f, &q);
            if (ok) {
              if (t.qcs.size() == t.qcs.capacity()) t.qcs.reserve(t.qcs.size() + QC_STEP);
              t.qcs.push_back(q);
            }
            break;
          }
        }
      }
    }
    if (!ok) {
      latsError("LATS (latsint) --> line %d, parameter file %s", lineno, path);
      return false;
    }
  }
  if (over_parms)
    latsWarning("LATS (latsint) --> Maximum number of parameters = %d, remainder ignored, file %s",
                MAX_PARMS, path);
  if (over_verts)
    latsWarning(
        "LATS (latsint) --> Maximum number of vertical dimension types = %d, remainder ignored, "
        "file %s",
        MAX_VERTS, path);
  if (over_centers)
    latsWarning("LATS (latsint) --> Maximum number of centers = %d, remainder ignored, file %s",
                MAX_CENTERS, path);
  return true;
}

}  // namespace

int latsParmCreateTable(const char* path) {
  input_file in(path, "r");
  if (!in.ok()) {
    latsError("LATS (latsint) --> Cannot open parameter file %s\n%s", path, in.refusal().c_str());
    return 0;
  }
  lats_tables fresh;
  bool ok = load_file(in, path, fresh);
  in.close();
  if (!ok) return 0;
  take(std::move(fresh), path);
  return 1;
}

int latsParmCreateDefaultTable() {
  lats_tables fresh;
  for (const auto& r : default_parms) {
    latsParm p{};
    std::snprintf(p.name, sizeof p.name, "%s", r.name);
    std::snprintf(p.title, sizeof p.title, "%s", r.title);
    std::snprintf(p.units, sizeof p.units, "%s", r.units);
    std::snprintf(p.levelname, sizeof p.levelname, "%s", r.level);
    p.levelset = r.level[0] != '\0';
    p.id = r.id;
    p.scalefac = r.scale;
    p.precision = r.bits;
    p.datatype = LATS_FLOAT;
    fresh.parms.push_back(p);
  }
  for (const auto& r : default_verts) {
    latsVertType v{};
    std::snprintf(v.name, sizeof v.name, "%s", r.name);
    std::snprintf(v.descrip, sizeof v.descrip, "%s", r.descrip);
    std::snprintf(v.units, sizeof v.units, "%s", r.units);
    v.verttype = r.kind;
    v.positive = r.positive;
    v.gribid = r.id;
    v.grib_p1 = r.p1;
    v.grib_p2 = r.p2;
    v.grib_p3 = r.p3;
    fresh.verts.push_back(v);
  }
  int pid = 1;
  for (const char* name : default_center_names) {
    latsCenter c{};
    std::snprintf(c.name, sizeof c.name, "%s", name);
    c.gribid = pid++;
    c.grib_center = 100;
    c.grib_subcenter = 2;
    fresh.centers.push_back(c);
  }
  latsCenter pcmdi{};
  std::snprintf(pcmdi.name, sizeof pcmdi.name, "pcmdi");
  pcmdi.gribid = 100;
  pcmdi.grib_center = 100;
  pcmdi.grib_subcenter = 2;
  fresh.centers.push_back(pcmdi);
  latsQC q{};
  std::snprintf(q.var, sizeof q.var, "_default_");
  fresh.qcs.push_back(q);
  take(std::move(fresh), "<internal table>");
  return 1;
}

int latsLoadTablesOnce() {
  if (installed().latsParmTableCreated) return 1;
  const char* env = std::getenv("LATS_PARMS");
  if (env) return latsParmCreateTable(env);
  return latsParmCreateDefaultTable();
}

latsParm* latsParmLookup(const char* name) {
  installed_tables& in = installed();
  latsParm* end = in.parms + in.nparms;
  latsParm* it = std::lower_bound(in.parms, end, name, [](const latsParm& a, const char* n) {
    return std::strcmp(a.name, n) < 0;
  });
  if (it == end || std::strcmp(it->name, name) != 0) return nullptr;
  return it;
}

latsVertType* latsVertTypeLookup(const char* name) {
  char key[128];
  latsCpyLower(key, name, sizeof key);
  installed_tables& in = installed();
  for (int i = 0; i < in.nverts; ++i) {
    latsVertType& v = in.verts[i];
    char n[128];
    latsCpyLower(n, v.name, sizeof n);
    if (std::strcmp(n, key) == 0) return &v;
  }
  return nullptr;
}

latsCenter* latsCenterLookup(const char* name) {
  char key[128];
  latsCpyLower(key, name, sizeof key);
  installed_tables& in = installed();
  for (int i = 0; i < in.ncenters; ++i) {
    latsCenter& c = in.centers[i];
    char n[128];
    latsCpyLower(n, c.name, sizeof n);
    if (std::strcmp(n, key) == 0) return &c;
  }
  return nullptr;
}

latsQC* latsQCLookup(const char* var, const char* levtype, double value, double delta) {
  char v[128], l[128];
  latsCpyTrim(v, var, sizeof v);
  latsCpyTrim(l, levtype ? levtype : "", sizeof l);
  auto& q = installed().qcs;
  size_t lo = 0, hi = q.size();
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    int c = qc_compare(v, l, value, q[mid], delta);
    if (c == 0) return &q[mid];
    if (c < 0)
      hi = mid;
    else
      lo = mid + 1;
  }
  return nullptr;
}

void latsVertTypeList() {
  installed_tables& in = installed();
  if (in.verts_listed) return;
  in.verts_listed = true;
  std::fprintf(stderr, "The following vertical dimension types are defined:\n");
  for (int i = 0; i < in.nverts; ++i)
    std::fprintf(stderr, "%s\t%s\n", in.verts[i].name, in.verts[i].descrip);
}

int lats_parmtab(const char* path) {
  latsSetRoutine("lats_parmtab");
  return latsParmCreateTable(path);
}

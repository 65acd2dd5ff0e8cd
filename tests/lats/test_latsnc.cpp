// netCDF files written by the writer, checked by the netCDF library's own
// reader and by ncdump: the layout of the header, the attributes and their
// lengths, and the coordinates.
#include <netcdf.h>

#include <string>
#include <vector>

#include "support/library_peer.h"
#include "lats_support.h"

namespace {

using latstest::shell;

struct NcWriter : latstest::Writer {};

std::vector<float> read_all(int ncid, const char* name) {
  int var = -1;
  EXPECT_EQ(peer::nc_inq_varid(ncid, name, &var), NC_NOERR) << name;
  int ndims = 0, dims[NC_MAX_VAR_DIMS];
  peer::nc_inq_var(ncid, var, nullptr, nullptr, &ndims, dims, nullptr);
  size_t n = 1;
  for (int d = 0; d < ndims; d++) {
    size_t len = 0;
    peer::nc_inq_dimlen(ncid, dims[d], &len);
    n *= len;
  }
  std::vector<float> v(n);
  EXPECT_EQ(peer::nc_get_var_float(ncid, var, v.data()), NC_NOERR);
  return v;
}

// A text attribute of a variable, or of the file when var is empty.
std::string text_att(int ncid, const std::string& var, const char* name, size_t* len = nullptr) {
  int id = NC_GLOBAL;
  if (!var.empty()) peer::nc_inq_varid(ncid, var.c_str(), &id);
  size_t n = 0;
  if (peer::nc_inq_attlen(ncid, id, name, &n) != NC_NOERR) return "<none>";
  std::string s(n, '\0');
  peer::nc_get_att_text(ncid, id, name, s.data());
  if (len) *len = n;
  return s.c_str();
}

}  // namespace

// A COARDS file of one variable on two levels at two times: ncdump shows
// the dimensions, variables and attributes in the order they are defined
// (the values are read back through the program in the end-to-end tests).
TEST_F(NcWriter, CoardsHeaderAndValues) {
  const std::vector<double> lons = latstest::ramp(0, 90, 4), lats = latstest::ramp(-45, 45, 3);
  const double levs[2] = {850, 500};
  int fid = lats_create(path("c").c_str(), LATS_COARDS, LATS_STANDARD, LATS_HOURLY, 6, "PCMDI",
                        "test model", "a comment");
  ASSERT_GT(fid, 0);
  int vd = lats_vert_dim("plev", "plev", 2, levs);
  const std::string grid = latstest::grid_name();
  int gid = lats_grid(grid.c_str(), LATS_LINEAR, 4, lons.data(), 3, lats.data());
  int var = lats_var(fid, "ta", LATS_FLOAT, LATS_AVERAGE, gid, vd, "air");
  ASSERT_GT(var, 0);
  ASSERT_EQ(lats_miss_float(fid, var, -999.0f, 0.5f), 1);
  std::vector<float> data(12, 280);
  for (int t = 0; t < 2; t++)
    for (int k = 0; k < 2; k++)
      ASSERT_EQ(lats_write(fid, var, levs[k], 2000, 1, 1, 6 * t, data.data()), 1);
  ASSERT_EQ(lats_close(fid), 1);

  std::string header = shell(dir, "ncdump -h c.nc");
  EXPECT_EQ(header,
            "netcdf c {\n"
            "dimensions:\n"
            "\ttime = UNLIMITED ; // (2 currently)\n"
            "\tplev = 2 ;\n"
            "\tlongitude = 4 ;\n"
            "\tlatitude = 3 ;\n"
            "variables:\n"
            "\tdouble time(time) ;\n"
            "\t\ttime:units = \"hours since 2000-1-1 0\" ;\n"
            "\tdouble plev(plev) ;\n"
            "\t\tplev:units = \"hPa\" ;\n"
            "\t\tplev:description = \"Pressure level\" ;\n"
            "\t\tplev:type = \"plev\" ;\n"
            "\t\tplev:long_name = \"Level\" ;\n"
            "\t\tplev:positive = \"down\" ;\n"
            "\tdouble longitude(longitude) ;\n"
            "\t\tlongitude:units = \"degrees_east\" ;\n"
            "\t\tlongitude:long_name = \"Longitude\" ;\n"
            "\tdouble latitude(latitude) ;\n"
            "\t\tlatitude:units = \"degrees_north\" ;\n"
            "\t\tlatitude:long_name = \"Latitude\" ;\n"
            "\tfloat ta(time, plev, latitude, longitude) ;\n"
            "\t\tta:comments = \"air\" ;\n"
            "\t\tta:long_name = \"Air Temperature\" ;\n"
            "\t\tta:units = \"K\" ;\n"
            "\t\tta:grid_name = \"" +
                grid +
                "\" ;\n"
                "\t\tta:grid_type = \"linear\" ;\n"
                "\t\tta:time_statistic = \"average\" ;\n"
                "\t\tta:missing_value = -999.f ;\n"
                "\n"
                "// global attributes:\n"
                "\t\t:Conventions = \"COARDS\" ;\n"
                "\t\t:calendar = \"standard\" ;\n"
                "\t\t:comments = \"a comment\" ;\n"
                "\t\t:model = \"test model\" ;\n"
                "\t\t:center = \"PCMDI\" ;\n"
                "}\n");
}

// A LATS file with two grids: the second grid's coordinates are named after
// it; a surface variable carries the description of its default level type.
TEST_F(NcWriter, SecondGridAndSurfaceLevelDescription) {
  int fid =
      lats_create(path("l").c_str(), LATS_NETCDF, LATS_NOLEAP, LATS_DAILY, 1, "PCMDI", "m", "c");
  ASSERT_GT(fid, 0);
  int g1 = latstest::grid(latstest::ramp(0, 180, 2), latstest::ramp(-30, 60, 2));
  const std::string second = latstest::grid_name();
  const std::vector<double> lon2 = latstest::ramp(10, 1, 3), lat2 = {5};
  int g2 = lats_grid(second.c_str(), LATS_LINEAR, 3, lon2.data(), 1, lat2.data());
  const int tas = lats_var(fid, "tas", LATS_FLOAT, LATS_INSTANT, g1, 0, "");
  ASSERT_GT(tas, 0);
  ASSERT_GT(lats_var(fid, "ps", LATS_FLOAT, LATS_ACCUM, g2, 0, ""), 0);
  // One field of the first grid: the coordinates of both are written.
  float field[4] = {1, 2, 3, 4};
  ASSERT_EQ(lats_write(fid, tas, 0.0, 2000, 1, 1, 0, field), 1);
  ASSERT_EQ(lats_close(fid), 1);

  int ncid = -1;
  ASSERT_EQ(peer::nc_open(path("l.nc").c_str(), NC_NOWRITE, &ncid), NC_NOERR);
  size_t len = 0;
  EXPECT_EQ(text_att(ncid, "", "Conventions", &len), "LATS");
  EXPECT_EQ(len, 5u);
  EXPECT_EQ(text_att(ncid, "", "calendar"), "noleap");
  int dim = -1;
  ASSERT_EQ(peer::nc_inq_dimid(ncid, ("latitude_" + second).c_str(), &dim), NC_NOERR);
  EXPECT_EQ(read_all(ncid, ("longitude_" + second).c_str()), (std::vector<float>{10, 11, 12}));
  EXPECT_EQ(read_all(ncid, "latitude"), (std::vector<float>{-30, 30}));
  EXPECT_EQ(text_att(ncid, "tas", "level_description"), "2 meters above earth surface");
  EXPECT_EQ(text_att(ncid, "ps", "time_statistic"), "accumulation");
  EXPECT_EQ(text_att(ncid, "time", "units"), "days since 2000-1-1 0");  // from the write
  peer::nc_close(ncid);
}

// Time, two grids and 27 vertical dimensions fill the 32 dimensions a file
// may hold; the next vertical dimension is refused with the writer's error.
TEST_F(NcWriter, ThirtyTwoDimensionsAtMost) {
  static const char* const names[] = {
      "cl",      "cli",   "clw",     "enek",    "hur",      "hus",      "mptta",
      "mpuua",   "mpuva", "mpvhusa", "mpvta",   "mpvva",    "mpvzga",   "mpwapta",
      "mpwhusa", "ta",    "tnmmc",   "tnmmgwd", "tnmmgwdu", "tnmmgwdv", "tnmrc",
      "tnmrd",   "tnt",   "tntdc",   "tntlw",   "tntmc",    "tntsw",    "ua"};
  int fid =
      lats_create(path("d").c_str(), LATS_NETCDF, LATS_STANDARD, LATS_HOURLY, 1, "PCMDI", "m", "c");
  ASSERT_GT(fid, 0);
  int g[2] = {latstest::grid({0}, {0}), latstest::grid({1}, {1})};
  const double lev[1] = {500};
  for (int k = 0; k < 27; k++) {
    std::string name = "lev" + std::to_string(k) + "_" + std::to_string(g[0]);
    int vd = lats_vert_dim(name.c_str(), "plev", 1, lev);
    ASSERT_GT(lats_var(fid, names[k], LATS_FLOAT, LATS_INSTANT, g[k == 1], vd, ""), 0) << k;
  }
  int vd = lats_vert_dim(("last_" + std::to_string(g[0])).c_str(), "plev", 1, lev);
  latstest::expect_stderr(
      0, "Too many vertical dimensions defined, maximum of 32, file " + path("d.nc"),
      [&] { return lats_var(fid, names[27], LATS_FLOAT, LATS_INSTANT, g[0], vd, ""); });
  EXPECT_EQ(lats_close(fid), 1);
}

// A file that can't be made is refused with the writer's message, and no
// file is left open.
TEST_F(NcWriter, UncreatableFileIsRefused) {
  std::string where = path("missing/x");
  latstest::expect_stderr(0, "netCDF (latsnc) --> Creating netCDF file " + where + ".nc\n", [&] {
    return lats_create(where.c_str(), LATS_COARDS, LATS_STANDARD, LATS_HOURLY, 1, "PCMDI", "m",
                       "c");
  });
}

// One data set written twice by the test: as a binary grid with its
// descriptor (read by vemra) and as a netCDF file (read by the independent
// tool, cdo), with an evaluation state over its x-y plane.
#pragma once

#include <gtest/gtest.h>
#include <netcdf.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/library_peer.h"
#include "expr/evalstate.h"
#include "base/mfcmn.h"
#include "data/test_gridread_support.h"
#include "expr/cdo_tool.h"
#include "expr/eval.h"
#include "data/result.h"
#include "support/stdout_capture.h"

// Axes of a data set: longitudes and latitudes (linear), pressure levels,
// daily times; values by (variable, x, y, z, t) with 1-based indices.
struct AnalysisData : testing::Test {
  static constexpr float kUndef = -999.0f;
  vemra_test::TempDir dir;
  grtest::record pfi;
  eval_state st{};
  std::string out;
  double lon0 = 0, dlon = 1, lat0 = 0, dlat = 1;
  int nx = 1, ny = 1, nt = 1;
  std::vector<double> levels{1000};
  std::vector<double> level_bounds;  // two a level, for tools that weight layers
  std::vector<std::string> names;
  std::function<float(int var, int x, int y, int z, int t)> value;

  void TearDown() override {
    kafree(&st);
    mfcmn.warn_level = 2;
  }
  double lon(int x) const { return lon0 + dlon * (x - 1); }
  double lat(int y) const { return lat0 + dlat * (y - 1); }
  int nz() const { return int(levels.size()); }

  // Writes both forms (the same blocks of values, a time of each variable
  // at a time) and opens the binary one; the environment is the whole x-y
  // plane at the first level and time.
  void write() {
    int nc, dt, dz, dy, dx, vt, vz, vy, vx;
    ASSERT_EQ(peer::nc_create(dir.file("d.nc").c_str(), NC_CLOBBER, &nc), NC_NOERR);
    peer::nc_def_dim(nc, "time", NC_UNLIMITED, &dt);
    peer::nc_def_dim(nc, "lev", size_t(nz()), &dz);
    peer::nc_def_dim(nc, "lat", size_t(ny), &dy);
    peer::nc_def_dim(nc, "lon", size_t(nx), &dx);
    peer::nc_def_var(nc, "time", NC_DOUBLE, 1, &dt, &vt);
    peer::nc_put_att_text(nc, vt, "units", 30, "days since 2000-01-01 00:00:00");
    peer::nc_def_var(nc, "lev", NC_DOUBLE, 1, &dz, &vz);
    peer::nc_put_att_text(nc, vz, "units", 3, "hPa");
    int vb = -1;
    if (!level_bounds.empty()) {
      int db, bdims[2];
      peer::nc_def_dim(nc, "bnds", 2, &db);
      bdims[0] = dz;
      bdims[1] = db;
      peer::nc_put_att_text(nc, vz, "positive", 4, "down");
      peer::nc_put_att_text(nc, vz, "axis", 1, "Z");
      peer::nc_put_att_text(nc, vz, "bounds", 8, "lev_bnds");
      peer::nc_def_var(nc, "lev_bnds", NC_DOUBLE, 2, bdims, &vb);
    }
    peer::nc_def_var(nc, "lat", NC_DOUBLE, 1, &dy, &vy);
    peer::nc_put_att_text(nc, vy, "units", 13, "degrees_north");
    peer::nc_def_var(nc, "lon", NC_DOUBLE, 1, &dx, &vx);
    peer::nc_put_att_text(nc, vx, "units", 12, "degrees_east");
    std::vector<int> ids(names.size());
    int dims[4] = {dt, dz, dy, dx};
    for (size_t v = 0; v < names.size(); v++) {
      peer::nc_def_var(nc, names[v].c_str(), NC_FLOAT, 4, dims, &ids[v]);
      peer::nc_put_att_float(nc, ids[v], "_FillValue", NC_FLOAT, 1, &kUndef);
    }
    ASSERT_EQ(peer::nc_enddef(nc), NC_NOERR);
    std::vector<double> c;
    for (int x = 1; x <= nx; x++) c.push_back(lon(x));
    peer::nc_put_var_double(nc, vx, c.data());
    c.clear();
    for (int y = 1; y <= ny; y++) c.push_back(lat(y));
    peer::nc_put_var_double(nc, vy, c.data());
    peer::nc_put_var_double(nc, vz, levels.data());
    if (vb >= 0) peer::nc_put_var_double(nc, vb, level_bounds.data());
    std::string bin;
    for (int t = 1; t <= nt; t++) {
      size_t start[4] = {size_t(t - 1), 0, 0, 0},
             count[4] = {1, size_t(nz()), size_t(ny), size_t(nx)};
      const double day = t - 1;
      peer::nc_put_var1_double(nc, vt, start, &day);
      for (size_t v = 0; v < names.size(); v++) {
        std::vector<float> g;
        for (int z = 1; z <= nz(); z++)
          for (int y = 1; y <= ny; y++)
            for (int x = 1; x <= nx; x++) g.push_back(value(int(v), x, y, z, t));
        ASSERT_EQ(peer::nc_put_vara_float(nc, ids[v], start, count, g.data()), NC_NOERR);
        bin.append(reinterpret_cast<const char*>(g.data()), g.size() * sizeof(float));
      }
    }
    ASSERT_EQ(peer::nc_close(nc), NC_NOERR);
    vemra_test::write_file(dir.file("d.dat"), bin);
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "xdef %d linear %.9g %.9g\nydef %d linear %.9g %.9g\nzdef %d levels", nx, lon0,
                  dlon, ny, lat0, dlat, nz());
    std::string ctl = "dset ^d.dat\nundef -999\n" + std::string(buf);
    for (double l : levels) ctl += " " + std::to_string(l);
    ctl += "\ntdef " + std::to_string(nt) + " linear 00z1jan2000 1dy\nvars " +
           std::to_string(names.size()) + "\n";
    for (const std::string& n : names) ctl += n + " " + std::to_string(nz()) + " 99 " + n + "\n";
    pfi = grtest::open_text(dir, ctl + "endvars\n");
    ASSERT_TRUE(pfi);
    mfcmn.warn_level = 0;
    st.file_list = st.default_file = pfi.get();
    st.file_count = 1;
    plane();
  }

  // The environment: dimensions idim and jdim (x 0, y 1, or -1) vary over
  // their whole axis, x and y otherwise sit at their first point; level lev
  // (the first level when left out), the first time.
  void plane(int idim = 0, int jdim = 1, float lev = -1) {
    st.idim = idim;
    st.jdim = jdim;
    st.dim_min[0] = float(lon(1));
    st.dim_max[0] = float(lon(idim == 0 ? nx : 1));
    st.dim_min[1] = float(lat(1));
    st.dim_max[1] = float(lat(idim == 1 || jdim == 1 ? ny : 1));
    st.dim_min[2] = st.dim_max[2] = lev < 0 ? float(levels[0]) : lev;
    st.time_start = st.time_end = {2000, 1, 1, 0, 0};
  }

  // Evaluates an expression; null on failure, the messages in out.
  grid_field* eval(const char* text) {
    kafree(&st);
    StdoutCapture cap;
    const int rc = kaexpr(text, &st);
    out = cap.text();
    return rc == 0 ? grid_in(st.result) : nullptr;
  }
  // True when the expression fails with messages that contain text.
  bool refused(const char* text, const char* message) {
    return eval(text) == nullptr && out.find(message) != std::string::npos;
  }
  // The value at point k of the result, or NaN on failure.
  double at(const char* text, int k) {
    grid_field* g = eval(text);
    EXPECT_NE(g, nullptr) << text << "\n" << out;
    return g ? g->values[k] : std::nan("");
  }
  // The value of a 0-D result, or NaN on failure.
  double scalar(const char* text) {
    grid_field* g = eval(text);
    EXPECT_NE(g, nullptr) << text << "\n" << out;
    if (!g) return std::nan("");
    EXPECT_EQ(g->idim, -1) << text;
    return g->values[0];
  }
};

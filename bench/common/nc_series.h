// A netCDF time series of one float field g(time, lat, lon), six-hourly from
// 2000-01-01, written one grid at a time: the peer tool's copy of the data a
// benchmark times.
#pragma once

#include <netcdf.h>

#include <cstddef>
#include <string>
#include <vector>

class nc_series {
 public:
  // Longitudes lon0 + i * dlon, latitudes lat0 + j * dlat; the field is
  // named name. ok() tells whether the file could be made.
  nc_series(const std::string& path, int nx, int ny, double lon0, double dlon, double lat0,
            double dlat, const char* name = "g")
      : nx_(nx), ny_(ny) {
    if (nc_create(path.c_str(), NC_CLOBBER | NC_64BIT_OFFSET, &nc_) != NC_NOERR) {
      nc_ = -1;
      return;
    }
    int dims[3], vy, vx;
    nc_def_dim(nc_, "time", NC_UNLIMITED, &dims[0]);
    nc_def_dim(nc_, "lat", size_t(ny), &dims[1]);
    nc_def_dim(nc_, "lon", size_t(nx), &dims[2]);
    nc_def_var(nc_, "time", NC_DOUBLE, 1, &dims[0], &vt_);
    put_text(vt_, "units", "hours since 2000-01-01 00:00:00");
    nc_def_var(nc_, "lat", NC_DOUBLE, 1, &dims[1], &vy);
    put_text(vy, "units", "degrees_north");
    nc_def_var(nc_, "lon", NC_DOUBLE, 1, &dims[2], &vx);
    put_text(vx, "units", "degrees_east");
    nc_def_var(nc_, name, NC_FLOAT, 3, dims, &vg_);
    nc_enddef(nc_);
    std::vector<double> c(size_t(nx > ny ? nx : ny));
    for (int i = 0; i < nx; i++) c[size_t(i)] = lon0 + i * dlon;
    nc_put_var_double(nc_, vx, c.data());
    for (int j = 0; j < ny; j++) c[size_t(j)] = lat0 + j * dlat;
    nc_put_var_double(nc_, vy, c.data());
  }
  nc_series(const nc_series&) = delete;
  nc_series& operator=(const nc_series&) = delete;
  ~nc_series() { close(); }

  bool ok() const { return nc_ >= 0; }

  // Grid t (nx * ny values, longitude fastest) at 6 * t hours.
  void put(int t, const float* grid) {
    if (nc_ < 0) return;
    size_t start[3] = {size_t(t), 0, 0}, count[3] = {1, size_t(ny_), size_t(nx_)};
    double hours = 6.0 * t;
    nc_put_var1_double(nc_, vt_, start, &hours);
    nc_put_vara_float(nc_, vg_, start, count, grid);
  }

  void close() {
    if (nc_ >= 0) nc_close(nc_);
    nc_ = -1;
  }

 private:
  void put_text(int var, const char* name, const std::string& text) {
    nc_put_att_text(nc_, var, name, text.size(), text.c_str());
  }

  int nc_ = -1, vt_ = -1, vg_ = -1;
  int nx_, ny_;
};

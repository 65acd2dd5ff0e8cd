// The netCDF library numbers open files with ids that grow past the int
// range's positive half in a long session (a file whose definition fails to
// close keeps its number for ever, so every such failure uses one up). A file
// with a negative id is still a file: it must be read and closed.
#include <gtest/gtest.h>

#include <netcdf.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <string>

#include "support/library_peer.h"
#include "sdf/ncmeta.h"
#include "support/open_descriptors.h"
#include "support/vemra_run.h"

namespace {

// A definition the library refuses at its end (two fixed variables over
// 2 GiB in the classic format), so that closing it fails. Nothing is
// written: a size limit guards against a library that would write it.
void failed_definition(const std::string& path) {
  int nc, dim, v, w;
  if (peer::nc_create(path.c_str(), NC_CLOBBER, &nc) != NC_NOERR) return;
  peer::nc_def_dim(nc, "x", 1500000000, &dim);
  peer::nc_def_var(nc, "v", NC_DOUBLE, 1, &dim, &v);
  peer::nc_def_var(nc, "w", NC_DOUBLE, 1, &dim, &w);
  peer::nc_enddef(nc);
  peer::nc_close(nc);
}

TEST(NetcdfOpens, AFileWithANegativeIdIsReadAndClosed) {
  vemra_test::TempDir dir;
  const std::string path = dir.file("v.nc");
  int nc, dim, var;
  ASSERT_EQ(peer::nc_create(path.c_str(), NC_CLOBBER, &nc), NC_NOERR);
  ASSERT_EQ(peer::nc_def_dim(nc, "x", 3, &dim), NC_NOERR);
  ASSERT_EQ(peer::nc_def_var(nc, "v", NC_FLOAT, 1, &dim, &var), NC_NOERR);
  ASSERT_EQ(peer::nc_enddef(nc), NC_NOERR);
  const float vals[3] = {1.5f, -2.0f, 4.25f};
  ASSERT_EQ(peer::nc_put_var_float(nc, var, vals), NC_NOERR);
  ASSERT_EQ(peer::nc_close(nc), NC_NOERR);

  rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 1 << 20;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  // Ids are 16-bit numbers shifted up by 16 bits: 32768 failures reach
  // the negative ones.
  for (int i = 0; i < 32768; i++) failed_definition(dir.file("bad.nc"));
  std::signal(SIGXFSZ, old_handler);
  setrlimit(RLIMIT_FSIZE, &saved);

  const int before = open_descriptors();
  for (int round = 0; round < 3; round++) {
    io_std io;
    ASSERT_EQ(read_io_std(path.c_str(), &io), 1);
    var_info* v = find_var(&io, "v");
    ASSERT_NE(v, nullptr);
    const long start = 0, count = 3;
    ASSERT_EQ(read_variable_data(io.ncid, v, &start, &count), 1) << "id " << io.ncid;
    float got[3];
    std::memcpy(got, v->data.data(), sizeof got);
    EXPECT_EQ(got[0], 1.5f);
    EXPECT_EQ(got[2], 4.25f);
    EXPECT_EQ(close_netcdf(io.ncid), 1) << "id " << io.ncid;
  }
  EXPECT_EQ(open_descriptors(), before);
}

}  // namespace

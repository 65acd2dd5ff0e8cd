// The netCDF metadata helpers: time encodings, comparisons, packing and the
// linear-coordinate test, against hand values. Whole files are read through
// sdfopen in the end-to-end tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/scaling.h"
#include "data/filerec.h"
#include "sdf/ncmeta.h"

namespace {

template <class T>
netcdf_att number_att(const char* name, nc_type type, T v) {
  netcdf_att a;
  a.name = name;
  a.type = type;
  a.len = 1;
  a.values.assign(9, 0);
  std::memcpy(a.values.data(), &v, sizeof v);
  return a;
}

var_info coordinate(std::initializer_list<float> vals) {
  var_info v;
  v.type = NC_FLOAT;
  v.ndims = 1;
  v.dimids = {0};
  v.data.resize(vals.size() * sizeof(float));
  std::memcpy(v.data.data(), std::data(vals), v.data.size());
  return v;
}

struct record {
  file_descriptor* pfi = getpfi();
  ~record() { frepfi(pfi, 0); }
  float world(int d, float g) { return pfi->grid_to_world[d](pfi->grid_to_world_scaling[d], g); }
};

}  // namespace

TEST(SdfTime, StandardTimeAndDeltaT) {
  int t[6];
  double s;
  ASSERT_EQ(decode_standard_time(19990215123045.0, &t[0], &t[1], &t[2], &t[3], &t[4], &s), 1);
  EXPECT_EQ(std::vector<int>(t, t + 5), (std::vector<int>{1999, 2, 15, 12, 30}));
  EXPECT_DOUBLE_EQ(s, 45.0);
  // Split from the right: what is not there is -1.
  ASSERT_EQ(decode_standard_time(115.0, &t[0], &t[1], &t[2], &t[3], &t[4], &s), 1);
  EXPECT_EQ(std::vector<int>(t, t + 5), (std::vector<int>{-1, -1, -1, -1, 1}));
  EXPECT_DOUBLE_EQ(s, 15.0);

  ASSERT_EQ(decode_delta_t("0000-00-01 00:00:00", &t[0], &t[1], &t[2], &t[3], &t[4], &t[5]), 1);
  EXPECT_EQ(std::vector<int>(t, t + 6), (std::vector<int>{0, 0, 1, 0, 0, 0}));
  ASSERT_EQ(decode_delta_t("0000-01-00", &t[0], &t[1], &t[2], &t[3], &t[4], &t[5]), 1);
  EXPECT_EQ(std::vector<int>(t, t + 6), (std::vector<int>{0, 1, 0, -1, -1, -1}));
  EXPECT_EQ(decode_delta_t("0000-00-01T00:00:00", &t[0], &t[1], &t[2], &t[3], &t[4], &t[5]), 0);
}

TEST(SdfCompare, RelativeFloatAndAbsoluteDoubleTolerances) {
  EXPECT_EQ(flt_equal(1000.0f, 1000.0005f), 1);
  EXPECT_EQ(flt_equal(0.5f, 0.50000006f), 0);
  EXPECT_EQ(flt_equal(1000.0f, 1000.01f), 0);
  EXPECT_EQ(dbl_equal(1.0, 1.00000005), 0);
  EXPECT_EQ(dbl_equal(1.0, 1.000001), 1);
}

TEST(SdfPacking, TrivialPairsAreNotPacked) {
  double scale, offset;
  nc_type at, vt;
  var_info v;
  v.type = NC_SHORT;
  EXPECT_EQ(are_data_packed(&v, &scale, &offset, &at, &vt), 0);
  v.atts = {number_att("scale_factor", NC_FLOAT, 1.0f), number_att("add_offset", NC_FLOAT, 0.0f)};
  EXPECT_EQ(are_data_packed(&v, &scale, &offset, &at, &vt), 0);
  v.atts = {number_att("scale_factor", NC_DOUBLE, 2.0), number_att("add_offset", NC_DOUBLE, 5.0)};
  EXPECT_EQ(are_data_packed(&v, &scale, &offset, &at, &vt), 1);
  EXPECT_EQ(scale, 2);
  EXPECT_EQ(offset, 5);
  EXPECT_EQ(at, NC_DOUBLE);
  // An offset alone packs too; the scale defaults to 1.
  v.atts = {number_att("intercept", NC_INT, 7)};
  EXPECT_EQ(are_data_packed(&v, &scale, &offset, &at, &vt), 1);
  EXPECT_EQ(scale, 1);
  EXPECT_EQ(offset, 7);
}

TEST(SdfConvert, IntegerTargetsRefuseWhatTheyCannotHold) {
  float f[2] = {3.9f, -3.9f};
  int i = 0;
  short s = 0;
  EXPECT_EQ(convtype(f, NC_FLOAT, &s, NC_SHORT, 1, 0), 1);
  EXPECT_EQ(s, -3);
  double big = 1e30;
  EXPECT_EQ(convtype(&big, NC_DOUBLE, &i, NC_INT, 0, 0), 0);
  int wide = 70000;  // low 16 bits: 70000 - 65536
  EXPECT_EQ(convtype(&wide, NC_INT, &s, NC_SHORT, 0, 0), 1);
  EXPECT_EQ(s, 4464);
  signed char b = 1;
  EXPECT_EQ(convtype(&b, NC_BYTE, &i, NC_INT, 0, 0), 0);
}

// Longitudes from 180 on step across 360 and still close the circle; half a
// circle does not. Reversed latitudes come out ascending; uneven, descending,
// repeated and single values are handled without dividing by zero.
TEST(SdfLinear, WrapsReversalsAndDegenerateCoordinates) {
  var_info shifted = coordinate({180, 270, 0, 90});
  record s;
  ASSERT_EQ(trydeflin(s.pfi, &shifted, 0, 1, 0), 1);
  EXPECT_EQ(s.pfi->x_wraps, 1);
  EXPECT_FLOAT_EQ(s.world(0, 3), 360);
  var_info half = coordinate({0, 60, 120, 180});
  record h;
  ASSERT_EQ(trydeflin(h.pfi, &half, 0, 1, 0), 1);
  EXPECT_EQ(h.pfi->x_wraps, 0);

  var_info ns = coordinate({60, 20, -20, -60});
  record r;
  ASSERT_EQ(trydeflin(r.pfi, &ns, 1, 0, 1), 1);
  EXPECT_FLOAT_EQ(r.world(1, 1), -60);
  EXPECT_FLOAT_EQ(r.world(1, 4), 60);
  for (auto vals : {coordinate({0, 1, 3, 7}), coordinate({30, 20, 10}), coordinate({5, 5, 5})}) {
    record u;
    EXPECT_EQ(trydeflin(u.pfi, &vals, 0, 1, 0), 0);
  }
  var_info one = coordinate({42.5f});
  record o;
  ASSERT_EQ(trydeflin(o.pfi, &one, 0, 1, 0), 1);
  EXPECT_EQ(o.pfi->x_wraps, 0);
  EXPECT_FLOAT_EQ(o.world(0, 1), 42.5f);
  EXPECT_FLOAT_EQ(o.pfi->world_to_grid[0](o.pfi->world_to_grid_scaling[0], 42.5f), 1);
}

// The step is that of the two ends, and the axis is linear when every value
// lies on start + i * step within its float rounding; values whose
// neighbouring steps agree within a thousandth may lie up to half a step
// off. Whatever else is uneven keeps its list of values.
TEST(SdfLinear, StepFromTheEndsAndOnlyEvenAxesLinear) {
  auto floats = [](int n, auto value) {
    std::vector<float> v;
    for (int i = 0; i < n; i++) v.push_back(float(value(i)));
    return v;
  };
  float sum = -0.1f;  // a writer that adds a float step to a float
  struct c {
    const char* what;
    std::vector<float> values;
    int wrap, linear;
    int wraps;   // 1 a turn of all values, 2 of all but the last (the seam stored twice)
    double off;  // steps a value may lie off the line; 0: its float rounding
  };
  const c cases[] = {
      {"43200 float longitudes by 1/120",
       floats(43200, [](int i) { return -179.99583333333334 + i / 120.0; }), 1, 1, 1, 0},
      {"0.1 degree added up in floats", floats(3600, [&](int) { return sum += 0.1f; }), 1, 1, 1,
       0.5},
      {"-180 to 180 by 1, both ends", floats(361, [](int i) { return -180.0 + i; }), 1, 1, 2, 0},
      {"0 to 360 by 5, both ends", floats(73, [](int i) { return 5.0 * i; }), 1, 1, 2, 0},
      {"0 to 365 by 5", floats(74, [](int i) { return 5.0 * i; }), 1, 1, 0, 0},
      {"thirds to three decimals",
       floats(30, [](int i) { return std::round(i * 1000 / 3.0) / 1000; }), 0, 0, 0, 0},
      {"steps growing by 1/2000 each",
       floats(300, [](int i) { return (std::pow(1.0005, i) - 1) / 0.0005; }), 0, 0, 0, 0},
  };
  for (const c& k : cases) {
    SCOPED_TRACE(k.what);
    var_info v = coordinate({0});  // a float coordinate, its values replaced
    v.data.resize(k.values.size() * sizeof(float));
    std::memcpy(v.data.data(), k.values.data(), v.data.size());
    record r;
    const int dim = k.wrap ? 0 : 1, n = int(k.values.size());
    ASSERT_EQ(trydeflin(r.pfi, &v, dim, k.wrap, 0), k.linear);
    if (!k.linear) continue;
    EXPECT_EQ(r.pfi->x_wraps, k.wraps != 0);
    EXPECT_EQ(r.pfi->x_seam, k.wraps == 2);
    // Every value at its own grid point, within the float a world value
    // is held in; the far end on its own value.
    const double step = (double(k.values[n - 1]) - k.values[0]) / (n - 1);
    for (int i = 0; i < n; i++) {
      const double tol = k.off > 0 ? k.off * step : std::ldexp(std::fabs(k.values[i]) + 360, -21);
      ASSERT_NEAR(r.world(dim, float(i + 1)), k.values[i], tol) << i;
    }
    EXPECT_NEAR(r.world(dim, float(n)), k.values[n - 1], std::ldexp(360.0, -20));
  }
}

// Lookups are exact and bounded: a dimension id the record does not hold
// has no size.
TEST(SdfLookup, NamesAndIdsAreBounded) {
  io_std io;
  io.ndims = 2;
  io.dim_names = {"lat", "lon"};
  io.dim_sizes = {4, 8};
  EXPECT_EQ(find_dim(&io, "lon"), 1);
  EXPECT_EQ(find_dim(&io, "LON"), -1);
  EXPECT_EQ(io.dim_size(1), 8);
  EXPECT_EQ(io.dim_size(2), -1);
  EXPECT_EQ(io.dim_size(-1), -1);
  std::vector<int> ids = {3, 1};
  EXPECT_EQ(find_dimix(ids, 2, 1), 1);
  EXPECT_EQ(find_dimix(ids, 1, 1), -1);
  EXPECT_EQ(find_dimix(ids, 5, 7), -1);
}

// netCDF-4 string attributes come in as text: one string as it is, several
// joined by newlines; copies keep them.
TEST(SdfMetadata, StringAttributesBecomeText) {
  const std::string dir = ::testing::TempDir();
  const std::string cdl = dir + "strings.cdl", nc = dir + "strings.nc";
  FILE* f = std::fopen(cdl.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs(
      "netcdf s {\ndimensions:\n x = 1 ;\nvariables:\n float x(x) ;\n"
      "  string x:units = \"degrees_east\" ;\n  string x:lines = \"one\", \"two\" ;\n"
      "  x:plain = \"chars\" ;\n string :title = \"t\" ;\ndata:\n x = 1 ;\n}\n",
      f);
  std::fclose(f);
  ASSERT_EQ(std::system(("ncgen -k nc4 -o " + nc + " " + cdl).c_str()), 0);
  io_std* io = nullptr;
  ASSERT_EQ(init_io_std(&io), 1);
  ASSERT_EQ(read_io_std(nc.c_str(), io), 1);
  var_info* x = find_var(io, "x");
  ASSERT_NE(x, nullptr);
  const netcdf_att* units = find_att(x->atts, "units");
  ASSERT_NE(units, nullptr);
  EXPECT_EQ(units->type, NC_CHAR);
  EXPECT_EQ(units->len, 12);
  EXPECT_STREQ(units->text(), "degrees_east");
  EXPECT_STREQ(find_att(x->atts, "lines")->text(), "one\ntwo");
  EXPECT_STREQ(find_att(x->atts, "plain")->text(), "chars");
  EXPECT_STREQ(find_att(io->gatts, "title")->text(), "t");
  io_std* copy = nullptr;
  ASSERT_EQ(copy_io_std(&copy, io), 1);
  EXPECT_STREQ(find_att(find_var(copy, "x")->atts, "lines")->text(), "one\ntwo");
  close_netcdf(io->ncid);
  free_io_std(&copy);
  free_io_std(&io);
}

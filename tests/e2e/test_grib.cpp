// A GRIB data set end to end: messages from the test writer, the index built
// by the driver (as the GRIB writer does on closing a file), then "open" and
// "display" in a batch session.
#include <gtest/gtest.h>

#include "dataset_files.h"
#include "support/grib_writer.h"

TEST(GribDataSet, OpensAndDisplaysThroughItsIndex) {
  vemra_test::TempDir d;
  std::string grib;
  for (int t = 0; t < 2; t++) {
    gribw::message m;
    m.param = 11, m.level_type = 100, m.level = 850, m.hour = 6 * t;
    m.binary_scale = -1, m.reference = 200;  // f / 2 + 200
    m.bitmap = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1};
    for (int k = 0; k < 11; k++) m.fields.push_back(uint32_t(10 * k + t));
    grib += gribw::encode(m);
  }
  vemra_test::write_file(d.file("g.grb"), grib);
  vemra_test::write_file(d.file("g.ctl"),
                         "dset ^g.grb\nindex ^g.idx\ndtype grib\nundef -9.99e33\n"
                         "xdef 4 linear 0 90\nydef 3 linear -60 60\nzdef 2 levels 1000 850\n"
                         "tdef 2 linear 00z1jan2000 6hr\nvars 1\nt 2 11,100 temperature\nendvars\n");
  ASSERT_EQ(std::system((std::string(VEMRA_GRIBMAP) + " " + d.file("g.ctl") + " >/dev/null").c_str()), 0);
  dsfiles::expect_steps(d, "open g.ctl\nset lev 850\nset gxout print\n",
                        {{"set x 2", "-"}, {"set y 3", "-"}, {"set t 1 2", "-"},
                         // point 10 is the second of the last row: (9 * 10 + t) / 2 + 200
                         {"d t", "Printing Grid -- 2 Values -- Undef = -9.99e+33\n245 245.5 \n"},
                         {"set x 3", "-"},  // masked by the bit map
                         {"d t", "Printing Grid -- 2 Values -- Undef = -9.99e+33\n-9.99e+33 -9.99e+33 \n"},
                         {"set x 1", "-"}, {"set t 1", "-"},
                         {"d ave(t, t=1, t=2)", "Averaging.  dim = 3, start = 1, end = 2\n"
                                                "Printing Grid -- 1 Values -- Undef = -9.99e+33\n240.25 \n"},
                         {"set lev 1000", "-"},
                         {"d t", "Printing Grid -- 1 Values -- Undef = -9.99e+33\n-9.99e+33 \n"}});
}

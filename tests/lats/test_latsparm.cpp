// Parameter tables: the built-in rows (checked against the WMO code table
// that eccodes installs) and table files with their sections and errors.
#include <fstream>
#include <map>

#include "lats/latsint.h"
#include "lats_support.h"

namespace {

using LatsTables = latstest::Writer;

// Title of a parameter in eccodes' copy of the WMO GRIB 1 code table 2.
std::map<int, std::string> wmo_titles() {
  std::map<int, std::string> out;
  std::ifstream in("/usr/share/eccodes/definitions/grib1/2.0.3.table");
  for (std::string line; std::getline(in, line);) {
    std::istringstream ls(line);
    int code;
    std::string a, b;
    if (ls >> code >> a >> b) {
      std::string rest;
      std::getline(ls, rest);
      out[code] = rest;
    }
  }
  return out;
}

TEST_F(LatsTables, BuiltInRowsFollowTheWmoCodeTable) {
  ASSERT_EQ(latsParmCreateDefaultTable(), 1);
  auto wmo = wmo_titles();
  if (wmo.empty()) GTEST_SKIP() << "no eccodes definitions";
  // Name, and a phrase both our title and the code table's entry hold.
  const std::pair<const char*, const char*> rows[] = {
      {"clt", "Total cloud cover"},
      {"hfls", "Latent heat flux"},
      {"hus", "Specific humidity"},
      {"mrro", "run-off"},
      {"prc", "Convective precipitation"},
      {"ps", "ressure"},
      {"rlns", "Net long-wave radiation flux (surface)"},
      {"tasmax", "Maximum temperature"},
      {"ua", "wind"},
      {"zg", "Geopotential height"},
      {"ta", "Temperature"},
  };
  for (const auto& [name, phrase] : rows) {
    const latsParm* p = latsParmLookup(name);
    ASSERT_NE(p, nullptr) << name;
    ASSERT_TRUE(wmo.count(p->id)) << name << " " << p->id;
    EXPECT_NE(wmo[p->id].find(phrase), std::string::npos) << name << ": " << wmo[p->id];
  }
  // The rows the code table lacks carry the "missing" number, not a guess.
  EXPECT_EQ(latsParmLookup("rlds")->id, 255);
  // huss is a surface parameter two metres up: level type 105, value 2.
  const latsParm* huss = latsParmLookup("huss");
  ASSERT_NE(huss->verttype, nullptr);
  EXPECT_EQ(huss->verttype->gribid, 105);
  EXPECT_EQ(huss->verttype->grib_p3, 2);
  EXPECT_EQ(latsParmLookup("HUSS"), nullptr);  // names are exact
  ASSERT_NE(latsCenterLookup(" NCEP "), nullptr);
  EXPECT_EQ(latsCenterLookup("ncep")->gribid, 21);
}

const char* table =
    "# a comment\n"
    "ta | 11 | Air temperature | K | float | | 1 | | x | y\n"
    "tsfc | 11 | Surface temperature | K | float | sfc | 1 | 12 | x | y\n"
    "cnt | 200 | A count | 1 | INT | | 0 | | x | y\n"
    "#!   VERT\n"
    "plev | Pressure level | hPa | multi | down | 100 | 0 | 0 | 0\n"
    "sfc | Earth surface | | single | up | 1 | 0 | 0 | 0\n"
    "#! vertical\n"
    "#!center\n"
    "mine | 7 | 98 | 3\n"
    "#!qc\n"
    "ta | plev | 500 | 250 | 10 | 3 | 60 | 1.5\n";

TEST_F(LatsTables, TableFileSectionsAndRows) {
  vemra_test::write_file(path("t.tab"), table);
  // "#! vertical" is no section: warned about, the reading goes on.
  latstest::expect_stderr(1, "Warning: section delimiter: vertical, ignored in parameter file",
                          [&] { return lats_parmtab(path("t.tab").c_str()); });
  const latsParm* cnt = latsParmLookup("cnt");
  ASSERT_NE(cnt, nullptr);
  EXPECT_EQ(cnt->datatype, LATS_INT);
  EXPECT_EQ(latsParmLookup("tsfc")->precision, 12);
  EXPECT_EQ(latsParmLookup("tsfc")->verttype->gribid, 1);
  EXPECT_EQ(latsCenterLookup("MINE")->grib_center, 98);
  const latsQC* qc = latsQCLookup("ta", "plev", 500.04, 0.1);
  ASSERT_NE(qc, nullptr);
  EXPECT_FLOAT_EQ(qc->rangetol, 1.5f);
  EXPECT_EQ(latsQCLookup("ta", "plev", 850, 0.1), nullptr);
}

TEST_F(LatsTables, BadRowsFailTheLoadAndKeepTheTables) {
  vemra_test::write_file(path("t.tab"), table);
  ASSERT_EQ(lats_parmtab(path("t.tab").c_str()), 1);
  // A precision beyond 24 bits is an error (the process goes on), and the
  // tables loaded before stay usable.
  vemra_test::write_file(path("bad.tab"), "zz | 11 | Z | K | float | | 1 | 40 | x | y\n");
  std::string err =
      latstest::stderr_of([&] { EXPECT_EQ(lats_parmtab(path("bad.tab").c_str()), 0); });
  EXPECT_EQ(err,
            "LATS error (lats_parmtab): LATS (latsint) --> Invalid precision: 40\n"
            "LATS error (lats_parmtab): LATS (latsint) --> line 1, parameter file " +
                path("bad.tab") + "\n");
  EXPECT_NE(latsParmLookup("tsfc"), nullptr);
  EXPECT_EQ(latsParmLookup("zz"), nullptr);
  // Blanks before '#' make a row: too few fields.
  vemra_test::write_file(path("short.tab"),
                         "ok | 1 | a | b | float | | 0 | 8 | x | y\n  # not a comment\n");
  latstest::expect_stderr(0, "Invalid parameter file entry:   # not a comment",
                          [&] { return lats_parmtab(path("short.tab").c_str()); });
}

TEST_F(LatsTables, RowsBeyondTheLimitAreIgnoredWithOneMessage) {
  std::string rows;
  for (int i = 0; i < 512; ++i)
    rows += "v" + std::to_string(1000 + i) + " | 1 | t | u | float | | 0 | 8 | x | y\n";
  vemra_test::write_file(path("512.tab"), rows);
  EXPECT_EQ(latstest::stderr_of([&] { EXPECT_EQ(lats_parmtab(path("512.tab").c_str()), 1); }), "");
  vemra_test::write_file(path("513.tab"), rows + "zlast | 1 | t | u | float | | 0 | 8 | x | y\n");
  latstest::expect_stderr(1, "Maximum number of parameters = 512, remainder ignored",
                          [&] { return lats_parmtab(path("513.tab").c_str()); });
  EXPECT_NE(latsParmLookup("v1511"), nullptr);
  EXPECT_EQ(latsParmLookup("zlast"), nullptr);
}

}  // namespace

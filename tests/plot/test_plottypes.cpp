// The output-type and projection tables against the documented words: the
// rows name exactly the documented "set gxout" and "set mproj" words, each
// word's rows set the documented codes, and nothing else answers.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>

#include "base/session.h"
#include "gx/proj.h"
#include "plot/plottype.h"

namespace {

// Documented codes of each "set gxout" word, by session field:
// general, 1-D, 1-D vector, 2-D, 2-D vector, station, time-series sub-mode
// (-1: left alone).
struct codes {
  int general, one_d, one_d_vector, two_d, two_d_vector, station, sub;
};
const std::map<std::string, codes> documented = {
    {"contour", {0, -1, -1, 1, -1, -1, -1}},   {"shaded", {0, -1, -1, 2, -1, -1, -1}},
    {"grid", {0, -1, -1, 3, 3, -1, -1}},       {"vector", {0, -1, 1, -1, 4, 6, -1}},
    {"scatter", {0, -1, -1, -1, 5, -1, -1}},   {"fgrid", {0, -1, -1, 6, -1, -1, -1}},
    {"fwrite", {0, -1, -1, 7, -1, -1, -1}},    {"latsgrid", {0, -1, -1, 20, -1, -1, -1}},
    {"latsdata", {0, -1, -1, 21, -1, -1, -1}}, {"stream", {0, -1, -1, -1, 8, -1, -1}},
    {"grfill", {0, -1, -1, 10, -1, -1, -1}},   {"pgrid", {0, -1, -1, 11, -1, -1, -1}},
    {"value", {0, -1, -1, -1, -1, 1, -1}},     {"barb", {0, -1, 2, -1, 9, 2, -1}},
    {"findstn", {0, -1, -1, -1, -1, 3, -1}},   {"model", {0, -1, -1, -1, -1, 4, -1}},
    {"wxsym", {0, -1, -1, -1, -1, 5, -1}},     {"stnmark", {0, -1, -1, -1, -1, 7, -1}},
    {"line", {0, 1, -1, -1, -1, -1, 0}},       {"bar", {0, 2, -1, -1, -1, -1, -1}},
    {"errbar", {0, 3, -1, -1, -1, -1, -1}},    {"linefill", {0, 4, -1, -1, -1, -1, -1}},
    {"stat", {1, -1, -1, -1, -1, -1, -1}},     {"print", {2, -1, -1, -1, -1, -1, -1}},
    {"writegds", {3, -1, -1, -1, -1, -1, -1}}, {"tserwx", {0, -1, -1, -1, -1, -1, 1}},
    {"tserbarb", {0, -1, -1, -1, -1, -1, 2}},
};

// Every field set to a value no word gives, so that what a word leaves
// alone stays visible.
session_state marked() {
  session_state s;
  s.gxout_general = static_cast<general_output>(99);
  s.gxout_1d = static_cast<line_output>(99);
  s.gxout_1d_vector = static_cast<line_vector_output>(99);
  s.gxout_2d = static_cast<field_output>(99);
  s.gxout_2d_vector = static_cast<field_vector_output>(99);
  s.gxout_station = static_cast<station_output>(99);
  s.gxout_sub = static_cast<series_output>(99);
  return s;
}

TEST(OutputTypeRows, EachDocumentedWordSetsItsCodesAndNoOtherWordExists) {
  for (const auto& [word, want] : documented) {
    session_state s = marked();
    ASSERT_TRUE(set_plot_type(&s, word.c_str())) << word;
    auto kept = [](int w) { return w < 0 ? 99 : w; };
    EXPECT_EQ(int(s.gxout_general), want.general) << word;
    EXPECT_EQ(int(s.gxout_1d), kept(want.one_d)) << word;
    EXPECT_EQ(int(s.gxout_1d_vector), kept(want.one_d_vector)) << word;
    EXPECT_EQ(int(s.gxout_2d), kept(want.two_d)) << word;
    EXPECT_EQ(int(s.gxout_2d_vector), kept(want.two_d_vector)) << word;
    EXPECT_EQ(int(s.gxout_station), kept(want.station)) << word;
    EXPECT_EQ(int(s.gxout_sub), kept(want.sub)) << word;
  }
  std::set<std::string> rows;
  for (const plot_type& t : plot_types())
    if (t.word) rows.insert(t.word);
  for (const std::string& w : rows) EXPECT_EQ(documented.count(w), 1u) << w << " is not documented";
  // An unknown word sets nothing but the general output back to plot.
  session_state s = marked();
  EXPECT_FALSE(set_plot_type(&s, "contours"));
  EXPECT_EQ(int(s.gxout_general), 0);
  EXPECT_EQ(int(s.gxout_2d), 99);
}

// The "q gxinfo" names of the plot codes, as documented; the codes no plot
// records print nothing.
TEST(OutputTypeRows, PlotCodesCarryTheirDocumentedNames) {
  const std::pair<int, const char*> names[] = {
      {0, "Clear"},   {1, "Contour"},   {2, "Shaded"},  {3, "Vector"}, {4, "Grid"},
      {5, "Fgrid"},   {6, "Line"},      {8, "Bar"},     {9, "Stream"}, {10, "Value"},
      {11, "Model"},  {12, "Wxsym"},    {13, "Line"},   {14, "Line"},  {15, "Barb"},
      {16, "GrFill"}, {17, "LineFill"}, {20, "Fwrite"}, {21, "Fstn"},  {30, ""},
  };
  for (const auto& [code, name] : names)
    EXPECT_STREQ(plot_code_name(static_cast<plot_code>(code)), name) << code;
}

TEST(ProjectionRows, EachDocumentedWordNamesItsCode) {
  const std::pair<const char*, int> words[] = {
      {"off", 0},          {"scaled", 1},   {"latlon", 2},    {"nps", 3},
      {"sps", 4},          {"robinson", 5}, {"mollweide", 6}, {"orthogr", 7},
      {"orthographic", 7}, {"ortho", 7},    {"lambert", 13},
  };
  std::set<std::string> known;
  for (const auto& [word, code] : words) {
    known.insert(word);
    const projection_kind* k = projection_named(word);
    ASSERT_NE(k, nullptr) << word;
    EXPECT_EQ(code_of(k->code), code) << word;
    EXPECT_EQ(projection_of(k->code), k) << word;
  }
  for (const projection_kind& k : projection_kinds())
    for (const char* w : k.words) {
      if (!w) continue;
      EXPECT_EQ(known.count(w), 1u) << w << " is not documented";
    }
  EXPECT_EQ(projection_named("mercator"), nullptr);
  EXPECT_EQ(projection_of(static_cast<map_projection>(8)), nullptr);
  // Only the two polar stereographic projections are seen from a pole.
  for (const auto& [word, code] : words)
    EXPECT_EQ(is_polar(projection_named(word)->code), code == 3 || code == 4) << word;
}

}  // namespace

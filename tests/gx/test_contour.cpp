// Contour tracing on small grids with known lines, read back from the
// display list (grid coordinates are page inches unless a transform is set).
#include <gtest/gtest.h>

#include <set>

#include "gx/test_contour_util.h"

using namespace cntest;

namespace {

using lines_t = std::vector<std::vector<xy>>;

class ContourTest : public ::testing::Test {
 protected:
  void SetUp() override { fresh_page(); }
  void TearDown() override {
    gxgrid(nullptr);
    gxclab(0.1f, false, -1);
    gxcrel();
  }
};

struct line_case {
  const char* what;
  int isiz, jsiz;
  std::function<float(int, int)> f;
  float level;
  lines_t want;
};

TEST_F(ContourTest, KnownGridsGiveKnownLines) {
  const line_case cases[] = {
      {"values rise by column",
       3,
       3,
       [](int i, int) { return float(i); },
       1.5f,
       {{{1.5, 3}, {1.5, 2}, {1.5, 1}}}},
      {"a value on the level counts as below",
       4,
       2,
       [](int i, int) { return i == 1   ? -1.f
                               : i == 4 ? 1.f
                                        : 0.f; },
       0.f,
       {{{3, 2}, {3, 1}}}},
      {"a peak closes with its first point repeated",
       5,
       5,
       [](int i, int j) { return (i == 3 && j == 3) ? 1.f : 0.f; },
       0.5f,
       {{{3, 2.5}, {2.5, 3}, {3, 3.5}, {3.5, 3}, {3, 2.5}}}},
      {"undefined data cuts a line into open pieces",
       5,
       5,
       [](int i, int j) { return (i == 3 && j == 3) ? kUndef : float(i); },
       2.5f,
       {{{2.5, 2}, {2.5, 1}}, {{2.5, 5}, {2.5, 4}}}},
      {"equal saddle pairings join bottom with right",
       2,
       2,
       [](int i, int j) { return i == j ? 1.f : 0.f; },
       0.5f,
       {{{2, 1.5}, {1.5, 1}}, {{1.5, 2}, {1, 1.5}}}},
      // LL 1, LR 0, UR 0.6, UL 0: |BL| + |RT| = 0.943 beats |BR| + |LT| =
      // 1.944; the right-top piece, crossing only last edges, comes after
      // it: 0.5 lies 0.5/0.6 of the way from 0 to 0.6 on the top and right.
      {"a saddle takes the shorter pairing",
       2,
       2,
       [](int i, int j) { return i == 1 ? (j == 1 ? 1.f : 0.f) : (j == 1 ? 0.f : 0.6f); },
       0.5f,
       {{{1, 1.5}, {1.5, 1}}, {{1 + 0.5 / 0.6, 2}, {2, 1 + 0.5 / 0.6}}}},
      // A single 1 in a corner of zeros: the line at 0.5 cuts that corner's
      // cell half way along its two sides, whichever corner it is.
      {"the top-right corner cell",
       5,
       5,
       [](int i, int j) { return (i == 5 && j == 5) ? 1.f : 0.f; },
       0.5f,
       {{{4.5, 5}, {5, 4.5}}}},
      {"the bottom-left corner cell",
       5,
       5,
       [](int i, int j) { return (i == 1 && j == 1) ? 1.f : 0.f; },
       0.5f,
       {{{1, 1.5}, {1.5, 1}}}},
      {"the top-left corner cell",
       5,
       5,
       [](int i, int j) { return (i == 1 && j == 5) ? 1.f : 0.f; },
       0.5f,
       {{{1.5, 5}, {1, 4.5}}}},
      {"the bottom-right corner cell",
       5,
       5,
       [](int i, int j) { return (i == 5 && j == 1) ? 1.f : 0.f; },
       0.5f,
       {{{5, 1.5}, {4.5, 1}}}},
      // The top-right piece is traced after every line that has a start
      // edge, and the line through the top row is drawn once.
      {"the top-right corner cell beside a line through the top row",
       4,
       3,
       [](int i, int j) { return (i == 4 && j == 3) || i == 1 ? 1.f : 0.f; },
       0.5f,
       {{{1.5, 3}, {1.5, 2}, {1.5, 1}}, {{3.5, 3}, {4, 2.5}}}},
      {"all undefined", 6, 5, [](int, int) { return kUndef; }, 0.f, {}},
  };
  for (const line_case& c : cases) {
    fresh_page();
    auto g = make_grid(c.isiz, c.jsiz, c.f);
    gxclev(g.data(), c.isiz, c.jsiz, 1, c.isiz, 1, c.jsiz, c.level, "", false, contour_labels::on,
           kUndef);
    frame_content fr = read_frame();
    ASSERT_EQ(fr.lines.size(), c.want.size()) << c.what;
    for (std::size_t l = 0; l < c.want.size(); ++l) {
      ASSERT_EQ(fr.lines[l].size(), c.want[l].size()) << c.what;
      for (std::size_t k = 0; k < c.want[l].size(); ++k)
        EXPECT_TRUE(same(fr.lines[l][k], c.want[l][k]))
            << c.what << ", line " << l << " point " << k;
    }
  }
}

void twice_shifted(float x, float y, float* xo, float* yo) {
  *xo = 2 * x;
  *yo = y + 1;
}

TEST_F(ContourTest, PointsGoThroughTheGridTransformIntoThousandths) {
  auto g = make_grid(3, 3, [](int i, int) { return float(i); });
  gxgrid(twice_shifted);
  gxclev(g.data(), 3, 3, 1, 3, 2, 3, 1.5f, "", false, contour_labels::on, kUndef);  // rows 2-3 only
  std::vector<int> words;
  for (const metafile_span& s : gxhspans(stored_frame::drawing))
    words.insert(words.end(), s.words, s.words + s.count);
  std::vector<int> want = {MF_MOVE, 3000, 4000, MF_DRAW, 3000, 3000};
  ASSERT_GE(words.size(), want.size());
  EXPECT_EQ(std::vector<int>(words.end() - want.size(), words.end()), want);
}

void quarter(float x, float y, float* xo, float* yo) {
  *xo = 0.25f * x;
  *yo = 0.25f * y;
}

TEST_F(ContourTest, LineLongerThanTheBufferComesInOpenPiecesThatMeet) {
  // A comb: the top row and every fourth column are 1. The boundary of the
  // ones is one open line far longer than the tracer's buffer holds.
  const int n = 41, m = 12;
  auto g =
      make_grid(n, m, [&](int i, int j) { return (j == m || (i % 4 == 3 && j >= 2)) ? 1.f : 0.f; });
  gxgrid(quarter);
  gxclev(g.data(), n, m, 1, n, 1, m, 0.5f, "", false, contour_labels::on, kUndef);
  frame_content f = read_frame();
  ASSERT_GE(f.lines.size(), 2u);

  auto key = [](double x, double y) {
    return std::make_pair(std::lround(x * 1000), std::lround(y * 1000));
  };
  std::set<std::pair<long, long>> want, got;
  auto at = [&](int i, int j) { return g[(j - 1) * n + (i - 1)] > 0.5f; };
  for (int j = 1; j <= m; ++j)
    for (int i = 1; i <= n; ++i) {
      if (i < n && at(i, j) != at(i + 1, j)) want.insert(key(0.25 * (i + 0.5), 0.25 * j));
      if (j < m && at(i, j) != at(i, j + 1)) want.insert(key(0.25 * i, 0.25 * (j + 0.5)));
    }
  for (const auto& l : f.lines)
    for (const xy& p : l) got.insert(key(p.x, p.y));
  EXPECT_EQ(got, want);  // every crossing drawn
  EXPECT_GT(want.size(), 200u);

  // No piece is closed; every end meets another piece or the grid's side.
  for (std::size_t k = 0; k < f.lines.size(); ++k) {
    const auto& l = f.lines[k];
    EXPECT_FALSE(same(l.front(), l.back())) << "piece " << k;
    for (const xy& e : {l.front(), l.back()}) {
      bool ok = std::fabs(e.x - 0.25) < 1e-3 || std::fabs(e.x - 0.25 * n) < 1e-3;
      for (std::size_t o = 0; o < f.lines.size(); ++o)
        ok = ok || (o != k && (same(f.lines[o].front(), e) || same(f.lines[o].back(), e)));
      EXPECT_TRUE(ok) << "loose end of piece " << k << " at " << e.x << " " << e.y;
    }
  }
}

}  // namespace

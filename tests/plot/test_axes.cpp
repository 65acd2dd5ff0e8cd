// Axis labels (values chosen, longitude and latitude texts, intervals), the
// frame by projection, time-axis steps and the time stamp.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "base/session.h"
#include "support/stdout_capture.h"
#include "gx/gx.h"
#include "gx/metafile.h"
#include "gx/test_drawing_util.h"
#include "plot/plot2d.h"

namespace {

std::unique_ptr<session_state> page() {
  gxhlimits(0, 0);
  gxstrt(11, 8.5, true);
  gxfrme(frame_action::clear);
  auto s = std::make_unique<session_state>();
  s->plot_x_low = 1.5f;
  s->plot_x_high = 10.5f;
  s->plot_y_low = 1;
  s->plot_y_high = 8;
  s->grid = 0;
  return s;
}

std::vector<float> labels_of(const float* levs, int n) {
  return std::vector<float>(levs, levs + n);
}

size_t frame_words() { return gxtest::frame_words().size(); }

TEST(Axes, LongitudeAndLatitudeTexts) {
  char t[32];
  const struct {
    float v;
    const char* lon;
    const char* lat;
  } cases[] = {{0, "0", "EQ"},        {60, "60E", "60N"},  {180, "180", "180N"},
               {240, "120W", "240N"}, {-60, "60W", "60S"}, {12.5f, "12.5E", "12.5N"}};
  for (const auto& c : cases) {
    kalnch(c.v, t);
    EXPECT_STREQ(t, c.lon) << c.v;
    kaltch(c.v, t);
    EXPECT_STREQ(t, c.lat) << c.v;
  }
}

TEST(Axes, AutomaticIntervalsSnapOnMapAxes) {
  auto s = page();
  s->dim_min[0] = 0;
  s->dim_max[0] = 360;
  s->dim_min[1] = -90;
  s->dim_max[1] = 90;
  kaaxis(plot_axis::x, s.get(), axis_code::lon);
  EXPECT_EQ(labels_of(s->xlevs, 7), (std::vector<float>{0, 60, 120, 180, 240, 300, 360}));
  kaaxis(plot_axis::y, s.get(), axis_code::lat);
  EXPECT_EQ(labels_of(s->ylevs, 7), (std::vector<float>{-90, -60, -30, 0, 30, 60, 90}));
  EXPECT_GT(s->ylpos_work, 0.0f);  // the left labels' width is kept

  // With grid lines: ticks out of the plot area and lines across it, up
  // for the x axis and along for the y axis.
  struct segments : metafile_sink {
    float x = 0, y = 0;
    int ticks_down = 0, ticks_left = 0, up = 0, along = 0;
    void move(float nx, float ny) override { x = nx, y = ny; }
    void draw(float nx, float ny) override {
      auto near = [](float a, float b) { return std::fabs(a - b) < 1e-4f; };
      ticks_down += near(x, nx) && near(y, 1) && near(ny, 1 - 0.4f * 0.11f);
      ticks_left += near(y, ny) && near(x, 1.5f) && near(nx, 1.5f - 0.4f * 0.11f);
      up += near(x, nx) && near(y, 1) && near(ny, 8);
      along += near(y, ny) && near(x, 1.5f) && near(nx, 10.5f);
      move(nx, ny);
    }
  } seen;
  gxfrme(frame_action::clear);
  s->grid = 1;
  kaaxis(plot_axis::x, s.get(), axis_code::lon);
  kaaxis(plot_axis::y, s.get(), axis_code::lat);
  EXPECT_EQ(gxhwalk(stored_frame::drawing, seen), 0);
  EXPECT_EQ(seen.ticks_down, 7);
  EXPECT_EQ(seen.ticks_left, 7);
  EXPECT_EQ(seen.up, 7);
  EXPECT_EQ(seen.along, 7);
}

TEST(Axes, NegativeIntervalCountsFromTheRangeStart) {
  auto s = page();
  s->dim_min[2] = 3;
  s->dim_max[2] = 30;
  s->xlint = -7;
  kaaxis(plot_axis::x, s.get(), axis_code::lev);
  EXPECT_EQ(labels_of(s->xlevs, 5), (std::vector<float>{3, 10, 17, 24, 31}));
  // A positive interval is rounded to its multiples.
  s->xlint = 7;
  kaaxis(plot_axis::x, s.get(), axis_code::lev);
  EXPECT_EQ(labels_of(s->xlevs, 4), (std::vector<float>{7, 14, 21, 28}));
}

// Number labels keep "%g" while the labels of different values print apart,
// and take as many more digits as part them, up to a float's nine.
TEST(Axes, NumberLabelsTakeTheDigitsThatPartThem) {
  const struct {
    std::vector<float> values;
    int digits;
  } cases[] = {
      {{0, 60, 120, 180}, 6},
      {{0.000123456f, 0.000123457f}, 6},
      {{5, 5, 10}, 6},  // one value twice is no reason for more digits
      {{225.2470f, 225.2471f, 225.2472f}, 7},
      {{101324, 101324.5f, 101325, 101325.5f}, 7},
      {{225.24700f, 225.24705f, 225.24710f}, 8},
      {{1, std::nextafter(1.0f, 2.0f)}, 8},   // 1 and 1.0000001
      {{123479.0859375f, 123479.09375f}, 9},  // neighbours: 123479.086, 123479.094
  };
  for (const auto& c : cases) EXPECT_EQ(label_digits(c.values), c.digits) << c.values[1];

  // Drawn on a value axis of 0.5 steps about 101325 Pa: "%g" prints
  // 101324 101324 101325 101326 101326; the widest label is now 101324.5.
  auto s = page();
  s->vrange[0] = 101323.8f;
  s->vrange[1] = 101326.2f;
  s->ylint = 0.5f;
  kaaxis(plot_axis::y, s.get(), axis_code::value);
  EXPECT_EQ(labels_of(s->ylevs, 5),
            (std::vector<float>{101324, 101324.5f, 101325, 101325.5f, 101326}));
  float wide = 0;
  gxchln("101324.5", 8, s->ylopts_size, &wide);
  EXPECT_FLOAT_EQ(s->ylpos_work, 0.8f * (wide + s->ylopts_size));
}

TEST(Axes, RefusalsAndSwitches) {
  auto s = page();
  s->dim_min[2] = s->dim_max[2] = 500;
  EXPECT_EQ(stdout_of([&] { kaaxis(plot_axis::x, s.get(), axis_code::lev); }),
            "kaaxis internal logic check 24 \n");
  s->dim_max[2] = 1000;
  s->xlab = 0;
  size_t before = frame_words();
  kaaxis(plot_axis::x, s.get(), axis_code::lev);
  EXPECT_EQ(frame_words(), before);  // labels off: no axis at all
  s->xlab = 1;
  s->xaxis_set = 1;
  s->xaxis_range[0] = 0;
  s->xaxis_range[1] = 4;
  s->xaxis_incr = 2;
  EXPECT_NE(stdout_of([&] {
              kaaxis(plot_axis::x, s.get(), axis_code::lev);
            }).find("X axis labels overridden"),
            std::string::npos);
  EXPECT_EQ(labels_of(s->xlevs, 3), (std::vector<float>{0, 2, 4}));
}

TEST(Axes, FrameByProjection) {
  auto s = page();
  const struct {
    int frame, mproj;
    bool drawn;
  } cases[] = {{1, 1, true},  {1, 4, true}, {1, 5, false}, {1, 13, false},
               {2, 3, false}, {2, 2, true}, {0, 2, false}};
  for (const auto& c : cases) {
    s->frame = c.frame;
    s->mproj = static_cast<map_projection>(c.mproj);  // the stored numbers
    size_t before = frame_words();
    kafram(s.get());
    EXPECT_EQ(frame_words() > before, c.drawn) << c.frame << " " << c.mproj;
  }
}

std::vector<int> fields(const date_time& t) { return {t.year, t.month, t.day, t.hour, t.minute}; }

TEST(TimeAxis, StepsAndFirstLabels) {
  auto s = page();
  date_time first, step;
  const struct {
    date_time start, end;
    int unit;
    date_time step, first;
  } cases[] = {
      // three days: 12-hour steps; 00:30 rounds to 12:00 of the first day
      {{2000, 1, 1, 0, 30}, {2000, 1, 4, 0, 30}, 4, {0, 0, 0, 12, 0}, {2000, 1, 1, 12, 0}},
      // 200 days: monthly; 15 January 06:00 goes to 1 February
      {{2000, 1, 15, 6, 0}, {2000, 8, 2, 6, 0}, 2, {0, 1, 0, 0, 0}, {2000, 2, 1, 0, 0}},
      // 30 years: interval 3 becomes 5
      {{1961, 1, 1, 0, 0}, {1991, 1, 1, 0, 0}, 1, {5, 0, 0, 0, 0}, {1965, 1, 1, 0, 0}},
      // 2-day steps from 28 March: 29 March rolls to 1 April
      {{2001, 3, 28, 0, 0}, {2001, 4, 20, 0, 0}, 3, {0, 0, 2, 0, 0}, {2001, 4, 1, 0, 0}},
      // rounding up past the last hour and minute carries into the next day, hour
      {{2000, 1, 1, 13, 0}, {2000, 1, 4, 13, 0}, 4, {0, 0, 0, 12, 0}, {2000, 1, 2, 0, 0}},
      {{2000, 12, 31, 23, 59}, {2001, 1, 1, 0, 15}, 5, {0, 0, 0, 0, 2}, {2001, 1, 1, 0, 0}},
  };
  for (const auto& c : cases) {
    s->time_start = c.start;
    s->time_end = c.end;
    EXPECT_EQ(katinc(s.get(), &first, &step), c.unit);
    EXPECT_EQ(fields(step), fields(c.step));
    EXPECT_EQ(fields(first), fields(c.first));
  }
}

TEST(TimeLabel, StampPlacementAndClockFailures) {
  auto s = page();
  s->real_page_width = 11;
  // A time the calendar cannot hold is refused, and the session goes on.
  StdoutCapture cap(2);
  EXPECT_EQ(get_tm_struct(LLONG_MAX), -1);
  EXPECT_NE(cap.text().find("error in gmtime function"), std::string::npos);
  // 86400 s after the epoch in UTC (tests run with TZ=UTC) is 2 January 1970.
  EXPECT_EQ(get_tm_struct(86400 + 3 * 3600 + 5 * 60), 2);
  const int* t = katmobj();
  EXPECT_EQ(std::vector<int>(t, t + 5), (std::vector<int>{1970, 1, 2, 3, 5}));

  s->dim_varying[0] = s->dim_varying[1] = s->dim_varying[3] = 1;
  size_t before = frame_words();
  katmlb(s.get());
  EXPECT_EQ(frame_words(), before);  // three varying dimensions: no stamp
  s->dim_varying[3] = 0;
  katmlb(s.get());
  float xmin = 1e9f;
  for (const gxtest::rec& r : gxtest::records("md")) xmin = std::min(xmin, r.x);
  EXPECT_GE(xmin, 9.64f - 0.01f);
  EXPECT_LT(xmin, 9.64f + 0.1f);
}

}  // namespace

// Month axes whose first date lies at the end of a month, read through
// descriptors, templates, sdfopen and xdfopen: every step is the date the
// calendar gives (std::chrono, or cdo for the 365-day calendar) and reads its
// own data.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dataset_files.h"
#include "hardcopy.h"
#include "lats_files.h"
#include "support/live_session.h"

using namespace vemra_test;
using dsfiles::answer;

namespace {

struct ymd {
  int y, m, d;
};

// Step k (from 0) of a month axis from y-m-d: k months on, the day held at
// the month's last day where the month is shorter.
ymd month_on(int y, int m, int d, int k) {
  using namespace std::chrono;
  year_month_day t = year{y} / month{unsigned(m)} / day{unsigned(d)};
  t += months{k};
  if (!t.ok()) t = t.year() / t.month() / last;
  return {int(t.year()), int(unsigned(t.month())), int(unsigned(t.day()))};
}

// The dates cdo gives for the times of a netCDF file.
std::vector<ymd> cdo_dates(const std::string& file) {
  std::istringstream in(latsfiles::command_output("cdo -s showdate " + file + " 2>/dev/null"));
  std::vector<ymd> v;
  std::string w;
  while (in >> w) {
    ymd t{};
    if (std::sscanf(w.c_str(), "%d-%d-%d", &t.y, &t.m, &t.d) == 3) v.push_back(t);
  }
  return v;
}

std::string hour0(const ymd& t) {
  static const char* mon[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                              "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  char buf[32];
  std::snprintf(buf, sizeof buf, "00Z%02d%s%d", t.d, mon[t.m - 1], t.y);
  return buf;
}

std::string low(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string floats(const std::vector<float>& v) {
  return std::string(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(float));
}

// One-point binary data set of n times, step t holding t (or one file per
// time with the template).
void binary_set(const TempDir& dir, const std::string& start, int n, bool monthly_files) {
  std::string ctl = std::string("dset ^") + (monthly_files ? "m%y4%m2.bin" : "a.bin") +
                    "\nundef -999\noptions little_endian" + (monthly_files ? " template" : "") +
                    "\nxdef 1 linear 0 1\nydef 1 linear 0 1\nzdef 1 linear 0 1\ntdef " +
                    std::to_string(n) + " linear " + start + " 1mo\nvars 1\nv 0 99 v\nendvars\n";
  write_file(dir.file("a.ctl"), ctl);
  if (!monthly_files) {
    std::vector<float> v;
    for (int t = 1; t <= n; t++) v.push_back(float(t));
    write_file(dir.file("a.bin"), floats(v));
  }
}

// A netCDF file of one point at lon 0 (and 10) whose times are the given
// values in the units and calendar; step t holds t.
void netcdf_set(const TempDir& dir, const std::string& units, const std::string& calendar,
                const std::string& times, int n) {
  std::string v;
  for (int t = 1; t <= n; t++) v += (t > 1 ? ", " : "") + std::to_string(t) + ", 0";
  std::string cdl =
      "netcdf me {\ndimensions:\n time = UNLIMITED ; lat = 1 ; lon = 2 ;\n"
      "variables:\n double time(time) ; time:units = \"" +
      units + "\" ; time:calendar = \"" + calendar +
      "\" ;\n float lat(lat) ; lat:units = \"degrees_north\" ;\n"
      " float lon(lon) ; lon:units = \"degrees_east\" ;\n"
      " float v(time, lat, lon) ;\ndata:\n time = " +
      times + " ;\n lat = 0 ;\n lon = 0, 10 ;\n v = " + v + " ;\n}\n";
  write_file(dir.file("me.cdl"), cdl);
  ASSERT_EQ(std::system(("ncgen -o " + dir.file("me.nc") + " " + dir.file("me.cdl")).c_str()), 0);
}

}  // namespace

// Step n is the start plus n-1 months with the day held at the month's end,
// reads the n-th field, and its date goes back to step n; a range over every
// step defines every step and no more.
TEST(MonthAxis, EndOfMonthStartsStepMonthByMonth) {
  if (std::system("cdo -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "no cdo";
  struct axis_case {
    const char* name;
    int n;
    const char* open;
    ymd start;          // dates by std::chrono from here, unless
    bool dates_by_cdo;  // cdo reads the file's own times
  };
  const axis_case cases[] = {
      {"descriptor from 31 March", 12, "open a.ctl", {1999, 3, 31}, false},
      {"descriptor from 30 January", 14, "open a.ctl", {2003, 1, 30}, false},
      {"descriptor from 29 February", 13, "open a.ctl", {2000, 2, 29}, false},
      {"template of monthly files", 6, "open a.ctl", {2001, 1, 31}, false},
      {"sdfopen, days at month ends", 6, "sdfopen me.nc", {}, true},
      {"sdfopen, 365-day month ends", 6, "sdfopen me.nc", {}, true},
      {"xdfopen with its own tdef", 6, "xdfopen x.ctl", {2000, 1, 31}, false},
  };
  for (const axis_case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string name = c.name;
    std::vector<ymd> dates;
    for (int k = 0; k < c.n && !c.dates_by_cdo; k++)
      dates.push_back(month_on(c.start.y, c.start.m, c.start.d, k));
    if (name.starts_with("descriptor")) binary_set(dir, low(hour0(c.start)), c.n, false);
    if (name.starts_with("template")) {
      binary_set(dir, low(hour0(c.start)), c.n, true);
      for (int t = 1; t <= c.n; t++) {
        char file[32];
        std::snprintf(file, sizeof file, "m%04d%02d.bin", dates[t - 1].y, dates[t - 1].m);
        write_file(dir.file(file), floats({float(t)}));
      }
    }
    if (name == "sdfopen, days at month ends" || name.starts_with("xdfopen"))
      netcdf_set(dir, "days since 2000-01-01", "standard", "30, 59, 90, 120, 151, 181", c.n);
    if (name == "sdfopen, 365-day month ends")
      netcdf_set(dir, "days since 2000-01-01", "noleap", "30, 58, 89, 119, 150, 180", c.n);
    write_file(dir.file("x.ctl"), "dset ^me.nc\ntdef time 6 linear 00z31jan2000 1mo\n");
    if (c.dates_by_cdo) dates = cdo_dates(dir.file("me.nc"));
    ASSERT_EQ(int(dates.size()), c.n);

    std::string in = std::string(c.open) + "\nset gxout print\nset lon 0\nset lat 0\n";
    // An offset of a month or a year is a plain count of steps.
    const std::pair<const char*, int> offsets[] = {{"+1mo", 1}, {"-1mo", -1}, {"+1yr", 12}};
    auto within = [&c](int t) { return t >= 1 && t <= c.n; };
    for (int t = 1; t <= c.n; t++) {
      in += "set t " + std::to_string(t) + "\nq dims\nd v\nset time " + low(hour0(dates[t - 1])) +
            "\nq dims\n";
      for (const auto& [o, k] : offsets)
        if (within(t + k)) in += std::string("d v(time") + o + ")\n";
    }
    in += "set t 1 " + std::to_string(c.n) + "\ndefine b = v\nset t " + std::to_string(c.n) +
          "\nd b\n";
    RunResult r = run_batch(in, dir.path());
    size_t at = 0;
    for (int t = 1; t <= c.n; t++) {
      const std::string want =
          "T is fixed     Time = " + hour0(dates[t - 1]) + "  T = " + std::to_string(t) + "\n";
      EXPECT_TRUE(contains(next_answer(r.out, "q dims", &at), want)) << want;
      EXPECT_TRUE(contains(next_answer(r.out, "d v", &at), "\n" + std::to_string(t) + " \n"))
          << "step " << t;
      EXPECT_TRUE(contains(next_answer(r.out, "q dims", &at), want)) << "back from the date";
      for (const auto& [o, k] : offsets) {
        if (!within(t + k)) continue;
        EXPECT_TRUE(contains(next_answer(r.out, std::string("d v(time") + o + ")", &at),
                             "\n" + std::to_string(t + k) + " \n"))
            << "step " << t << " " << o;
      }
    }
    EXPECT_FALSE(contains(answer(r.out, "define b = v"), "beyond file limits"))
        << answer(r.out, "define b = v");
    EXPECT_TRUE(contains(next_answer(r.out, "d b", &at), "\n" + std::to_string(c.n) + " \n"))
        << r.out;
  }
}

namespace {

// A daily netCDF file of n times from 1 Jan 2000 on a calendar; time t
// holds t.
void daily_netcdf(const TempDir& dir, const std::string& name, const std::string& calendar, int n) {
  std::string times, v;
  for (int t = 1; t <= n; t++) {
    times += (t > 1 ? ", " : "") + std::to_string(t - 1);
    v += (t > 1 ? ", " : "") + std::to_string(t) + ", 0";
  }
  write_file(dir.file(name + ".cdl"),
             "netcdf d {\ndimensions:\n time = UNLIMITED ; lat = 1 ; lon = 2 ;\nvariables:\n"
             " double time(time) ; time:units = \"days since 2000-01-01\" ; time:calendar = \"" +
                 calendar +
                 "\" ;\n float lat(lat) ; lat:units = \"degrees_north\" ;\n"
                 " float lon(lon) ; lon:units = \"degrees_east\" ;\n"
                 " float v(time, lat, lon) ;\ndata:\n time = " +
                 times + " ;\n lat = 0 ;\n lon = 0, 10 ;\n v = " + v + " ;\n}\n");
  ASSERT_EQ(
      std::system(("ncgen -o " + dir.file(name + ".nc") + " " + dir.file(name + ".cdl")).c_str()),
      0);
}

}  // namespace

// A data set on the other calendar than the one the session took from the
// first is refused by every opener with the same lines, so the dates and
// steps of the set already open stay where they were (step 61 of a daily set
// from 1 Jan 2000 is 1 March, a Wednesday, on the standard calendar; cdo
// gives the 365-day date). A set that failed to open leaves no calendar.
// "reset" keeps the calendar of the sets it leaves open.
TEST(SessionCalendar, OpenersRefuseTheOtherCalendar) {
  if (std::system("cdo -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "no cdo";
  const std::string now_standard =
      "Attempt to change the global calendar...\nThe calendar is NOW STANDARD and you attempted "
      "to open a 365-day calendar file\n";
  const std::string now_365 =
      "Attempt to change the global calendar...\nThe calendar is NOW 365 DAYS and you attempted "
      "to open a standard calendar file\n";
  struct calendar_case {
    const char* first;   // opens the daily set, or fails
    const char* second;  // the open under test
    std::string want;    // in the second's answer
    bool noleap_dates;   // the daily set that stays is on the 365-day calendar
  };
  const calendar_case cases[] = {
      {"sdfopen std.nc", "sdfopen nol.nc", now_standard, false},
      {"sdfopen nol.nc", "sdfopen std.nc", now_365, true},
      {"open day.ctl", "sdfopen nol.nc", now_standard, false},
      {"sdfopen std.nc", "open d365.ctl", now_standard, false},
      {"sdfopen std.nc", "xdfopen nx.ctl", now_standard, false},
      {"open d365.ctl", "sdfopen std.nc", now_365, true},
      {"sdfopen nol.nc", "sdfopen ./nol.nc", "SDF file ./nol.nc is open as file 2\n", true},
      {"sdfopen one2000.nc one%y4.nc 5", "open day.ctl", "Data file day.bin is open as file 1\n",
       false},
      // The calendar stays through a reset while the set that took it stays
      // open; reinit closes it and releases the calendar.
      {"open d365.ctl\nreset", "sdfopen std.nc", now_365, true},
      {"sdfopen nol.nc\nreset", "open day.ctl", now_365, true},
      {"sdfopen nol.nc\nreinit", "sdfopen std.nc", "SDF file std.nc is open as file 1\n", false},
  };
  for (const calendar_case& c : cases) {
    SCOPED_TRACE(std::string(c.first) + " / " + c.second);
    TempDir dir;
    daily_netcdf(dir, "std", "standard", 70);
    daily_netcdf(dir, "nol", "noleap", 70);
    daily_netcdf(dir, "one2000", "noleap", 1);
    write_file(dir.file("nx.ctl"), "dset ^nol.nc\n");
    std::vector<float> v;
    for (int t = 1; t <= 70; t++) v.push_back(float(t));
    write_file(dir.file("day.bin"), floats(v));
    const std::string body =
        "undef -999\noptions little_endian\nxdef 1 linear 0 1\nydef 1 linear 0 1\n"
        "zdef 1 linear 0 1\ntdef 70 linear 00z01jan2000 1dy\nvars 1\nv 0 99 v\nendvars\n";
    write_file(dir.file("day.ctl"), "dset ^day.bin\n" + body);
    write_file(dir.file("d365.ctl"), "dset ^day.bin\noptions 365_day_calendar\n" + body);

    // Step 61 of the set that stays: by std::chrono, or by cdo on 365 days.
    using namespace std::chrono;
    year_month_day d61{sys_days{2000y / 1 / 1} + days{60}};
    ymd want61{int(d61.year()), int(unsigned(d61.month())), int(unsigned(d61.day()))};
    if (c.noleap_dates) want61 = cdo_dates(dir.file("nol.nc")).at(60);
    std::string dow;
    if (!c.noleap_dates) {
      static const char* names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
      dow = names[std::chrono::weekday{sys_days{d61}}.c_encoding()];
    }
    RunResult r = run_batch(std::string(c.first) + "\n" + c.second +
                                "\nset gxout print\nset lon 0\nset lat 0\nset time " +
                                low(hour0(want61)) + "\nq time\nd v\n",
                            dir.path());
    EXPECT_TRUE(contains(answer(r.out, c.second), c.want)) << r.out;
    EXPECT_FALSE(contains(r.out, "not evenly stepped")) << r.out;
    const std::string time = "Time = " + hour0(want61) + " to " + hour0(want61);
    EXPECT_TRUE(contains(answer(r.out, "q time"), time + (dow.empty() ? "" : "  " + dow)))
        << time << " " << dow << "\n"
        << answer(r.out, "q time");
    EXPECT_TRUE(contains(answer(r.out, "d v"), "\n61 \n")) << answer(r.out, "d v");
  }
}

namespace {

// Distinct x positions (page inches) of the lines that stand on the bottom
// edge of the plot at y: the ticks and grid lines of the time labels.
std::vector<double> bottom_ticks(const std::string& meta, double y, double x0, double x1) {
  std::vector<double> xs;
  for (const auto& frame : hardcopy::frames_of(meta))
    for (const hardcopy::segment& s : frame) {
      if (std::fabs(s.x - s.x2) > 0.0005 || std::fabs(s.y - s.y2) < 0.01) continue;
      if (std::min(s.y, s.y2) > y + 0.0015 || std::max(s.y, s.y2) < y - 0.0015) continue;
      if (s.x < x0 + 0.005 || s.x > x1 - 0.005) continue;
      if (std::none_of(xs.begin(), xs.end(), [&](double x) { return std::fabs(x - s.x) < 0.003; }))
        xs.push_back(s.x);
    }
  std::sort(xs.begin(), xs.end());
  return xs;
}

}  // namespace

// A label naming a day sits where its time lies between the steps of a month
// axis around it, linear in days, also before the step of its own month:
// labels five days apart never fall on one place.
TEST(MonthAxis, DayLabelsSitBetweenTheSteps) {
  using namespace std::chrono;
  struct label_case {
    const char* name;
    ymd start;
    int n;                               // the plot spans steps 1 to n
    std::vector<year_month_day> labels;  // by the label steps of a 60-day range: every 5 days
  };
  const label_case cases[] = {
      {"from the 16th",
       {2000, 1, 16},
       3,
       {2000y / 1 / 21, 2000y / 1 / 26, 2000y / 2 / 1, 2000y / 2 / 6, 2000y / 2 / 11,
        2000y / 2 / 16, 2000y / 2 / 21, 2000y / 2 / 26, 2000y / 3 / 2, 2000y / 3 / 7,
        2000y / 3 / 12}},
      {"from the 31st",
       {1999, 3, 31},
       3,
       {1999y / 4 / 5, 1999y / 4 / 10, 1999y / 4 / 15, 1999y / 4 / 20, 1999y / 4 / 25,
        1999y / 4 / 30, 1999y / 5 / 5, 1999y / 5 / 10, 1999y / 5 / 15, 1999y / 5 / 20,
        1999y / 5 / 25, 1999y / 5 / 30}},
  };
  for (const label_case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    binary_set(dir, low(hour0(c.start)), c.n, false);
    RunResult r = run_batch("open a.ctl\nset lon 0\nset lat 0\nset t 1 " + std::to_string(c.n) +
                                "\nenable print e.meta\nd v\nq gxinfo\nprint\ndisable print\n",
                            dir.path());
    double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    const std::string info = answer(r.out, "q gxinfo");
    ASSERT_EQ(std::sscanf(info.c_str() + info.find("X Limits"), "X Limits = %lf to %lf", &x0, &x1),
              2)
        << info;
    ASSERT_EQ(std::sscanf(info.c_str() + info.find("Y Limits"), "Y Limits = %lf to %lf", &y0, &y1),
              2)
        << info;
    std::vector<double> want;
    for (const year_month_day& d : c.labels) {
      int k = 1;
      while (k < c.n) {
        const ymd next = month_on(c.start.y, c.start.m, c.start.d, k);
        if (sys_days{d} < sys_days{year{next.y} / next.m / next.d}) break;
        k++;
      }
      const ymd a = month_on(c.start.y, c.start.m, c.start.d, k - 1);
      const ymd b = month_on(c.start.y, c.start.m, c.start.d, k);
      const sys_days da{year{a.y} / a.m / a.d}, db{year{b.y} / b.m / b.d};
      const double g = k + double((sys_days{d} - da).count()) / double((db - da).count());
      const double x = x0 + (g - 1) / (c.n - 1) * (x1 - x0);
      if (x < x1 - 0.005) want.push_back(x);
    }
    const std::vector<double> got = bottom_ticks(read_file(dir.file("e.meta")), y0, x0, x1);
    ASSERT_EQ(got.size(), want.size()) << r.out;
    for (size_t i = 0; i < want.size(); i++) EXPECT_NEAR(got[i], want[i], 0.003) << i;
  }
}

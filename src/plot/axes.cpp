// Axes of a plot (position, ticks, grid lines, labels of numbers,
// longitudes, latitudes and times), the frame, and the tail every graphic
// plot ends with.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "base/message.h"
#include "base/session.h"
#include "base/timecal.h"
#include "base/userfmt.h"
#include "gx/gx.h"
#include "gx/proj.h"
#include "plot/plot.h"
#include "plot/plot2d.h"

int kalnch(float lon, char* text) {
  while (lon > 180) lon -= 360;
  while (lon <= -180) lon += 360;
  int n = std::snprintf(text, 32, "%g", double(std::fabs(lon)));
  if (lon < 0)
    text[n++] = 'W';
  else if (lon > 0 && lon < 180)
    text[n++] = 'E';
  text[n] = '\0';
  return n;
}

int kaltch(float lat, char* text) {
  if (lat == 0) {
    std::strcpy(text, "EQ");
    return 2;
  }
  int n = std::snprintf(text, 32, "%g", double(std::fabs(lat)));
  text[n++] = lat < 0 ? 'S' : 'N';
  text[n] = '\0';
  return n;
}

void kafram(session_state* pcm) {
  if (pcm->frame == 0) return;
  // A projection draws its own frame: polar ones a circle when asked for,
  // the others their outline.
  if (pcm->frame == 2 && is_projected(pcm->mproj)) return;
  if (is_projected(pcm->mproj) && !is_polar(pcm->mproj)) return;
  gxcolr(pcm->annot_colour);
  gxwide(pcm->annot_thick);
  gxstyl(1);
  gxmove(pcm->plot_x_low, pcm->plot_y_low);
  gxdraw(pcm->plot_x_high, pcm->plot_y_low);
  gxdraw(pcm->plot_x_high, pcm->plot_y_high);
  gxdraw(pcm->plot_x_low, pcm->plot_y_high);
  gxdraw(pcm->plot_x_low, pcm->plot_y_low);
}

namespace {

const char* const months[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

// One axis being drawn: its placement and label attributes.
struct axis_ctx {
  session_state* pcm;
  bool x;      // the x axis
  bool far;    // top (x) or right (y) side
  float base;  // page coordinate of the axis line
  float s;     // label size
  float m, b;  // page = m * world + b along the axis
  bool log_chain;
  int colour, thick;
};

float page_at(const axis_ctx& a, float v) {
  if (a.log_chain) {
    float px, py;
    if (a.x)
      gxconv(v, 1.0f, &px, &py, coord_level::world);
    else
      gxconv(1.0f, v, &px, &py, coord_level::world);
    return a.x ? px : py;
  }
  return a.m * v + a.b;
}

// The values an axis labels stepping by interval from first to last, at
// most 50; one a rounding away from 0 is 0.
std::vector<float> label_steps(float first, float last, float interval) {
  std::vector<float> values;
  for (int k = 0; k < 50; k++) {
    float v = first + float(k) * interval;
    if (v > last + interval / 2) break;
    if (std::fabs(v / interval) < 1e-05f) v = 0;
    values.push_back(v);
  }
  return values;
}

// Whether a value axis from lo to hi gets labels of its own interval that
// all print apart under "%g": far from zero a narrow range's labels print
// alike, or the interval vanishes against the values.
bool labels_print_apart(float lo, float hi) {
  float interval = 0, first = 0, last = 0;
  kacsel(lo, hi, &interval, &first, &last);
  if (interval == 0) return false;
  const std::vector<float> values = label_steps(first, last, interval);
  if (values.size() < 2) return false;
  char text[40], before[40] = "";
  for (float v : values) {
    std::snprintf(text, sizeof text, "%g", double(v));
    if (std::strcmp(text, before) == 0) return false;
    std::strcpy(before, text);
  }
  return true;
}

// "%g" keeps six digits; nine tell every two floats apart.
constexpr int kLabelDigits = 6, kFloatDigits = 9;

std::string number_text(float v, int digits) {
  char text[40];
  std::snprintf(text, sizeof text, "%.*g", digits, double(v));
  return text;
}

bool outside(const axis_ctx& a, float p) {
  const session_state* pcm = a.pcm;
  float lo = a.x ? pcm->plot_x_low : pcm->plot_y_low;
  float hi = a.x ? pcm->plot_x_high : pcm->plot_y_high;
  return p < lo - 0.05f || p > hi + 0.05f;
}

// A line at x = p from y = from to to when vertical, otherwise at y = p
// from x = from to to.
void line_at(bool vertical, float p, float from, float to) {
  gxmove(vertical ? p : from, vertical ? from : p);
  gxdraw(vertical ? p : to, vertical ? to : p);
}

// Tick mark and grid line at page position p along the axis.
void tick(const axis_ctx& a, float p) {
  const session_state* pcm = a.pcm;
  gxcolr(a.colour);
  gxwide(a.thick);
  line_at(a.x, p, a.base, a.base + (a.far ? 0.4f * a.s : -0.4f * a.s));
  bool grid = a.x ? (pcm->grid == 1 || pcm->grid == 3) : (pcm->grid == 1 || pcm->grid == 2);
  if (!grid) return;
  gxwide(1);
  gxstyl(pcm->grid_style);
  gxcolr(pcm->grid_colour);
  if (a.x)
    line_at(true, p, pcm->plot_y_low, pcm->plot_y_high);
  else
    line_at(false, p, pcm->plot_x_low, pcm->plot_x_high);
  gxstyl(1);
  gxcolr(a.colour);
  gxwide(a.thick);
}

float text_length(const std::string& t, float size) {
  float l = 0;
  gxchln(t.c_str(), int(t.size()), size, &l);
  return l;
}

// An x label centred at p with its baseline at y.
void x_text(const axis_ctx& a, const std::string& t, float p, float y) {
  float l = text_length(t, a.s);
  gxchpl(t.c_str(), int(t.size()), p - 0.4f * l, y, a.s, 0.8f * a.s, 0);
}

// A y label beside the axis at p.
void y_text(const axis_ctx& a, const std::string& t, float p) {
  float l = text_length(t, a.s);
  float x = a.far ? a.base + 0.8f * a.s : a.base - 0.8f * a.s - 0.8f * l;
  gxchpl(t.c_str(), int(t.size()), x, p - 0.5f * a.s, a.s, 0.8f * a.s, 0);
  if (!a.far) {
    float w = 0.8f * (l + a.s);
    if (w > a.pcm->ylpos_work) a.pcm->ylpos_work = w;
  }
}

void label(const axis_ctx& a, const std::string& t, float p) {
  if (a.x)
    x_text(a, t, p, a.far ? a.base + 0.7f * a.s : a.base - 1.7f * a.s);
  else
    y_text(a, t, p);
}

std::string fmt_number(const char* fmt, float v) {
  char buf[64];
  if (kafmtv(buf, sizeof buf, fmt, v) < 0) return fmt;
  return buf;
}

// The k-th text of a "|"-separated label list (kept NUL-separated).
std::string list_text(const std::string& list, int k) {
  size_t pos = 0;
  for (int n = 0; n < k; n++) {
    size_t z = list.find('\0', pos);
    if (z == std::string::npos) return "";
    pos = z + 1;
  }
  size_t z = list.find('\0', pos);
  return list.substr(pos, z == std::string::npos ? std::string::npos : z - pos);
}

// Where a label naming a day or an hour sits along a time axis. t2gr puts
// every time of a month axis that comes before the step in its month on that
// step, as a month's data belongs there; such a label sits between the step
// before and that one, so that labels a few days apart never fall together.
// The result is relative to the axis base; an axis without one keeps the
// float grid coordinate it always placed its labels by.
float label_grid(const float* scaling, const date_time& t, double base) {
  const time_scaling s = time_scaling_from(scaling);
  const double g = base == 0 ? double(t2gr(&s, &t)) : t2gr_exact(&s, &t) - base;
  if (s.increment_minutes > 0.1f) return static_cast<float>(g);
  const date_time start = time_scaling_start(&s);
  const long long count =
      (static_cast<long long>(t.year) - start.year) * 12 + t.month - start.month;
  date_time here, before;
  month_step(&start, count, &here);
  const long long ahead = timdif(&t, &here);
  if (ahead <= 0) return static_cast<float>(g);
  month_step(&start, count - 1, &before);
  const long long span = timdif(&before, &here);
  if (span <= 0) return static_cast<float>(g);
  const double step = s.increment_months != 0.0f ? s.increment_months : 1.0;
  return static_cast<float>(g - static_cast<double>(ahead) / static_cast<double>(span) / step);
}

void time_labels(const axis_ctx& a, const float* scaling, double base) {
  session_state* pcm = a.pcm;
  date_time t, step;
  int unit = katinc(pcm, &t, &step);
  std::string prev[3] = {"mmmmmmmmmmmmmmmm", "mmmmmmmmmmmmmmmm", "mmmmmmmmmmmmmmmm"};
  const date_time end = pcm->time_end;
  for (int guard = 0; guard < 10000 && timdif(&t, &end) >= 0; guard++) {
    const float g = unit >= 3 ? label_grid(scaling, t, base)
                              : static_cast<float>(t2gr_exact(scaling, &t) - base);
    float p = page_at(a, g);
    if (!outside(a, p)) {
      tick(a, p);
      char buf[32];
      std::string parts[3];
      if (unit == 4) std::snprintf(buf, sizeof buf, "%02dZ", t.hour), parts[0] = buf;
      if (unit == 5) std::snprintf(buf, sizeof buf, "%02d:%02dZ", t.hour, t.minute), parts[0] = buf;
      const char* mon = t.month >= 1 && t.month <= 12 ? months[t.month - 1] : "???";
      if (unit == 2)
        parts[1] = mon;
      else
        std::snprintf(buf, sizeof buf, "%d%s", t.day, mon), parts[1] = buf;
      std::snprintf(buf, sizeof buf, "%d", t.year);
      parts[2] = buf;
      if (a.x) {
        float y = a.far ? a.base + 0.7f * a.s : a.base - 1.7f * a.s;
        float dy = a.far ? 1.4f * a.s : -1.4f * a.s;
        bool show[3] = {!parts[0].empty(), pcm->tlsupp != 2,
                        pcm->tlsupp == 0 && !(unit == 2 && t.year == 9999)};
        for (int r = 0; r < 3; r++) {
          if (!show[r] || parts[r] == prev[r]) continue;
          x_text(a, parts[r], p, y);
          y += dy;
        }
      } else {
        std::string whole = parts[0];
        if (unit >= 3)
          std::snprintf(buf, sizeof buf, "%02d%s", t.day, mon), whole += buf;
        else if (unit == 2)
          whole += mon;
        whole += parts[2];
        size_t cut = pcm->tlsupp == 1 ? 4 : pcm->tlsupp == 2 ? 9 : 0;
        whole = whole.size() > cut ? whole.substr(0, whole.size() - cut) : "";
        if (unit == 3 && !whole.empty() && whole[0] == '0') whole.erase(0, 1);
        if (whole.size() >= 2) y_text(a, whole, p);
      }
      for (int r = 0; r < 3; r++) prev[r] = parts[r];
    }
    timadd(&step, &t);
    if (step.day > 1 && t.day == 31) {
      t.day = 1;
      date_time one{0, 1, 0, 0, 0};
      timadd(&one, &t);
    }
    if (step.day > 3 && t.day == 3) t.day = 1;
  }
}

}  // namespace

void kaaxis(plot_axis axis, session_state* pcm, axis_code code) {
  const bool x = axis == plot_axis::x;
  if (!(x ? pcm->xlab : pcm->ylab)) return;
  axis_ctx a{};
  a.pcm = pcm;
  a.x = x;
  a.s = x ? pcm->xlopts_size : pcm->ylopts_size;
  a.colour = x ? pcm->xlopts_colour : pcm->ylopts_colour;
  a.thick = x ? pcm->xlopts_thick : pcm->ylopts_thick;
  a.far = (x ? pcm->xlpos_side : pcm->ylpos_side) != 0;
  float offset = x ? pcm->xlpos_offset : pcm->ylpos_offset;
  if (x)
    a.base = (a.far ? pcm->plot_y_high : pcm->plot_y_low) + offset;
  else
    a.base = (a.far ? pcm->plot_x_high : pcm->plot_x_low) + offset;
  if (offset != 0) {
    gxcolr(pcm->annot_colour);
    gxwide(pcm->annot_thick);
    gxstyl(1);
    if (x)
      line_at(false, a.base, pcm->plot_x_low, pcm->plot_x_high);
    else
      line_at(true, a.base, pcm->plot_y_low, pcm->plot_y_high);
  }

  // World range.
  const float* tscal = pcm->last_plot_scaling.array(x ? 0 : 1);
  const double time_base = pcm->last_plot_scaling.time_base;
  float lo, hi;
  if (code == axis_code::value) {
    lo = pcm->vrange[0];
    hi = pcm->vrange[1];
  } else if (code == axis_code::time) {
    if (!tscal) return;
    lo = static_cast<float>(t2gr_exact(tscal, &pcm->time_start) - time_base);
    hi = static_cast<float>(t2gr_exact(tscal, &pcm->time_end) - time_base);
  } else if (code == axis_code::lon || code == axis_code::lat || code == axis_code::lev) {
    lo = pcm->dim_min[static_cast<int>(code)];
    hi = pcm->dim_max[static_cast<int>(code)];
  } else {
    return;
  }
  int labs_count = x ? pcm->xlabs_count : pcm->ylabs_count;
  bool axis_set = x ? pcm->xaxis_set : pcm->yaxis_set;
  float fixed_interval = 0;
  if (labs_count > 0) {
    lo = 1;
    hi = float(labs_count);
    fixed_interval = 1;
    code = axis_code::fixed;
  } else if (axis_set && !(code == axis_code::lev && pcm->zlog)) {
    lo = x ? pcm->xaxis_range[0] : pcm->yaxis_range[0];
    hi = x ? pcm->xaxis_range[1] : pcm->yaxis_range[1];
    fixed_interval = x ? pcm->xaxis_incr : pcm->yaxis_incr;
    code = axis_code::fixed;
    kaprnt(msg_level::info, x ? "Warning:  X axis labels overridden by SET XAXIS.\n"
                              : "Warning:  Y axis labels overridden by SET YAXIS.\n");
    kaprnt(msg_level::info, "   Labels may not reflect correct scaling for dimensions or data.\n");
  }
  if (lo == hi) {
    kaprnt(msg_level::error, "kaaxis internal logic check 24 \n");
    return;
  }
  float plo = x ? pcm->plot_x_low : pcm->plot_y_low;
  float phi = x ? pcm->plot_x_high : pcm->plot_y_high;
  if (x ? pcm->xflip : pcm->yflip) std::swap(plo, phi);
  a.m = (phi - plo) / (hi - lo);
  a.b = plo - a.m * lo;
  if (lo > hi) std::swap(lo, hi);
  a.log_chain = code == axis_code::lev && pcm->zlog && lo > 0;

  if (code == axis_code::time) {
    time_labels(a, tscal, time_base);
    return;
  }

  float user = x ? pcm->xlint : pcm->ylint;
  float interval, first, last;
  if (fixed_interval != 0) {
    interval = std::fabs(fixed_interval);
    first = lo;
    last = hi;
  } else if (user < 0) {
    // Counted from the range start rather than rounded to its multiples.
    interval = -user;
    first = lo;
    last = hi;
  } else {
    interval = user;
    kacsel(lo, hi, &interval, &first, &last);
    if (interval == 0) {
      kaprnt(msg_level::error, "kaaxis internal logic check 25\n");
      return;
    }
    if (user == 0) {
      float snapped = interval;
      if (code == axis_code::lon) {
        if (interval > 74.5f)
          snapped = 90;
        else if (interval > 44.5f)
          snapped = 60;
        else if (interval > 24.9f)
          snapped = 30;
        else if (interval > 14.5f)
          snapped = 20;
        else if (interval > 10)
          snapped = 10;
      } else if (code == axis_code::lat) {
        if (interval > 19.9f)
          snapped = 30;
        else if (interval > 10)
          snapped = 10;
      }
      if (snapped != interval) {
        interval = snapped;
        kacsel(lo, hi, &interval, &first, &last);
      }
    }
  }
  if (!(interval > 0)) return;

  // Label values: the user's list, or the steps of the interval.
  float* levs = x ? pcm->xlevs : pcm->ylevs;
  int nlevs = x ? pcm->xlevs_count : pcm->ylevs_count;
  std::vector<float> values;
  if (nlevs > 0) {
    values.assign(levs, levs + std::min(nlevs, 50));
  } else {
    values = label_steps(first, last, interval);
    std::copy(values.begin(), values.end(), levs);
  }
  const std::string& format = x ? pcm->xlab_format : pcm->ylab_format;
  const std::string& list = x ? pcm->xlabs_list : pcm->ylabs_list;
  const bool numbers = format.empty() && labs_count <= 0 && code != axis_code::lat &&
                       !(code == axis_code::lon && pcm->mproj != map_projection::off);
  int digits = kLabelDigits;
  if (numbers) {
    std::vector<float> shown;
    for (float v : values)
      if (!outside(a, page_at(a, v))) shown.push_back(v);
    digits = label_digits(shown);
  }
  char buf[40];
  for (size_t k = 0; k < values.size(); k++) {
    float v = values[k];
    float p = page_at(a, v);
    if (outside(a, p)) continue;
    std::string t;
    if (!format.empty()) {
      t = fmt_number(format.c_str(), v);
    } else if (labs_count > 0) {
      t = list_text(list, int(k));
      if (kafmtok(t.c_str())) t = fmt_number(t.c_str(), v);
    } else if (code == axis_code::lon && pcm->mproj != map_projection::off) {
      kalnch(v, buf);
      t = buf;
    } else if (code == axis_code::lat) {
      kaltch(v, buf);
      t = buf;
    } else {
      t = number_text(v, digits);
    }
    tick(a, p);
    label(a, t, p);
  }
}

int label_digits(const std::vector<float>& values) {
  for (int digits = kLabelDigits; digits < kFloatDigits; digits++) {
    bool apart = true;
    for (size_t i = 0; i < values.size() && apart; i++)
      for (size_t j = i + 1; j < values.size() && apart; j++)
        apart = values[i] == values[j] ||
                number_text(values[i], digits) != number_text(values[j], digits);
    if (apart) return digits;
  }
  return kFloatDigits;
}

void constant_axis(float value, float* axis) {
  axis[0] = value - 5;
  axis[1] = value + 5;
  axis[2] = 2;
  if (labels_print_apart(axis[0], axis[1]) || !std::isfinite(value)) return;
  // Far out: tenths of the value's decade, kept within the float range.
  double unit = std::pow(10.0, std::floor(std::log10(std::fabs(double(value)))) - 1);
  while (std::fabs(double(value)) + 5 * unit > double(std::numeric_limits<float>::max()))
    unit /= 10;
  axis[0] = float(value - 5 * unit);
  axis[1] = float(value + 5 * unit);
  axis[2] = float(2 * unit);
}

void kaaxpl(session_state* pcm, axis_code icode, axis_code jcode) {
  if (icode == axis_code::lon && jcode == axis_code::lat && is_projected(pcm->mproj)) {
    kampax(pcm);
    return;
  }
  kaaxis(plot_axis::x, pcm, icode);
  kaaxis(plot_axis::y, pcm, jcode);
}

void kaptail(session_state* pcm, plot_code code, tail_frame frame, axis_code icode,
             axis_code jcode) {
  gxclip(0, pcm->page_width, 0, pcm->page_height);
  gxcolr(pcm->annot_colour);
  gxwide(pcm->annot_thick - 3);
  if (pcm->frame_pass == 0 && pcm->logo)
    gxchpl("Vemra: ZIRM/WOBL", 16, 0.05f, 0.05f, 0.1f, 0.08f, 0);
  if (pcm->frame_pass == 0 && pcm->timelab) katmlb(pcm);
  kaaxpl(pcm, icode, jcode);
  if (frame == tail_frame::draw) kafram(pcm);
  kagsav(code, pcm);
}

#include "expr/fstn.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "base/message.h"
#include "base/timecal.h"
#include "base/words.h"
#include "data/filerec.h"
#include "data/result.h"
#include "expr/dimexpr.h"
#include "expr/eval.h"
#include "expr/evalstate.h"
#include "expr/func.h"
#include "expr/stnset.h"

namespace {

bool xy_environment(const eval_state* pst) { return pst->idim == 0 && pst->jdim == 1; }

// The two time expressions as grid coordinates of the default file's axis.
bool time_range(function_args* args, eval_state* pst, const char* name, double* b1, double* b2) {
  const file_descriptor* f = pst->default_file;
  int d = 0, world = 0;
  if (!f || !f->grid_to_world_scaling[3] || !dimarg(args->args[1], pst, f, &d, b1, &world) ||
      d != 3 || !(std::fabs(*b1) < 1e9f)) {
    kaprntf(msg_level::error, "Error from %s:  1st dimension expression invalid\n", name);
    return false;
  }
  if (!dimarg(args->args[2], pst, f, &d, b2, &world) || d != 3 || !(std::fabs(*b2) < 1e9f)) {
    kaprntf(msg_level::error, "Error from %s:  2nd dimension expression invalid\n", name);
    return false;
  }
  return true;
}

int unable(const char* name) {
  kaprntf(msg_level::error, "Error from %s:  Unable to evaluate expression\n", name);
  return 1;
}

// Evaluates the expression at time index d; the station set, or null after
// the function's message (nothing left in the state).
station_set* evaluate_at(const char* expr, eval_state* pst, const float* ts, int d,
                         const char* name) {
  gr2t(ts, d, &pst->time_start);
  pst->time_end = pst->time_start;
  pst->result = std::monostate{};
  const int rc = kaexpr(expr, pst);
  if (rc == 0 && stations_in(pst->result)) {
    return extract_stations(pst->result).release();
  }
  if (rc == 0) kafree(pst);
  unable(name);
  return nullptr;
}

// A time step in months and minutes.
struct time_step {
  int months, minutes;
};

// The increment argument as a step on the axis, or false when it is none:
// a positive count of axis steps, or a relative time that fits the axis.
bool increment_arg(const char* text, const time_scaling& ts, time_step* step) {
  const bool minute_axis = ts.increment_minutes > 0.1f;
  const long long axis_minutes = llroundf(ts.increment_minutes);
  const long long axis_months = llroundf(ts.increment_months);
  int n = 0;
  const char* q = intprs(text, &n);
  if (!q) return false;
  long long months = 0, minutes = 0;
  if (*q == '\0') {
    if (n < 1) return false;
    if (minute_axis)
      minutes = n * axis_minutes;
    else
      months = n * axis_months;
  } else {
    date_time dt{};
    q = rdtprs(text, &dt);
    if (!q || *q != '\0') return false;
    months = 12LL * dt.year + dt.month;
    minutes = 1440LL * dt.day + 60LL * dt.hour + dt.minute;
    if (months >= 1 && !minute_axis) {
      if (axis_months < 1 || months % axis_months != 0) return false;
    } else if (months < 1) {
      if (minutes < 1 || !minute_axis || axis_minutes < 1 || minutes % axis_minutes != 0)
        return false;
    }
  }
  if (months < 0 || minutes < 0 || months > INT_MAX || minutes > INT_MAX || months + minutes < 1)
    return false;
  step->months = int(months);
  step->minutes = int(minutes);
  return true;
}

// The time grid coordinate of t: a float's, as it always was, up to 2^24; in
// double from there on, where a float would move it to a neighbouring step.
double time_coordinate(const float* ts, const date_time* t) {
  const double g = t2gr_exact(ts, t);
  return std::fabs(g) < double(kFloatWhole) ? double(static_cast<float>(g)) : g;
}

void print_time(const date_time& t) {
  kaprntout("qqq %i %i %i %i %i\n", t.year, t.month, t.day, t.hour, t.minute);
}

// One station of the result: its report and what was gathered for it.
struct gathered {
  station_report* report;
  double sum;  // the average: the sum of the defined values
  int count;   // values gathered
};

}  // namespace

struct station_fold::table {
  station_reduction kind;
  station_set* out = nullptr;
  bool have_header = false;
  std::unordered_map<station_identity, size_t, station_identity_hash> index;
  std::vector<gathered> stations;

  // The entry of r's station, or a new one copied from r (its value made
  // the result's undefined value when undefined); null when no report can
  // be had. *fresh tells which.
  gathered* find_or_add(const station_report* r, float undef, bool* fresh) {
    auto it = index.find(station_identity(r));
    *fresh = it == index.end();
    if (!*fresh) return &stations[it->second];
    station_report* n = kaarpt(out);
    if (!n) return nullptr;
    *n = *r;
    n->next = nullptr;
    if (r->value == undef) n->value = out->undef;
    out->report_count++;
    index.emplace(station_identity(r), stations.size());
    stations.push_back({n, n->value == out->undef ? 0.0 : double(n->value), 1});
    return &stations.back();
  }

  bool add_average(const station_set* s);
  bool add_extreme(const station_set* s);
};

station_fold::station_fold(station_reduction kind) : t_(std::make_unique<table>()) {
  t_->kind = kind;
}

station_fold::~station_fold() { kasfre(t_->out); }

bool station_fold::add(const station_set* s) {
  if (!t_->out) {
    t_->out = new_station_set();
  }
  if (!t_->have_header) {
    t_->have_header = true;
    if (!copy_station_header(t_->out, s)) {
      return false;
    }
  }
  return t_->kind == station_reduction::average ? t_->add_average(s) : t_->add_extreme(s);
}

bool station_fold::table::add_average(const station_set* s) {
  const float u = s->undef;
  std::vector<const station_report*> chain;
  chain.reserve(size_t(s->report_count > 0 ? s->report_count : 0));
  for (const station_report* r = s->first_report; r; r = r->next) chain.push_back(r);
  // Reports of one station within the time: the first defined one carries
  // the mean of all defined ones, the later ones are not folded.
  struct group {
    size_t head;
    double sum;
    int count;
  };
  std::unordered_map<station_identity, group, station_identity_hash> groups;
  std::vector<char> marked(chain.size(), 1);
  std::vector<double> value(chain.size());
  for (size_t k = 0; k < chain.size(); k++) {
    value[k] = chain[k]->value;
    if (chain[k]->value == u) continue;
    auto [it, added] = groups.try_emplace(station_identity(chain[k]), group{k, 0.0, 0});
    it->second.sum += chain[k]->value;
    it->second.count++;
    if (!added) marked[k] = 0;
  }
  for (const auto& [id, g] : groups) value[g.head] = double(float(g.sum / g.count));
  for (size_t k = 0; k < chain.size(); k++) {
    if (!marked[k]) continue;
    bool fresh;
    gathered* e = find_or_add(chain[k], u, &fresh);
    if (!e) return false;
    const bool defined = chain[k]->value != u;
    if (fresh) {
      e->sum = defined ? value[k] : 0.0;
      if (defined) e->report->value = float(value[k]);
    } else if (e->report->value == out->undef) {
      e->count = 1;
      e->sum = defined ? value[k] : 0.0;
      e->report->value = defined ? float(value[k]) : out->undef;
    } else if (defined) {
      e->sum += value[k];
      e->count++;
    }
  }
  return true;
}

bool station_fold::table::add_extreme(const station_set* s) {
  const float u = s->undef;
  for (const station_report* r = s->first_report; r; r = r->next) {
    bool fresh;
    gathered* e = find_or_add(r, u, &fresh);
    if (!e) return false;
    if (fresh || r->value == u) continue;
    float& have = e->report->value;
    if (have == out->undef) {
      have = r->value;
    } else {
      if (kind == station_reduction::minimum ? r->value < have : r->value > have) have = r->value;
      e->count++;
    }
  }
  return true;
}

station_set* station_fold::finish(int min_count) {
  station_set* out = t_->out;
  if (!out) return nullptr;
  for (gathered& e : t_->stations) {
    if (e.report->value == out->undef) continue;
    if (e.count < min_count)
      e.report->value = out->undef;
    else if (t_->kind == station_reduction::average)
      e.report->value = float(e.sum / e.count);
  }
  kasmnmx(out);
  t_->out = nullptr;
  t_->stations.clear();
  t_->index.clear();
  return out;
}

namespace {

int fail_add(station_set* s, const char* name) {
  kasfre(s);
  return unable(name);
}

}  // namespace

int fndarg(const char* text, int* count) {
  while (*text == ' ' || *text == '\t') text++;
  if (text[0] != '\0' && (text[0] == '-' || text[1] == 'm')) {
    const char* p = text + (text[1] == '\0' ? 1 : 2);
    while (*p == ' ' || *p == '\t') p++;
    int n = 0;
    if (intprs(p, &n) && n >= 1) {
      *count = n;
      return 0;
    }
  }
  kaprnt(msg_level::error, "Invalid option argument in STN function\n");
  return 1;
}

int ffsave(function_args* args, eval_state* pst) {
  const char* nm = "STNAVE";
  if (!xy_environment(pst)) {
    kaprnt(msg_level::error, "Error from STNAVE:  X, Y varying environment required\n");
    return 1;
  }
  if (args->count < 3 || args->count > 5) {
    kaprnt(msg_level::error, "Error from STNAVE:  Too many or too few args \n");
    kaprnt(msg_level::error, "                    3 to 5 arguments expected \n");
    return 1;
  }
  double b1, b2;
  if (!time_range(args, pst, nm, &b1, &b2)) return 1;
  const float* tsv = pst->default_file->grid_to_world_scaling[3];
  const time_scaling ts = time_scaling_from(tsv);
  time_step step{0, 0};
  if (ts.increment_minutes > 0.1f)
    step.minutes = int(llroundf(ts.increment_minutes));
  else
    step.months = int(llroundf(ts.increment_months));
  kaprntout("qqqq 1 %i %i \n", step.months, step.minutes);
  int min_count = 1;
  if (args->count >= 4) {
    if (args->args[3][0] == '-') {
      if (fndarg(args->args[3], &min_count)) return 1;
    } else if (!increment_arg(args->args[3], ts, &step)) {
      kaprnt(msg_level::error, "Error from STNAVE: Invalid time increment argument\n");
      return 1;
    }
  }
  if (args->count == 5 && fndarg(args->args[4], &min_count)) return 1;
  // A step of nothing would never leave the range (an axis without an
  // increment gives one).
  if (step.months < 1 && step.minutes < 1) {
    kaprnt(msg_level::error, "Error from STNAVE: Invalid time increment argument\n");
    return 1;
  }

  const int first = int(arg_ceil(b1, 0.001f));
  const int last = int(arg_floor(b2, 0.001f));
  kaprntout("qqqq something wrong here?  \n");
  date_time t1, t2;
  gr2t(tsv, first, &t1);
  gr2t(tsv, last, &t2);
  kaprntf(msg_level::result,
          "Stn Averaging.  Dim = %i, Start = %s, End = %s Incr(mos,mns) = %i %i\n", 3,
          kat2ch(t1, 5).c_str(), kat2ch(t2, 5).c_str(), step.months, step.minutes);

  station_fold fold(station_reduction::average);
  const date_time incr{0, step.months, 0, 0, step.minutes};
  // A reversed range is evaluated at its first time, as ave does.
  for (int d = first;;) {
    kaprntout("qqq curr d = %i\n", d);
    station_set* s = evaluate_at(args->args[0], pst, tsv, d, nm);
    if (!s) return 1;
    if (!fold.add(s)) return fail_add(s, nm);
    kasfre(s);
    date_time prev, next;
    gr2t(tsv, d, &prev);
    next = prev;
    timadd_months(&incr, &next);
    const double g = time_coordinate(tsv, &next);
    if (!(g < 2e9f)) break;  // far past any range
    const double nd = std::round(g);
    if (std::fabs(g - nd) > 0.001f) {
      kaprnt(msg_level::error, "Logic Error 16 in stnave.  Contact Developer(s).\n");
      return unable(nm);
    }
    if (!(nd > d)) {  // a step that does not move would never end
      kaprnt(msg_level::error, "Error from STNAVE: Invalid time increment argument\n");
      return 1;
    }
    print_time(prev);
    print_time(date_time{0, step.months, 0, 0, step.minutes});
    print_time(next);
    d = int(nd);
    kaprntout("qqq new d = %i  lims = %i %i\n", d, first, last);
    if (d > last) break;
  }
  pst->result = station_ptr(fold.finish(min_count));
  return 0;
}

int ffsmnx(function_args* args, eval_state* pst, int flag) {
  const char* nm = flag == 0 ? "STNMIN" : "STNMAX";
  if (!xy_environment(pst)) {
    kaprntf(msg_level::error, "Error from %s:  X, Y varying environment required\n", nm);
    return 1;
  }
  if (args->count < 3 || args->count > 4) {
    kaprntf(msg_level::error, "Error from %s:  Too many or too few args \n", nm);
    kaprnt(msg_level::error, "                    3 or 4 arguments expected \n");
    return 1;
  }
  double b1, b2;
  if (!time_range(args, pst, nm, &b1, &b2)) return 1;
  int min_count = 1;
  if (args->count == 4 && fndarg(args->args[3], &min_count)) return 1;
  const int first = int(arg_ceil(b1, 0.001f));
  const int last = std::max(first, int(arg_floor(b2, 0.001f)));
  const float* tsv = pst->default_file->grid_to_world_scaling[3];
  station_fold fold(flag == 0 ? station_reduction::minimum : station_reduction::maximum);
  for (int d = first; d <= last; d++) {
    station_set* s = evaluate_at(args->args[0], pst, tsv, d, nm);
    if (!s) return 1;
    if (!fold.add(s)) return fail_add(s, nm);
    kasfre(s);
  }
  pst->result = station_ptr(fold.finish(min_count));
  return 0;
}

int ffsmin(function_args* args, eval_state* pst) { return ffsmnx(args, pst, 0); }
int ffsmax(function_args* args, eval_state* pst) { return ffsmnx(args, pst, 1); }

// Outputs of a display that draw nothing: printed values, statistics, the
// fwrite file and the writegds station stream.
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/keptcopy.h"
#include "base/message.h"
#include "base/safefile.h"
#include "base/session.h"
#include "base/timecal.h"
#include "base/userfmt.h"
#include "data/filerec.h"
#include "data/held.h"
#include "data/result.h"
#include "plot/plot.h"
#include "base/wide.h"

namespace {

// Sums over the defined values, in double so that large grids add up right.
struct sums {
  double sum = 0, sumsqr = 0;
  int n = 0;
};

// Sums of the defined values of a grid in one pass. Sixteen running sums (a
// value goes to the lane of its position modulo 16) keep the additions
// independent of each other, so they run side by side instead of one value
// at a time; the lanes are added up pairwise at the end. A float converts to
// double exactly, so the undefined test is the same in double.
VEMRA_WIDE_FMA sums grid_sums(const float* v, long long n, float u) {
  const double du = u;
  const double4 uu = {du, du, du, du};
  const double4 zero = {};
  // Named, not an array, so that they stay in registers.
  double4 s0 = {}, s1 = {}, s2 = {}, s3 = {}, q0 = {}, q1 = {}, q2 = {}, q3 = {};
  long long i = 0, count = 0;
  // Blocks of 128 without an undefined value (most of them) are added
  // without the tests; the lanes and additions are the same either way.
  // Only the other blocks have their defined values counted one by one.
  // The helpers take the sums by reference: vectors are not passed by value.
  auto add = [](double4& sum, double4& sq, const float* p) {
    const double4 d = {p[0], p[1], p[2], p[3]};
    sum += d;
    sq += d * d;
  };
  auto add_defined = [&](double4& sum, double4& sq, const float* p) {
    double4 d = {p[0], p[1], p[2], p[3]};
    d = d != uu ? d : zero;
    sum += d;
    sq += d * d;
  };
  auto add_block = [&](long long at, long long len, bool clean) {
    for (long long b = at; b < at + len; b += 16) {
      if (clean) {
        add(s0, q0, v + b);
        add(s1, q1, v + b + 4);
        add(s2, q2, v + b + 8);
        add(s3, q3, v + b + 12);
      } else {
        add_defined(s0, q0, v + b);
        add_defined(s1, q1, v + b + 4);
        add_defined(s2, q2, v + b + 8);
        add_defined(s3, q3, v + b + 12);
      }
    }
    if (clean) {
      count += len;
      return;
    }
    for (long long j = at; j < at + len; j++) count += v[j] != u;
  };
  const float8 uf = {u, u, u, u, u, u, u, u};
  for (; i + 128 <= n; i += 128) {
    long4 any = {};
    for (int b = 0; b < 128; b += 8) {
      float8 f;
      std::memcpy(&f, v + i + b, sizeof f);
      any |= reinterpret_cast<long4>(f == uf);
    }
    // Two calls with a constant flag: each is compiled without the other's test.
    if ((any[0] | any[1] | any[2] | any[3]) == 0)
      add_block(i, 128, true);
    else
      add_block(i, 128, false);
  }
  const long long rest = (n - i) / 16 * 16;
  add_block(i, rest, false);
  i += rest;
  double ls[16], lq[16];
  const double4 sv[4] = {s0, s1, s2, s3}, qv[4] = {q0, q1, q2, q3};
  for (int k = 0; k < 16; k++) {
    ls[k] = sv[k / 4][k % 4];
    lq[k] = qv[k / 4][k % 4];
  }
  for (int k = 0; i < n; i++, k++) {
    if (v[i] == u) continue;
    ls[k] += v[i];
    lq[k] += double(v[i]) * v[i];
    count++;
  }
  for (int w = 8; w >= 1; w /= 2)
    for (int k = 0; k < w; k++) {
      ls[k] += ls[k + w];
      lq[k] += lq[k + w];
    }
  sums out;
  out.sum = ls[0];
  out.sumsqr = lq[0];
  out.n = static_cast<int>(count);
  return out;
}

void print_stats(const sums& s, bool station) {
  const double nn = s.n > 0 ? s.n : 1;
  const double mm = s.n - 1 > 0 ? s.n - 1 : 1;
  kaprntf(msg_level::result, "Stats[sum,sumsqr,root(sumsqr),n]:     %g %g %g %d\n", s.sum, s.sumsqr,
          std::sqrt(s.sumsqr), s.n);
  if (station) {
    kaprntf(msg_level::result, "Stats[(sum,sumsqr,root(sumsqr))/n)]:     %g %g %g\n", s.sum / nn,
            s.sumsqr / nn, std::sqrt(s.sumsqr / nn));
    kaprntf(msg_level::result, "Stats[(sum,sumsqr,root(sumsqr))/(n-1))]: %g %g %g\n", s.sum / mm,
            s.sumsqr / mm, std::sqrt(s.sumsqr / mm));
  } else {
    kaprntf(msg_level::result, "Stats[(sum,sumsqr,root(sumsqr))/n]:     %g %g %g\n", s.sum / nn,
            s.sumsqr / nn, std::sqrt(s.sumsqr / nn));
    kaprntf(msg_level::result, "Stats[(sum,sumsqr,root(sumsqr))/(n-1)]: %g %g %g\n", s.sum / mm,
            s.sumsqr / mm, std::sqrt(s.sumsqr / mm));
  }
  double var = s.sumsqr / nn - (s.sum / nn) * (s.sum / nn);
  if (var > 0)
    kaprntf(msg_level::result, "Stats[(sigma,var)(n)]:     %g %g\n", std::sqrt(var), var);
  else
    kaprnt(msg_level::result, "Stats[(sigma,var)(n)]:     0 0\n");
  var = var * nn / mm;
  if (var > 0)
    kaprntf(msg_level::result, "Stats[(sigma,var)(n-1)]:   %g %g\n", std::sqrt(var), var);
  else
    kaprnt(msg_level::result, "Stats[(sigma,var)(n-1)]:   0 0\n");
}

// The contour levels of the statistics: widened by two intervals for 1-D
// data, min - 5 .. max + 5 by 1 when no interval fits.
void print_levels(float min, float max, float undef, bool one_d) {
  float cint = 0, first, last;
  kacsel(min, max, &cint, &first, &last);
  if (one_d) {
    first -= 2 * cint;
    last += 2 * cint;
  }
  if (cint == 0 || cint == undef) {
    first = min - 5;
    last = max + 5;
    cint = 1;
  }
  kaprntf(msg_level::result, "Cmin, cmax, cint = %g %g %g\n", double(first), double(last),
          double(cint));
}

// One axis line of the grid statistics.
void print_axis(const char* label, const grid_field* g, int dim, conversion_fn to_world,
                const float* vals, int linear) {
  if (dim < 0) {
    kaprntf(msg_level::result, "%s = -999 to -999\n", label);
    return;
  }
  const int lo = g->dim_min[dim], hi = g->dim_max[dim];
  kaprntf(msg_level::result, "%s = %i to %i", label, lo, hi);
  auto world = [&](float x) { return to_world && vals ? to_world(vals, x) : x; };
  if (dim == 3 && vals) {
    time_scaling ts = time_scaling_from(vals);
    date_time t;
    gr2t(vals, double(lo), &t);
    std::string text = kat2ch(t, t.minute != 0 ? 5 : 4);
    if (ts.increment_months != 0)
      kaprntf(msg_level::result, " Linear %s %gmo\n", text.c_str(), double(ts.increment_months));
    else
      kaprntf(msg_level::result, " Linear %s %gmn\n", text.c_str(), double(ts.increment_minutes));
    return;
  }
  if (linear) {
    double incr = vals ? vals[0] : 1.0;
    kaprntf(msg_level::result, " Linear %g %g\n", double(world(float(lo))), incr);
    return;
  }
  std::string line = " Levels";
  char buf[64];
  for (int k = lo; k <= hi; k++) {
    std::snprintf(buf, sizeof buf, " %g", double(world(float(k))));
    line += buf;
  }
  kaprnt(msg_level::result, line + "\n");
}

void grid_stats(session_state* pcm, grid_field* g) {
  kaprnt(msg_level::result, "Data Type = grid\n");
  kaprntf(msg_level::result, "Dimensions = %i %i\n", g->idim, g->jdim);
  print_axis("I Dimension", g, g->idim, g->i_to_world, g->i_world_vals, g->i_linear);
  print_axis("J Dimension", g, g->jdim, g->j_to_world, g->j_world_vals, g->j_linear);
  const long long total = static_cast<long long>(g->isiz) * g->jsiz;
  kaprntf(msg_level::result, "Sizes = %i %i %lli\n", g->isiz, g->jsiz, total);
  kaprntf(msg_level::result, "Undef value = %g\n", double(g->undef));
  const sums s = grid_sums(g->values, total, g->undef);
  kaprntf(msg_level::result, "Undef count = %lli  Valid count = %i\n", total - s.n, s.n);
  if (g->idim < 0) {
    kaprntf(msg_level::result, "Min, Max = %g %g\n", double(g->values[0]), double(g->values[0]));
    return;
  }
  kamnmx(g);
  kaprntf(msg_level::result, "Min, Max = %g %g\n", double(g->min_value), double(g->max_value));
  print_levels(g->min_value, g->max_value, g->undef, g->jdim < 0);
  print_stats(s, false);
  (void)pcm;
}

float request_min(const station_set* s, int d) {
  return d == 0 ? s->lon_min : d == 1 ? s->lat_min : s->lev_min;
}
float request_max(const station_set* s, int d) {
  return d == 0 ? s->lon_max : d == 1 ? s->lat_max : s->lev_max;
}

void station_axis(const char* label, const station_set* s, int dim) {
  if (dim < 0)
    kaprntf(msg_level::result, "%s = -999 to -999\n", label);
  else if (dim == 3)
    kaprntf(msg_level::result, "%s = %i to %i\n", label, s->time_min, s->time_max);
  else
    kaprntf(msg_level::result, "%s = %g to %g\n", label, double(request_min(s, dim)),
            double(request_max(s, dim)));
}

void station_stats(session_state* pcm, station_set* set) {
  kaprnt(msg_level::result, "Data Type = station\n");
  kaprntf(msg_level::result, "Dimensions = %i %i\n", set->idim, set->jdim);
  station_axis("I Dimension", set, set->idim);
  station_axis("J Dimension", set, set->jdim);
  kaprntf(msg_level::result, "Stn count = %i\n", set->report_count);
  kaprntf(msg_level::result, "Undef value = %g\n", double(set->undef));
  sums s;
  for (const station_report* r = set->first_report; r; r = r->next) {
    if (r->value == set->undef) continue;
    s.sum += r->value;
    s.sumsqr += double(r->value) * r->value;
    s.n++;
  }
  kaprntf(msg_level::result, "Undef count = %i  Valid count = %i \n", set->report_count - s.n, s.n);
  kasmnmx(set);
  kaprntf(msg_level::result, "Min, Max = %g %g\n", double(set->min_value), double(set->max_value));
  print_levels(set->min_value, set->max_value, set->undef, set->jdim < 0);
  print_stats(s, true);
  if (!pcm->stnprint) return;
  kaprntf(msg_level::result, "Printing station values:  #obs = %d\n", s.n);
  kaprnt(msg_level::result, "OB    ID       LON      LAT      LEV      VAL\n");
  int k = 0;
  for (const station_report* r = set->first_report; r; r = r->next) {
    if (r->value == set->undef) continue;
    char id[8];
    std::memcpy(id, r->stid, 7);
    id[7] = '\0';
    kaprntf(msg_level::result, "%-5i %-8s %-8.6g %-8.6g %-8.6g %-8.6g\n", ++k, id, double(r->lon),
            double(r->lat), double(r->lev), double(r->value));
  }
}

// One value in the user's format ("%g " without one).
std::string format_value(const session_state* pcm, float v, float undef) {
  char buf[512];
  if (pcm->prnopts_format.empty()) {
    std::snprintf(buf, sizeof buf, "%g ", double(v));
    return buf;
  }
  std::string out;
  if (v == undef && pcm->prnopts_undef)
    out = "Undef";
  else if (kafmtv(buf, sizeof buf, pcm->prnopts_format.c_str(), v) >= 0)
    out = buf;
  out.append(static_cast<size_t>(pcm->prnopts_blanks), ' ');
  return out;
}

void put_be32(std::vector<unsigned char>& b, uint32_t v) {
  for (int sh = 24; sh >= 0; sh -= 8) b.push_back(static_cast<unsigned char>(v >> sh));
}
void put_float(std::vector<unsigned char>& b, float v) {
  uint32_t u;
  std::memcpy(&u, &v, 4);
  put_be32(b, u);
}
void put_double(std::vector<unsigned char>& b, double v) {
  uint64_t u;
  std::memcpy(&u, &v, 8);
  put_be32(b, static_cast<uint32_t>(u >> 32));
  put_be32(b, static_cast<uint32_t>(u));
}

// A 4-byte word in the byte order asked for, whatever the host's.
void store_word(unsigned char* out, uint32_t v, bool big) {
  for (int k = 0; k < 4; k++) {
    int sh = big ? 24 - 8 * k : 8 * k;
    out[k] = static_cast<unsigned char>(v >> sh);
  }
}

}  // namespace

void kacsel(float min, float max, float* interval, float* first, float* last) {
  if (max - min == 0) {
    *interval = *first = *last = 0;
    return;
  }
  float cint = *interval;
  if (cint == 0) {
    const float r = (max - min) / 10.0f;
    if (!std::isfinite(r)) {
      *interval = *first = *last = 0;
      return;
    }
    const float p = std::pow(10.0f, std::floor(std::log10(r)));
    float m = r / p;
    if (m < 1) m = 1;
    const float f = m <= 1.5f ? 1 : m <= 2.5f ? 2 : m <= 3.5f ? 3 : m <= 7.5f ? 5 : 10;
    cint = p * f;
  }
  // In single precision, as the levels are kept: a level that lies on the
  // maximum stays inside.
  *interval = cint;
  *first = cint * std::ceil(min / cint);
  *last = cint * std::floor(max / cint);
  if (min + cint == min || max - cint == max) *interval = *first = *last = 0;
}

void kastts(session_state* pcm) {
  if (held_grid(pcm, 0))
    grid_stats(pcm, held_grid(pcm, 0));
  else
    station_stats(pcm, held_stations(pcm, 0));
}

void kadprnt(session_state* pcm) {
  const int per_line = pcm->prnopts_count > 0 ? pcm->prnopts_count : 8;
  if (held_grid(pcm, 0)) {
    const grid_field* g = held_grid(pcm, 0);
    const long long total = static_cast<long long>(g->isiz) * g->jsiz;
    kaprntf(msg_level::result, "Printing Grid -- %lli Values -- Undef = %g\n", total,
            double(g->undef));
    std::string line;
    int on_line = 0;
    for (long long k = 0; k < total; k++) {
      line += format_value(pcm, g->values[k], g->undef);
      if (++on_line == per_line) {
        kaprnt(msg_level::result, line + "\n");
        line.clear();
        on_line = 0;
      }
    }
    if (on_line) kaprnt(msg_level::result, line + "\n");
    return;
  }
  const station_set* s = held_stations(pcm, 0);
  kaprntf(msg_level::result, "Printing Stations -- %i Reports -- Undef = %g\n", s->report_count,
          double(s->undef));
  for (const station_report* r = s->first_report; r; r = r->next) {
    const char* id = r->stid;
    kaprntf(msg_level::result, "%c%c%c%c%c%c%c%c %-8.6g %-8.6g %-8.6g \n", id[0], id[1], id[2],
            id[3], id[4], id[5], id[6], id[7], double(r->lon), double(r->lat), double(r->lev));
    std::string v = pcm->prnopts_format.empty() ? format_value(pcm, r->value, s->undef) : "";
    if (!pcm->prnopts_format.empty()) {
      char buf[512];
      if (r->value == s->undef && pcm->prnopts_undef)
        v = "Undef";
      else if (kafmtv(buf, sizeof buf, pcm->prnopts_format.c_str(), r->value) >= 0)
        v = buf;
    }
    kaprnt(msg_level::result, v + "\n");
  }
}

void kafwrt(session_state* pcm, plot_code code) {
  if (!held_grid(pcm, 0)) {
    kaprnt(msg_level::error,
           "Error from fwrite:  station data can't be written to the fwrite file\n");
    kaplot_refuse();
    return;
  }
  const grid_field* g = held_grid(pcm, 0);
  const std::string name = pcm->fwrite_name.empty() ? "vemra.fwrite" : pcm->fwrite_name;
  if (!pcm->fwrite_file) {
    // Written beside its name and renamed into place by "disable fwrite".
    pcm->fwrite_file = std::make_unique<replacing_file>(name);
    if (!pcm->fwrite_file->stream()) {
      kaprnt(msg_level::error, "Error opening output file for fwrite\n");
      kaprnt(msg_level::error, "  File name is: " + name + "\n");
      kaprnt(msg_level::error, "  " + pcm->fwrite_file->error() + "\n");
      pcm->fwrite_file.reset();
      kaplot_refuse();
      return;
    }
  }
  const bool big = pcm->fwrite_byte_order != 0;
  const long long n = static_cast<long long>(g->isiz) * g->jsiz;
  const long long bytes = 4 * n;
  if (pcm->fwrite_sequential && bytes > 0x7fffffffLL) {
    kaprntf(msg_level::error,
            "Error from fwrite:  a record of %lli bytes does not fit its 4-byte length\n", bytes);
    kaplot_refuse();
    return;
  }
  FILE* f = pcm->fwrite_file->stream();
  bool ok = true;
  unsigned char word[4];
  store_word(word, static_cast<uint32_t>(bytes), big);
  if (pcm->fwrite_sequential) ok = std::fwrite(word, 1, 4, f) == 4;
  // The grid stays as it is: values go through a buffer in the file's order.
  std::vector<unsigned char> buf;
  const long long chunk = 1 << 16;
  for (long long k = 0; ok && k < n; k += chunk) {
    const long long m = n - k < chunk ? n - k : chunk;
    buf.resize(static_cast<size_t>(4 * m));
    for (long long j = 0; j < m; j++) {
      uint32_t u;
      std::memcpy(&u, &g->values[k + j], 4);
      store_word(&buf[static_cast<size_t>(4 * j)], u, big);
    }
    ok = std::fwrite(buf.data(), 1, buf.size(), f) == buf.size();
  }
  if (ok && pcm->fwrite_sequential) ok = std::fwrite(word, 1, 4, f) == 4;
  if (!ok) {
    const int why = errno;
    kaprnt(msg_level::error, "Error from fwrite:  write to " + name + " failed\n");
    kaprnt(msg_level::error, "  " + pcm->fwrite_file->write_failed(why) + "\n");
    kaplot_refuse();
    return;
  }
  kaprntf(msg_level::result, "Wrote %lli elements to ", n);
  kaprnt(msg_level::result, name);
  kaprnt(msg_level::result, pcm->fwrite_sequential ? " as Sequential" : " as Stream");
  kaprnt(msg_level::result, big ? " Big_Endian\n" : " Little_Endian\n");
  kagsav(code, pcm);
}

void kaoutgds(session_state* pcm) {
  const std::string& name = pcm->writegds.name;
  if (name.empty()) {
    kaprnt(msg_level::error, "error: no file specified (use \"set writegds\").\n");
    kaplot_refuse();
    return;
  }
  const std::string& opts_set = pcm->writegds.options;
  const std::string opts = opts_set.empty() ? "sxyztdi" : opts_set;
  auto has = [&](char c) { return opts.find(c) != std::string::npos; };
  // The finishing tag needs no results; everything else reads station reports.
  if (!has('f'))
    for (int r = 0; r < pcm->result_count; r++)
      if (!held_stations(pcm, r)) {
        kaprnt(msg_level::error, "error: WRITEGDS writes station data only; a result is a grid\n");
        kaplot_refuse();
        return;
      }
  // A pipe is written once its reader is there, or given up at an interrupt.
  std::string why;
  FILE* f = fopen_appending(name, &why);
  if (!f) {
    kaprnt(msg_level::error, "error: WRITEGDS unable to open " + name + " for write\n");
    kaprnt(msg_level::error, "  " + why + "\n");
    kaplot_refuse();
    return;
  }
  // Appenders take turns, so that records never interleave and a file cut
  // back below loses no one else's. The file's length is noted: a display
  // that fails part-way (a structure error, a write error, an interrupt, a
  // signal that ends the session) cuts it back, so that it always ends on a
  // whole record. A pipe or device is written as it comes.
  kept_length kept;
  struct stat st;
  if (::fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode)) {
    const write_turn turn = wait_write_turn(fileno(f), name);
    if (turn == write_turn::ours || turn == write_turn::interrupted || !kept.keep(fileno(f))) {
      const std::string refusal = turn == write_turn::ours ? kWrittenInPlaceAlready
                                  : turn == write_turn::interrupted
                                      ? "interrupted while waiting for another process"
                                      : std::strerror(errno);
      std::fclose(f);
      kaprnt(msg_level::error, "error: WRITEGDS unable to open " + name + " for write\n");
      kaprnt(msg_level::error, "  " + refusal + "\n");
      kaplot_refuse();
      return;
    }
  }
  kaprnt(msg_level::error, "got options and opened file\n");
  if (opts_set.empty())
    kaprnt(msg_level::error, "No options specified. Defaulting to full output (\"sxyztdi\").\n");
  const unsigned char start_tag[4] = {0x5a, 0, 0, 0};
  const unsigned char end_tag[4] = {0xa5, 0, 0, 0};
  std::vector<unsigned char> out;
  auto tag = [&](const unsigned char* t) { out.insert(out.end(), t, t + 4); };
  int write_errno = 0;  // the first failure's
  auto flush = [&]() {
    bool ok = out.empty() || std::fwrite(out.data(), 1, out.size(), f) == out.size();
    if (!ok && !write_errno) write_errno = errno ? errno : EIO;
    out.clear();
    return ok;
  };
  // Closes the file; false after the message when anything was not written,
  // or an interrupt came, in which case nothing of this display stays in it.
  auto close = [&]() {
    if (std::fflush(f) != 0 && !write_errno) write_errno = errno ? errno : EIO;
    const bool interrupted = !write_errno && kaqsig();
    if (write_errno || interrupted)
      kept.cut_back();
    else
      kept.drop();
    if (std::fclose(f) != 0 && !write_errno && !interrupted) write_errno = errno ? errno : EIO;
    if (interrupted) {
      kaprnt(msg_level::error, "error: WRITEGDS interrupted; nothing appended to " + name + "\n");
      kaplot_refuse();
      return false;
    }
    if (!write_errno) return true;
    kaprnt(msg_level::error,
           "error: WRITEGDS write to " + name + " failed\n  " + std::strerror(write_errno) + "\n");
    kaplot_refuse();
    return false;
  };
  if (has('f')) {
    kaprnt(msg_level::error, "Finishing sequence:\n");
    kaprnt(msg_level::error, "EOS\n");
    tag(end_tag);
    flush();
    close();
    return;
  }
  const int nres = pcm->result_count;
  std::vector<station_report*> cur(static_cast<size_t>(nres));
  std::vector<int> level_var(static_cast<size_t>(nres));
  int first_level = -1;
  for (int r = 0; r < nres; r++) {
    const station_set* s = held_stations(pcm, r);
    cur[r] = s->first_report;
    level_var[r] = s->variable && s->variable->levels != 0;
    if (level_var[r] && first_level < 0) first_level = r;
  }
  auto abbrev = [&](int r) {
    const station_set* s = held_stations(pcm, r);
    return s->variable ? s->variable->abbrev : "";
  };
  auto same_place = [](const station_report* a, const station_report* b) {
    return a && a->lat == b->lat && a->lon == b->lon && a->time == b->time;
  };
  // The records before the bad one go too: the file is cut back.
  auto bad = [&]() {
    kaprnt(msg_level::error, "error: bad structure in result\n");
    kaplot_refuse();
    kept.cut_back();
    std::fclose(f);
  };
  int records = 0;
  while (cur[0]) {
    // A long stream stops at the first Ctrl-C.
    if (kaqsig()) break;
    const station_report d = *cur[0];
    kaprnt(msg_level::error, "SOI ");
    tag(start_tag);
    kaprnt(msg_level::error, ">>\t");
    if (has('s')) {
      kaprntf(msg_level::error, "stnid: %.8s  ", d.stid);
      put_be32(out, 8);
      out.insert(out.end(), d.stid, d.stid + 8);
    }
    if (has('x')) {
      kaprntf(msg_level::error, "lon: %f  ", double(d.lon));
      put_float(out, d.lon);
    }
    if (has('y')) {
      kaprntf(msg_level::error, "lat: %f  ", double(d.lat));
      put_float(out, d.lat);
    }
    if (has('t')) {
      kaprntf(msg_level::error, "time: %f  ", double(d.time));
      kaprntf(msg_level::error, "pre-byteswapped time: %f", double(d.time));
      kaprntf(msg_level::error, "byteswapped time: %f", double(d.time));
      put_double(out, d.time);
    }
    kaprnt(msg_level::error, "\n\t");
    for (int r = 0; r < nres; r++) {
      if (level_var[r]) continue;
      if (!same_place(cur[r], &d)) return bad();
      if (has('i')) {
        kaprntf(msg_level::error, "[%s: %f]  ", abbrev(r), double(cur[r]->value));
        put_float(out, cur[r]->value);
      }
      cur[r] = cur[r]->next;
    }
    if (first_level >= 0) {
      while (same_place(cur[first_level], &d)) {
        const float lev = cur[first_level]->lev;
        kaprnt(msg_level::error, "\n\tSOI ");
        tag(start_tag);
        if (has('z')) {
          kaprntf(msg_level::error, "lev: %f  ", double(lev));
          put_float(out, lev);
        }
        for (int r = first_level; r < nres; r++) {
          if (!level_var[r]) continue;
          if (!same_place(cur[r], &d) || cur[r]->lev != lev) return bad();
          if (has('d')) {
            kaprntf(msg_level::error, "[%s: %f]  ", abbrev(r), double(cur[r]->value));
            put_float(out, cur[r]->value);
          }
          cur[r] = cur[r]->next;
        }
      }
      kaprnt(msg_level::error, "\n\tEOS ");
      tag(end_tag);
    }
    kaprnt(msg_level::error, "\n");
    records++;
    if (!flush()) {
      close();
      return;
    }
  }
  if (!close()) return;
  const station_set* s0 = held_stations(pcm, 0);
  kaprntf(msg_level::error, "WRITEGDS: %d reports x %d vars written as %d records\n",
          s0->report_count, nres, records);
}
